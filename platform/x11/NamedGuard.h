// A named, per-user guard that at most one process holds at a time: a socket name in the
// abstract namespace (the name plus the user id), which the kernel drops when the holding
// process ends however it ends, so a crash never leaves a stale guard. The sibling product
// holds "KavriPalomine" while it runs; the updater probes it before the hand-over.
#pragma once

#include <string>

namespace x11window {

class NamedGuard {
public:
    explicit NamedGuard(std::string name);
    ~NamedGuard();
    NamedGuard(const NamedGuard&) = delete;
    NamedGuard& operator=(const NamedGuard&) = delete;

    enum class Result { Acquired, HeldElsewhere, Failed };
    // Takes the guard and keeps it until destroyed.
    Result acquire();
    bool held() const { return fd_ >= 0; }

private:
    std::string name_;
    int fd_ = -1;
};

} // namespace x11window
