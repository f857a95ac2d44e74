#include "x11/NamedGuard.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace x11window {

NamedGuard::NamedGuard(std::string name)
    : name_(std::move(name) + "-" + std::to_string(::getuid())) {}

NamedGuard::~NamedGuard() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

NamedGuard::Result NamedGuard::acquire() {
    if (fd_ >= 0) {
        return Result::Acquired;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    // Abstract namespace: a leading zero byte, then the name (cut to the room there is).
    const std::size_t room = sizeof addr.sun_path - 1;
    const std::size_t n = std::min(room, name_.size());
    std::memcpy(addr.sun_path + 1, name_.data(), n);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return Result::Failed;
    }
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EADDRINUSE ? Result::HeldElsewhere : Result::Failed;
    }
    fd_ = fd;
    return Result::Acquired;
}

} // namespace x11window
