// The sibling product as the updater's hand-over sees it: it holds the product's guard and
// shows one top-level window of the given class and title, until it is ended or its lifetime
// runs out. It writes "ready" to the file named by --ready once the window is mapped.
//   kavri-product-standin --class CLS --title TITLE [--guard NAME] [--ready FILE] [--lifetime S]
#include "x11/NamedGuard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    std::string cls = "DEDARozerEvorEde";
    std::string title = "Kavri  Palomine";
    std::string guardName;
    std::string ready;
    long lifetime = 120;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--class") {
            cls = argv[i + 1];
        } else if (opt == "--title") {
            title = argv[i + 1];
        } else if (opt == "--guard") {
            guardName = argv[i + 1];
        } else if (opt == "--ready") {
            ready = argv[i + 1];
        } else if (opt == "--lifetime") {
            lifetime = std::atol(argv[i + 1]);
        }
    }
    x11window::NamedGuard guard(guardName);
    if (!guardName.empty() && guard.acquire() != x11window::NamedGuard::Result::Acquired) {
        std::fprintf(stderr, "guard %s is held already\n", guardName.c_str());
        return 3;
    }
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 80, 1, 0, 0xffffff);
    XClassHint hint;
    std::string name = "kavri";
    hint.res_name = name.data();
    hint.res_class = cls.data();
    XSetClassHint(d, w, &hint);
    XStoreName(d, w, title.c_str());
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False),
                    XInternAtom(d, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    const unsigned long pid = static_cast<unsigned long>(::getpid());
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    XChangeProperty(d, w, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(host),
                    static_cast<int>(std::strlen(host)));
    XMapWindow(d, w);
    XSync(d, False);
    if (!ready.empty()) {
        std::ofstream(ready) << "ready\n";
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
    while (std::chrono::steady_clock::now() < deadline) {
        while (XPending(d) > 0) {
            XEvent e;
            XNextEvent(d, &e);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    XCloseDisplay(d);
    return 0;
}
