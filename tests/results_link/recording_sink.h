#pragma once
// Stands in for the station: records the link's states and lines and lets the test thread wait
// for them with a deadline.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/station_events.h"

namespace winorvex::test {

class RecordingLinkSink : public NullStationEventSink {
public:
    void OnDirectLinkState(const DirectLinkStateEvent& event) override {
        {
            std::lock_guard lock(mutex_);
            states_.push_back(event);
            times_.push_back(std::chrono::steady_clock::now());
        }
        changed_.notify_all();
    }
    void OnDirectLine(const DirectLineEvent& event) override {
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(event.line);
        }
        changed_.notify_all();
    }

    std::vector<DirectLinkStateEvent> States() const {
        std::lock_guard lock(mutex_);
        return states_;
    }
    // When each state arrived.
    std::vector<std::chrono::steady_clock::time_point> StateTimes() const {
        std::lock_guard lock(mutex_);
        return times_;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::size_t CountStates(DirectLinkState state) const {
        std::lock_guard lock(mutex_);
        std::size_t count = 0;
        for (const auto& e : states_) count += e.state == state ? 1 : 0;
        return count;
    }
    // The first Closed that ends a link (not a failed attempt).
    bool HasFinalClosed() const {
        std::lock_guard lock(mutex_);
        for (const auto& e : states_) {
            if (e.state == DirectLinkState::Closed && !e.retrying) return true;
        }
        return false;
    }
    DirectLinkStateEvent FinalClosed() const {
        std::lock_guard lock(mutex_);
        for (const auto& e : states_) {
            if (e.state == DirectLinkState::Closed && !e.retrying) return e;
        }
        return {};
    }

    // Waits until the condition, evaluated under the lock on the recorded states and lines,
    // holds or the deadline passes.
    bool WaitUntil(
        const std::function<bool(const std::vector<DirectLinkStateEvent>&, const std::vector<std::string>&)>& condition,
        std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return condition(states_, lines_); });
    }
    bool WaitForState(DirectLinkState state, std::size_t count = 1,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return WaitUntil(
            [&](const auto& states, const auto&) {
                std::size_t seen = 0;
                for (const auto& e : states) seen += e.state == state ? 1 : 0;
                return seen >= count;
            },
            deadline);
    }
    bool WaitForFinalClosed(std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return WaitUntil(
            [](const auto& states, const auto&) {
                for (const auto& e : states) {
                    if (e.state == DirectLinkState::Closed && !e.retrying) return true;
                }
                return false;
            },
            deadline);
    }
    bool WaitForLines(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return WaitUntil([&](const auto&, const auto& lines) { return lines.size() >= count; }, deadline);
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DirectLinkStateEvent> states_;
    std::vector<std::chrono::steady_clock::time_point> times_;
    std::vector<std::string> lines_;
};

}  // namespace winorvex::test
