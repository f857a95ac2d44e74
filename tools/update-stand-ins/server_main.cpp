// Serves the files of a folder over HTTP on 127.0.0.1 for the update demo, each file under
// "/" + its path relative to the folder. Writes the chosen port to a file, then serves until
// its lifetime runs out or it is ended.
#include "TestHttpServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {
volatile std::sig_atomic_t ended = 0;
void onSignal(int) {
    ended = 1;
}
} // namespace

int main(int argc, char** argv) {
    std::string root;
    std::string portFile;
    long lifetime = 120;
    long slicePauseMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--root") {
            root = argv[i + 1];
        } else if (opt == "--port-file") {
            portFile = argv[i + 1];
        } else if (opt == "--lifetime") {
            lifetime = std::atol(argv[i + 1]);
        } else if (opt == "--slice-pause-ms") {
            slicePauseMs = std::atol(argv[i + 1]);
        }
    }
    if (root.empty() || portFile.empty()) {
        std::cerr << "usage: update-test-server --root DIR --port-file FILE [--lifetime S]"
                     " [--slice-pause-ms N]\n";
        return 2;
    }
    teststand::TestHttpServer server;
    teststand::Route shape;
    shape.slicePause = std::chrono::milliseconds(slicePauseMs);
    server.setFileRoot(root, shape);
    if (!server.start(std::chrono::seconds(lifetime))) {
        std::cerr << "cannot listen on 127.0.0.1\n";
        return 1;
    }
    std::ofstream(portFile) << server.port() << "\n";
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(lifetime);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.stop();
    return 0;
}
