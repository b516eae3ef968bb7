#pragma once
// What a box worker does with a recorded detection besides the list and the file: the detections
// pane's queue, and the results program once its link exists. Called on worker threads.
#include "detections/record_detection.h"

namespace winorvex {

class StationOutputs final : public DetectionOutputs {
public:
    // Without a link to the results program nothing is forwarded.
    bool IsDirectConnected() override { return false; }
    void SendDirectLine(std::string_view) override {}
    void AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) override;
};

}  // namespace winorvex
