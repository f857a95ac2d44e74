// A small HTTP/1.1 server on 127.0.0.1 for the update tests and the demo: it serves fixed
// answers per path, can lie about Content-Length, cut a body short, answer slowly, or refuse
// nothing but an unknown path (404). It binds loopback only, picks a free port, and stops
// when destroyed or when its lifetime runs out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace teststand {

struct Route {
    int status = 200;
    std::string body;
    // Content-Length announced; -1 announces body.size(). Larger than the body with
    // cutAfter unset means the body is sent whole and the connection then closed.
    long long announcedLength = -1;
    // Close the connection after this many body bytes (npos: send the whole body).
    std::size_t cutAfter = std::string::npos;
    // Pause between slices of `slice` bytes, to make a transfer take a while.
    std::chrono::milliseconds slicePause{0};
    std::size_t slice = 1024;
};

class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Binds 127.0.0.1 on a free port and starts serving. `lifetime` bounds the whole run.
    bool start(std::chrono::seconds lifetime = std::chrono::seconds(300));
    void stop();

    void setRoute(const std::string& path, const Route& route);
    // Paths without a route are served from files under `folder`, read at each request.
    void setFileRoot(const std::string& folder, const Route& shape = {});
    int port() const { return port_; }
    std::string hostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string url(const std::string& path) const { return "http://" + hostAndPort() + path; }
    // How many requests asked for `path`.
    int hits(const std::string& path) const;

private:
    void acceptLoop();
    void serve(int fd);
    bool sendAll(int fd, const char* data, std::size_t size);

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point deadline_;
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::map<std::string, Route> routes_;
    std::string fileRoot_;
    Route fileShape_;
    std::map<std::string, int> hits_;
    std::vector<std::thread> workers_;
};

} // namespace teststand
