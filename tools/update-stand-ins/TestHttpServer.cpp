#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace teststand {

TestHttpServer::TestHttpServer() = default;

TestHttpServer::~TestHttpServer() {
    stop();
}

bool TestHttpServer::start(std::chrono::seconds lifetime) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return false;
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    deadline_ = std::chrono::steady_clock::now() + lifetime;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void TestHttpServer::stop() {
    stopping_ = true;
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& t : workers) {
        t.join();
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void TestHttpServer::setRoute(const std::string& path, const Route& route) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = route;
}

void TestHttpServer::setFileRoot(const std::string& folder, const Route& shape) {
    std::lock_guard<std::mutex> lock(mutex_);
    fileRoot_ = folder;
    fileShape_ = shape;
}

int TestHttpServer::hits(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = hits_.find(path);
    return it == hits_.end() ? 0 : it->second;
}

void TestHttpServer::acceptLoop() {
    while (!stopping_ && std::chrono::steady_clock::now() < deadline_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
    stopping_ = true;
}

bool TestHttpServer::sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        if (stopping_) {
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void TestHttpServer::serve(int fd) {
    // One request per connection: read the head, answer, close.
    std::string head;
    char buf[2048];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !stopping_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        head.append(buf, static_cast<std::size_t>(n));
    }
    std::string path;
    const auto sp1 = head.find(' ');
    const auto sp2 = sp1 == std::string::npos ? sp1 : head.find(' ', sp1 + 1);
    if (sp2 != std::string::npos) {
        path = head.substr(sp1 + 1, sp2 - sp1 - 1);
    }
    Route route;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++hits_[path];
        const auto it = routes_.find(path);
        if (it != routes_.end()) {
            route = it->second;
            known = true;
        }
    }
    if (!known && !fileRoot_.empty() && path.find("..") == std::string::npos) {
        std::ifstream in(fileRoot_ + path, std::ios::binary);
        if (in) {
            std::ostringstream body;
            body << in.rdbuf();
            route = fileShape_;
            route.body = body.str();
            known = true;
        }
    }
    if (!known) {
        route.status = 404;
        route.body = "<html><body>Not Found</body></html>";
    }
    const long long announced = route.announcedLength >= 0
                                    ? route.announcedLength
                                    : static_cast<long long>(route.body.size());
    std::string answer =
        "HTTP/1.1 " + std::to_string(route.status) + (route.status < 300 ? " OK" : " Error") +
        "\r\n" + "Content-Type: application/octet-stream\r\n" +
        "Content-Length: " + std::to_string(announced) + "\r\n" + "Connection: close\r\n\r\n";
    if (sendAll(fd, answer.data(), answer.size())) {
        const std::size_t total = std::min(route.body.size(), route.cutAfter);
        std::size_t sent = 0;
        while (sent < total && !stopping_) {
            const std::size_t n = std::min(route.slice, total - sent);
            if (!sendAll(fd, route.body.data() + sent, n)) {
                break;
            }
            sent += n;
            if (route.slicePause.count() > 0 && sent < total) {
                std::this_thread::sleep_for(route.slicePause);
            }
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

} // namespace teststand
