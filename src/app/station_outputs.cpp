#include "app/station_outputs.h"

#include "detections/detections_pane.h"
#include "results_link/detection_forwarder.h"
#include "results_link/direct_connection.h"

namespace winorvex {

bool StationOutputs::IsDirectConnected() {
    return link_.IsDirectConnected();
}

void StationOutputs::SendDirectLine(std::string_view line) {
    link_.SendDirectLine(line);
}

void StationOutputs::ForwardDetection(const CRixResult&, std::size_t position) {
    forwarder_.OnRecorded(position);
}

void StationOutputs::AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) {
    winorvex::AddToDetectionsPane(text, serial, daily);
}

void StationOutputs::SetKeepWhileDisconnected(bool keep) {
    forwarder_.SetResend(keep);
}

bool StationOutputs::KeepWhileDisconnected() const {
    return forwarder_.Resend();
}

}  // namespace winorvex
