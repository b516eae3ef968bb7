#pragma once
// The rules that drop a decoded chip read before it is recorded.
#include <cstdint>

#include "core/chrono.h"

namespace winorvex {

// The repeat-gap threshold as a time value, normalised: 1500 ms is 1 s and 500 ms.
CChrono RepeatGapThreshold(int gapMs);

// True when a read at `time` repeats a read of the same chip on the same box at `previous`:
// the same instant, or later by less than the gap. An earlier time (reader clock set back, a
// replayed memory) is never a repeat. A gap of 0 or less drops nothing.
bool IsRepeatWithinGap(const CChrono& previous, const CChrono& time, int gapMs);

// True when the read's seen marker ("FS" 1, "LS" 2) is one the settings drop.
bool IsDroppedBySeenMarker(int seenMarker, bool ignoreFS, bool ignoreLS);

}  // namespace winorvex
