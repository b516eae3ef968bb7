#include "detections/detection_filter.h"

#include "detections/reader_line.h"

namespace winorvex {

CChrono RepeatGapThreshold(int gapMs) {
    if (gapMs <= 0) return CChrono();
    return CChrono(gapMs / 1000, static_cast<std::uint16_t>(gapMs % 1000));
}

bool IsRepeatWithinGap(const CChrono& previous, const CChrono& time, int gapMs) {
    if (gapMs <= 0) return false;
    if (time == previous) return true;
    // Compare in whole milliseconds: exact, and independent of how either value stores them.
    const std::int64_t elapsed = (static_cast<std::int64_t>(time.Seconds()) - previous.Seconds()) * 1000 +
                                 (static_cast<std::int64_t>(time.Milliseconds()) - previous.Milliseconds());
    const CChrono threshold = RepeatGapThreshold(gapMs);
    const std::int64_t limit = static_cast<std::int64_t>(threshold.Seconds()) * 1000 + threshold.Milliseconds();
    return elapsed > 0 && elapsed < limit;
}

bool IsDroppedBySeenMarker(int seenMarker, bool ignoreFS, bool ignoreLS) {
    return (ignoreFS && seenMarker == kMarkerFS) || (ignoreLS && seenMarker == kMarkerLS);
}

}  // namespace winorvex
