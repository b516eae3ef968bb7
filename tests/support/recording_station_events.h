#pragma once
// The station's side as the layers below see it, recorded: every event a worker posts and every
// sound it asks for, from any thread, for the test thread to look at or wait for with a deadline.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/station_events.h"

namespace winorvex::test {

class RecordingStationEvents : public StationEventSink, public SoundPlayer {
public:
    using BoxEvent = std::pair<int, bool>;  // box number, unexpected

    void OnBoxConnectionEvent(int boxNumber, bool unexpected) override {
        Record([&] { boxEvents_.emplace_back(boxNumber, unexpected); });
    }
    void OnRecordedCountChanged() override {
        Record([&] { ++countRefreshes_; });
    }
    void OnDirectLinkState(const DirectLinkStateEvent& event) override {
        Record([&] {
            linkStates_.push_back(event);
            linkStateTimes_.push_back(std::chrono::steady_clock::now());
        });
    }
    void OnDirectLine(const DirectLineEvent& event) override {
        Record([&] { lines_.push_back(event.line); });
    }
    void OnFtpJobState(const FtpJobStateEvent& event) override {
        Record([&] { ftpStates_.push_back(event); });
    }
    void OnAlert(const AlertEvent& event) override {
        Record([&] { alerts_.push_back(event); });
    }
    void Play(StationSound sound) override {
        Record([&] { sounds_.push_back(sound); });
    }

    // Forgets everything recorded so far.
    void Clear() {
        std::lock_guard lock(mutex_);
        boxEvents_.clear();
        countRefreshes_ = 0;
        linkStates_.clear();
        linkStateTimes_.clear();
        lines_.clear();
        ftpStates_.clear();
        alerts_.clear();
        sounds_.clear();
    }

    std::vector<BoxEvent> BoxEvents() const { return Copy(boxEvents_); }
    int CountRefreshes() const {
        std::lock_guard lock(mutex_);
        return countRefreshes_;
    }

    // The direct link: its states, when each arrived, and the lines it received.
    std::vector<DirectLinkStateEvent> LinkStates() const { return Copy(linkStates_); }
    std::vector<std::chrono::steady_clock::time_point> LinkStateTimes() const { return Copy(linkStateTimes_); }
    std::size_t CountLinkStates(DirectLinkState state) const {
        std::lock_guard lock(mutex_);
        return SeenLinkStates(state);
    }
    // The first Closed that ends a link (not a failed attempt).
    bool HasFinalClosed() const {
        std::lock_guard lock(mutex_);
        return FindFinalClosed() != linkStates_.end();
    }
    DirectLinkStateEvent FinalClosed() const {
        std::lock_guard lock(mutex_);
        const auto closed = FindFinalClosed();
        return closed != linkStates_.end() ? *closed : DirectLinkStateEvent{};
    }
    std::vector<std::string> Lines() const { return Copy(lines_); }
    // Until the link reached this state `count` times.
    bool WaitForState(DirectLinkState state, std::size_t count = 1,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return WaitUntil([&] { return SeenLinkStates(state) >= count; }, deadline);
    }
    bool WaitForFinalClosed(std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return WaitUntil([&] { return FindFinalClosed() != linkStates_.end(); }, deadline);
    }
    bool WaitForLines(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return WaitUntil([&] { return lines_.size() >= count; }, deadline);
    }

    std::vector<FtpJobStateEvent> FtpStates() const { return Copy(ftpStates_); }
    // How many FTP reports had this state.
    int CountFtpStates(int state) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(ftpStates_.begin(), ftpStates_.end(),
                                              [state](const FtpJobStateEvent& event) { return event.state == state; }));
    }

    std::vector<AlertEvent> Alerts() const { return Copy(alerts_); }
    std::size_t AlertCount() const { return Alerts().size(); }
    // Alerts that asked for a message box.
    int MessageBoxes() const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(alerts_.begin(), alerts_.end(),
                                              [](const AlertEvent& alert) { return alert.withMessageBox; }));
    }

    std::vector<StationSound> Sounds() const { return Copy(sounds_); }
    // How often this sound was asked for.
    int Count(StationSound sound) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(sounds_.begin(), sounds_.end(), sound));
    }

private:
    template <typename Change>
    void Record(Change&& change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }
    template <typename T>
    std::vector<T> Copy(const std::vector<T>& recorded) const {
        std::lock_guard lock(mutex_);
        return recorded;
    }
    // The condition is evaluated on what is recorded, with the lock held.
    bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, condition);
    }
    std::size_t SeenLinkStates(DirectLinkState state) const {
        return static_cast<std::size_t>(
            std::count_if(linkStates_.begin(), linkStates_.end(),
                          [state](const DirectLinkStateEvent& event) { return event.state == state; }));
    }
    std::vector<DirectLinkStateEvent>::const_iterator FindFinalClosed() const {
        return std::find_if(linkStates_.begin(), linkStates_.end(), [](const DirectLinkStateEvent& event) {
            return event.state == DirectLinkState::Closed && !event.retrying;
        });
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<BoxEvent> boxEvents_;
    int countRefreshes_ = 0;
    std::vector<DirectLinkStateEvent> linkStates_;
    std::vector<std::chrono::steady_clock::time_point> linkStateTimes_;
    std::vector<std::string> lines_;
    std::vector<FtpJobStateEvent> ftpStates_;
    std::vector<AlertEvent> alerts_;
    std::vector<StationSound> sounds_;
};

}  // namespace winorvex::test
