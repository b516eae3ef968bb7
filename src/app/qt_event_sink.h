#pragma once
// The station's event sink: every event a worker thread posts is copied into a functor queued to
// the station's thread. Posting never waits; a burst of count changes is folded into one.
#include <atomic>

#include "core/station_events.h"

namespace winorvex {

class Station;

class QtStationEventSink final : public StationEventSink {
public:
    explicit QtStationEventSink(Station& station) : station_(station) {}
    QtStationEventSink(const QtStationEventSink&) = delete;
    QtStationEventSink& operator=(const QtStationEventSink&) = delete;

    void OnBoxConnectionEvent(int boxNumber, bool unexpected) override;
    void OnRecordedCountChanged() override;
    void OnDirectLinkState(const DirectLinkStateEvent& event) override;
    void OnDirectLine(const DirectLineEvent& event) override;
    void OnFtpJobState(const FtpJobStateEvent& event) override;
    void OnAlert(const AlertEvent& event) override;

private:
    Station& station_;
    std::atomic<bool> countPending_{false};
};

}  // namespace winorvex
