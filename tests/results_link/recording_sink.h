#pragma once
// The link tests' stand-in for the station is the tests' one recording sink.
#include "support/recording_station_events.h"

namespace winorvex::test {

using RecordingLinkSink = RecordingStationEvents;

}  // namespace winorvex::test
