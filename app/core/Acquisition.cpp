#include "Acquisition.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

std::string defaultCopyFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache == '/')
        return std::string(cache) + "/Kavri";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/Kavri";
}

Acquisition::Acquisition(AcquisitionConfig config) : config_(std::move(config)) {}

std::vector<std::vector<std::string>> Acquisition::commandLines() const {
    const std::string adb = bridgeProgram();
    return {
        {adb, "shell", "su", "root", "chmod", "777", kContactsDbOnPhone},
        {adb, "shell", "su", "root", "chmod", "777", kMessagesDbOnPhone},
        {adb, "pull", kContactsDbOnPhone, partialCopyPath()},
    };
}

bool Acquisition::copyExists() const {
    return exists(contactCopyPath()) || exists(messageCopyPath());
}

void Acquisition::cancel() {
    cancelled_ = 1;
    cancelEvent_.set();
}

bool Acquisition::run() {
    results_.clear();
    if (cancelEvent_.waitFor(std::chrono::milliseconds(config_.initialDelayMs)))
        return copyExists();

    const std::string partial = partialCopyPath();
    ::unlink(partial.c_str());
    const auto commands = commandLines();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (cancelled_)
            break;
        const bool pull = i + 1 == commands.size();
        osplat::ProcessOptions opts;
        opts.argv = commands[i];
        opts.environment = config_.environment;
        opts.idleLimitMs = config_.commandIdleLimitMs;
        opts.cancel = &cancelled_;
        opts.captureOutput = true;
        if (pull) {
            // A copy that still grows is progress; a stalled one is ended after the limit.
            long long lastSize = -1;
            opts.progressed = [&partial, lastSize]() mutable {
                struct stat st;
                const long long size = ::stat(partial.c_str(), &st) == 0 ? st.st_size : -1;
                const bool grew = size > lastSize;
                lastSize = std::max(lastSize, size);
                return grew;
            };
        }
        results_.push_back(osplat::runProcess(opts));
        if (pull) {
            // Only a pull that ran to its end and reported success yields a copy; what a
            // failed or ended pull left behind is a truncated file and goes.
            if (results_.back().succeeded() && exists(partial))
                ::rename(partial.c_str(), contactCopyPath().c_str());
            else
                ::unlink(partial.c_str());
        }
    }
    ::unlink(partial.c_str());
    return copyExists();
}

} // namespace core
