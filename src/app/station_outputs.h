#pragma once
// What a box worker does with a recorded detection besides the list and the file: the detections
// pane's queue and the results program. Called on worker threads, under the result list's lock
// for the forwarding, so nothing here may wait: the link only queues.
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "detections/record_detection.h"

namespace winorvex {

class DirectConnection;

class StationOutputs final : public DetectionOutputs {
public:
    // Most detections kept for a link that is down (BResendWhileDisconnected).
    static constexpr std::size_t kBacklogLimit = 200000;

    explicit StationOutputs(DirectConnection& link) : link_(link) {}

    // True while connected, and also while the link is down with BResendWhileDisconnected on:
    // the line is then kept to be sent when the link is back.
    bool IsDirectConnected() override;
    void SendDirectLine(std::string_view line) override;
    void AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) override;

    // BResendWhileDisconnected: keep the lines recorded while the link is down.
    void SetKeepWhileDisconnected(bool keep);
    bool KeepWhileDisconnected() const { return keep_.load(); }
    // The kept lines, oldest first (emptied); `dropped` says how many did not fit.
    std::vector<std::string> TakeBacklog(std::size_t& dropped);

private:
    DirectConnection& link_;
    std::atomic<bool> keep_{false};
    std::mutex backlogMutex_;
    std::deque<std::string> backlog_;
    std::size_t dropped_ = 0;
};

}  // namespace winorvex
