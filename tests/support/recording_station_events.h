#pragma once
// The station's side as the layers below see it, recorded: every event a worker posts and every
// sound it asks for, from any thread, for the test thread to look at afterwards.
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

#include "core/station_events.h"

namespace winorvex::test {

class RecordingStationEvents : public StationEventSink, public SoundPlayer {
public:
    using BoxEvent = std::pair<int, bool>;  // box number, unexpected

    void OnBoxConnectionEvent(int boxNumber, bool unexpected) override {
        std::lock_guard lock(mutex_);
        boxEvents_.emplace_back(boxNumber, unexpected);
    }
    void OnRecordedCountChanged() override {
        std::lock_guard lock(mutex_);
        ++countRefreshes_;
    }
    void OnDirectLinkState(const DirectLinkStateEvent& event) override {
        std::lock_guard lock(mutex_);
        linkStates_.push_back(event);
    }
    void OnDirectLine(const DirectLineEvent& event) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(event);
    }
    void OnFtpJobState(const FtpJobStateEvent& event) override {
        std::lock_guard lock(mutex_);
        ftpStates_.push_back(event);
    }
    void OnAlert(const AlertEvent& event) override {
        std::lock_guard lock(mutex_);
        alerts_.push_back(event);
    }
    void Play(StationSound sound) override {
        std::lock_guard lock(mutex_);
        sounds_.push_back(sound);
    }

    // Forgets everything recorded so far.
    void Clear() {
        std::lock_guard lock(mutex_);
        boxEvents_.clear();
        countRefreshes_ = 0;
        linkStates_.clear();
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
    std::vector<DirectLinkStateEvent> LinkStates() const { return Copy(linkStates_); }
    std::vector<DirectLineEvent> Lines() const { return Copy(lines_); }
    std::vector<FtpJobStateEvent> FtpStates() const { return Copy(ftpStates_); }
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
    template <typename T>
    std::vector<T> Copy(const std::vector<T>& recorded) const {
        std::lock_guard lock(mutex_);
        return recorded;
    }

    mutable std::mutex mutex_;
    std::vector<BoxEvent> boxEvents_;
    int countRefreshes_ = 0;
    std::vector<DirectLinkStateEvent> linkStates_;
    std::vector<DirectLineEvent> lines_;
    std::vector<FtpJobStateEvent> ftpStates_;
    std::vector<AlertEvent> alerts_;
    std::vector<StationSound> sounds_;
};

}  // namespace winorvex::test
