#pragma once
// The duplicate purge of a search's found detections: a reader logs a chip many times while it
// stays in the field, and only the first read of such a burst is a passing.
#include <deque>

#include "import/detection.h"

namespace winorvex {

using FoundDetections = std::deque<CDetection>;

// Sorts by identifier (byte order), then absolute time; drops every read of an identifier that
// comes less than msDelta milliseconds after the read just before it (dropped or not), or at the
// very same time; then sorts what is left by absolute time. Both sorts are stable. With msDelta
// of 0 or less nothing is dropped.
void PurgeRepeats(FoundDetections& found, int msDelta);

}  // namespace winorvex
