// A manual-reset event: once set it stays set, releasing every waiter, until reset.
//
// Thread rules: every call may come from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace osplat {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            set_ = true;
        }
        cv_.notify_all();
    }
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = false;
    }
    bool isSet() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return set_;
    }
    // Blocks until the event is set.
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return set_; });
    }
    // Blocks until the event is set or `timeout` has passed; true when it is set.
    template <class Rep, class Period> bool waitFor(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return set_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
};

} // namespace osplat
