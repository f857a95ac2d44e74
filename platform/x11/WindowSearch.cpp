#include "x11/WindowSearch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace x11window {

namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Errors for windows that vanish while we look at them are expected, not fatal.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

std::optional<std::string> property(Display* d, Window w, Atom name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, name, 0, 4096, False, type, &actualType, &format, &count, &after,
                           &data) != Success ||
        data == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> out;
    if (actualType != None && format == 8) {
        out = std::string(reinterpret_cast<char*>(data), count);
    }
    XFree(data);
    return out;
}

std::optional<std::string> windowClass(Display* d, Window w) {
    XClassHint hint{};
    if (XGetClassHint(d, w, &hint) == 0) {
        return std::nullopt;
    }
    std::string cls = hint.res_class ? hint.res_class : "";
    if (hint.res_name) {
        XFree(hint.res_name);
    }
    if (hint.res_class) {
        XFree(hint.res_class);
    }
    return cls;
}

std::optional<std::string> windowTitle(Display* d, Window w) {
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    if (auto t = property(d, w, netName, utf8)) {
        return t;
    }
    return property(d, w, XA_WM_NAME, XA_STRING);
}

pid_t windowPid(Display* d, Window w) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const auto machine = property(d, w, XA_WM_CLIENT_MACHINE, XA_STRING);
    if (machine && *machine != host) {
        return 0; // an owner on another machine is none of ours
    }
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &actualType, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        if (format == 32 && count == 1) {
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        }
        XFree(data);
    }
    return pid;
}

std::vector<Window> children(Display* d, Window w) {
    Window root = 0;
    Window parent = 0;
    Window* list = nullptr;
    unsigned int n = 0;
    std::vector<Window> out;
    if (XQueryTree(d, w, &root, &parent, &list, &n) != 0 && list != nullptr) {
        out.assign(list, list + n);
        XFree(list);
    }
    return out;
}

// Top-level client windows: the root's children, and under a window manager's frames the
// first level of their children too.
std::vector<Window> topLevelWindows(Display* d) {
    std::vector<Window> out;
    for (Window w : children(d, DefaultRootWindow(d))) {
        out.push_back(w);
        for (Window c : children(d, w)) {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<FoundWindow> find(Display* d, const std::string& cls, const std::string& title) {
    for (Window w : topLevelWindows(d)) {
        const auto c = windowClass(d, w);
        if (!c || *c != cls) {
            continue;
        }
        const auto t = windowTitle(d, w);
        if (!t || *t != title) {
            continue;
        }
        return FoundWindow{w, windowPid(d, w)};
    }
    return std::nullopt;
}

DisplayPtr openDisplay() {
    XSetErrorHandler(ignoreErrors);
    return DisplayPtr(XOpenDisplay(nullptr));
}

} // namespace

std::optional<FoundWindow> findTopLevelWindow(const std::string& cls, const std::string& title) {
    DisplayPtr d = openDisplay();
    if (!d) {
        return std::nullopt;
    }
    return find(d.get(), cls, title);
}

bool endWindowOwner(const FoundWindow& found) {
    if (found.pid <= 1 || found.pid == ::getpid() || found.window == 0) {
        return false;
    }
    // Hold the process by a descriptor first, then make sure the window still names it: from
    // then on a reused id cannot redirect the signal to another process.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, found.pid, 0));
    if (pidfd < 0) {
        return false;
    }
    bool ok = false;
    if (DisplayPtr d = openDisplay()) {
        if (windowPid(d.get(), static_cast<Window>(found.window)) == found.pid) {
            ok = ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0;
        }
    }
    ::close(pidfd);
    return ok;
}

} // namespace x11window
