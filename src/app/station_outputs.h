#pragma once
// What a box worker does with a recorded detection besides the list and the file: the detections
// pane's queue and the results program. Called on worker threads, under the result list's lock
// for the forwarding, so nothing here may wait: the forwarder only notes the record's position
// and the link thread writes it when it can.
#include <cstddef>
#include <string_view>

#include "detections/record_detection.h"

namespace winorvex {

class DetectionForwarder;
class DirectConnection;

class StationOutputs final : public DetectionOutputs {
public:
    StationOutputs(DirectConnection& link, DetectionForwarder& forwarder) : link_(link), forwarder_(forwarder) {}

    bool IsDirectConnected() override;
    void SendDirectLine(std::string_view line) override;
    void ForwardDetection(const CRixResult& record, std::size_t position) override;
    void AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) override;

    // BResendWhileDisconnected: what the results program did not read, recorded while the link
    // was down included, goes to it once the link is back.
    void SetKeepWhileDisconnected(bool keep);
    bool KeepWhileDisconnected() const;

private:
    DirectConnection& link_;
    DetectionForwarder& forwarder_;
};

}  // namespace winorvex
