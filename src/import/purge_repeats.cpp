#include "import/purge_repeats.h"

#include <algorithm>
#include <cstdint>

namespace winorvex {

namespace {

std::int64_t Milliseconds(const CChrono& time) {
    return static_cast<std::int64_t>(time.Seconds()) * 1000 + time.Milliseconds();
}

bool EarlierTime(const CDetection& a, const CDetection& b) {
    return Milliseconds(a.absoluteTime) < Milliseconds(b.absoluteTime);
}

}  // namespace

void PurgeRepeats(FoundDetections& found, int msDelta) {
    std::stable_sort(found.begin(), found.end(), [](const CDetection& a, const CDetection& b) {
        const int order = a.Identifier().compare(b.Identifier());
        return order != 0 ? order < 0 : EarlierTime(a, b);
    });

    if (msDelta > 0 && !found.empty()) {
        // Each read is compared with the one just before it, kept or not, so a steady stream of
        // reads closer than the gap keeps only its first.
        auto kept = found.begin();
        std::string_view previousId = found.front().Identifier();
        std::int64_t previousTime = Milliseconds(found.front().absoluteTime);
        ++kept;
        for (auto it = std::next(found.begin()); it != found.end(); ++it) {
            const std::int64_t time = Milliseconds(it->absoluteTime);
            const bool sameChip = it->Identifier() == previousId;
            const bool repeat = sameChip && time - previousTime < msDelta;
            // previousId points into the element at `it`, which moving into `kept` never overwrites
            // before the next comparison: remember the text by value.
            previousTime = time;
            if (!repeat) {
                if (kept != it) *kept = *it;
                previousId = kept->Identifier();
                ++kept;
            } else {
                previousId = std::prev(kept)->Identifier();
            }
        }
        found.erase(kept, found.end());
    }

    std::stable_sort(found.begin(), found.end(), EarlierTime);
}

}  // namespace winorvex
