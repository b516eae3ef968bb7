#pragma once
// The station's event loop as the box workers and the box manager see it, faked: the box connection
// events they post wait in a queue until the test thread drains them into a handler.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "core/station_events.h"

namespace winorvex::test {

class QueuedStationEvents : public NullStationEventSink {
public:
    using Event = std::pair<int, bool>;  // box number, unexpected

    void OnBoxConnectionEvent(int boxNumber, bool unexpected) override {
        {
            std::lock_guard lock(mutex_);
            pending_.emplace_back(boxNumber, unexpected);
            all_.emplace_back(boxNumber, unexpected);
        }
        wake_.notify_all();
    }

    // Hands the queued events to `handle` on this thread until `done` holds or the deadline
    // passes; returns `done()`.
    bool PumpUntil(const std::function<void(int, bool)>& handle, const std::function<bool()>& done,
                   std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            std::deque<Event> batch;
            {
                std::unique_lock lock(mutex_);
                wake_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !pending_.empty(); });
                batch.swap(pending_);
            }
            for (const Event& event : batch) handle(event.first, event.second);
            if (done()) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
        }
    }

    std::vector<Event> All() const {
        std::lock_guard lock(mutex_);
        return all_;
    }
    int Count(int boxNumber, bool unexpected) const {
        std::lock_guard lock(mutex_);
        int count = 0;
        for (const Event& event : all_) count += event == Event(boxNumber, unexpected) ? 1 : 0;
        return count;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Event> pending_;
    std::vector<Event> all_;
};

}  // namespace winorvex::test
