#include "Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace osplat {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

void drain(int fd, std::string& out) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return; // EOF, EAGAIN or an error
    }
}

void record(int status, ProcessResult& r) {
    if (WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        r.signal = WTERMSIG(status);
}

// Whether the child has ended, without reaping it, so its process group id cannot be taken
// by another process while we still signal it.
bool exitedUnreaped(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// Ends the child's process group, SIGTERM first, then SIGKILL, and reaps the child.
void endChild(pid_t pid, int graceMs, ProcessResult& r) {
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    const auto until = Clock::now() + std::chrono::milliseconds(graceMs);
    while (Clock::now() < until && !exitedUnreaped(pid))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Whatever it started goes too; the group still exists as long as the child is unreaped.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    record(status, r);
    r.exitCode = -1;
}

} // namespace

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        env.emplace_back(*e);
    return env;
}

void setEnvironmentEntry(std::vector<std::string>& env, const std::string& name,
                         const char* value) {
    const std::string prefix = name + "=";
    for (auto it = env.begin(); it != env.end();) {
        if (it->compare(0, prefix.size(), prefix) == 0)
            it = env.erase(it);
        else
            ++it;
    }
    if (value)
        env.push_back(prefix + value);
}

ProcessResult runProcess(const ProcessOptions& options) {
    ProcessResult result;
    // A program that is missing or not executable is not started (posix_spawn reports this
    // too, but not on every C library).
    if (options.argv.empty() || ::access(options.argv[0].c_str(), X_OK) != 0)
        return result;

    std::vector<std::string> args = options.argv;
    std::vector<char*> argv = pointers(args);
    std::vector<std::string> envTexts =
        options.environment ? *options.environment : currentEnvironment();
    std::vector<char*> envp = pointers(envTexts);

    int pipeFds[2] = {-1, -1};
    if (options.captureOutput && ::pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    if (!options.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGQUIT})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // Its own process group, so that ending it also ends whatever it started.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (options.captureOutput)
        ::close(pipeFds[1]);
    if (rc != 0) {
        if (options.captureOutput)
            ::close(pipeFds[0]);
        return result;
    }
    result.started = true;

    int readFd = options.captureOutput ? pipeFds[0] : -1;
    if (readFd >= 0)
        ::fcntl(readFd, F_SETFL, ::fcntl(readFd, F_GETFL) | O_NONBLOCK);

    const auto idle = std::chrono::milliseconds(options.idleLimitMs);
    auto deadline = Clock::now() + idle;
    for (;;) {
        int status = 0;
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            record(status, result);
            break;
        }
        if (w < 0 && errno != EINTR)
            break;
        if (options.cancel && options.cancel->load()) {
            result.ended = result.cancelled = true;
            endChild(pid, options.termGraceMs, result);
            break;
        }
        if (options.progressed && options.progressed())
            deadline = Clock::now() + idle;
        if (options.idleLimitMs > 0 && Clock::now() >= deadline) {
            result.ended = true;
            endChild(pid, options.termGraceMs, result);
            break;
        }
        if (readFd >= 0) {
            pollfd p{readFd, POLLIN, 0};
            const int n = ::poll(&p, 1, 50);
            if (n > 0) {
                if (p.revents & POLLIN)
                    drain(readFd, result.output);
                if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN)) {
                    // Every writer is gone; keep waiting for the exit without the pipe.
                    ::close(readFd);
                    readFd = -1;
                }
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (readFd >= 0) {
        drain(readFd, result.output);
        ::close(readFd);
    }
    return result;
}

} // namespace osplat
