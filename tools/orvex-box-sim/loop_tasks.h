#pragma once
// Runs functions on a loop thread on behalf of other threads, so that everything the loop owns
// (sockets, the reader engine) is touched by that thread alone.
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

#include "socket_util.h"

namespace winorvex::sim {

class LoopTasks {
public:
    // The descriptor the loop polls: readable while tasks wait or a stop was asked.
    int wake_fd() const { return wake_.fd(); }
    void Wake() const { wake_.Signal(); }

    void SetRunning(bool running) {
        std::lock_guard lock(mutex_);
        running_ = running;
    }

    // Loop side: runs every waiting task.
    void RunPending() {
        wake_.Drain();
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(queue_);
        }
        for (auto& task : batch) task();
    }

    // Caller side: runs `f` on the loop and returns its result, or nothing when the loop is not
    // running or did not get to it within the time-out.
    template <class F>
    auto Call(F f, std::chrono::milliseconds timeout = std::chrono::seconds(5)) -> std::optional<decltype(f())> {
        using R = decltype(f());
        auto task = std::make_shared<std::packaged_task<R()>>(std::move(f));
        auto result = task->get_future();
        {
            std::lock_guard lock(mutex_);
            if (!running_) return std::nullopt;
            queue_.emplace_back([task] { (*task)(); });
        }
        wake_.Signal();
        if (result.wait_for(timeout) != std::future_status::ready) return std::nullopt;
        return result.get();
    }

private:
    WakeFd wake_;
    std::mutex mutex_;
    bool running_ = false;
    std::deque<std::function<void()>> queue_;
};

}  // namespace winorvex::sim
