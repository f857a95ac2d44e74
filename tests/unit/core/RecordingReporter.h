// A WorkerReporter that records what a worker reports, with optional hooks that act like a
// user pressing buttons at a given moment, and a wait for the done message.
#pragma once

#include "WorkerReporter.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingReporter : public core::WorkerReporter {
public:
    struct Done {
        int message;
        std::intptr_t wParam, lParam;
    };

    void setProgress(int position) override {
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> lock(m_);
            progress.push_back(position);
            hook = onProgress;
        }
        if (hook)
            hook(position);
    }
    void setCategory(const std::string& text, int hasData) override {
        std::lock_guard<std::mutex> lock(m_);
        categories.emplace_back(text, hasData);
    }
    void showButton(int id, bool shown) override {
        std::function<void(int, bool)> hook;
        {
            std::lock_guard<std::mutex> lock(m_);
            buttons.emplace_back(id, shown);
            hook = onButton;
        }
        if (hook)
            hook(id, shown);
    }
    void postDone(int message, std::intptr_t wParam, std::intptr_t lParam) override {
        {
            std::lock_guard<std::mutex> lock(m_);
            done.push_back({message, wParam, lParam});
        }
        cv_.notify_all();
    }

    // Waits for a done message; false when none came in time.
    bool waitDone(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [this] { return !done.empty(); });
    }

    std::vector<int> progress;
    std::vector<std::pair<std::string, int>> categories;
    std::vector<std::pair<int, bool>> buttons;
    std::vector<Done> done;
    std::function<void(int)> onProgress;
    std::function<void(int, bool)> onButton;

private:
    std::mutex m_;
    std::condition_variable cv_;
};
