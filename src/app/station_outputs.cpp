#include "app/station_outputs.h"

#include "detections/detections_pane.h"

namespace winorvex {

void StationOutputs::AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) {
    winorvex::AddToDetectionsPane(text, serial, daily);
}

}  // namespace winorvex
