#pragma once
// The working copy that statistics and exports run on: the active records of the result list,
// copied under the list's lock, each with its bib read as a number and its time as a time value.
// Box workers keep appending to the list while an export works; the copy never changes.
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/chrono.h"
#include "detections/result_list.h"

namespace winorvex {

class CWorkResult : public CRixResult {
public:
    CWorkResult() = default;
    explicit CWorkResult(const CRixResult& source) : CRixResult(source) { Derive(); }
    // A copy whose bibNumber and time are derived later (Derive), outside the list's lock.
    struct Deferred {};
    CWorkResult(const CRixResult& source, Deferred) : CRixResult(source) {}

    // Recomputes bibNumber and time from bib and timeText.
    void Derive();

    // bib read as a decimal integer (leading blanks and a sign allowed); 0 when the bib does not
    // start with a number; saturated at the 32-bit limits. Shown only: runners are told apart
    // by their bib text, so "12" and "12A" or two untranslated chips stay different runners.
    std::int32_t bibNumber = 0;
    // The time of day: timeText read with ParseClock (a leading "-" read as a negative passing
    // time, see ParseSignedClock); unset for an absolute-clock text ("1716000000.5").
    CChrono time;
    // What the minimum gap and the order of passages go by: the time of day, or the absolute time
    // of an absolute-clock result. Both kinds count seconds, so the gap applies alike to either;
    // an absolute time is far later than any time of day and sorts after it.
    CChrono orderTime;
};

using CWorkResultList = std::vector<CWorkResult>;
// The statistics borrow results from a working copy and never copy them.
using WorkResultPointers = std::vector<const CWorkResult*>;

std::int32_t ParseBibNumber(std::string_view bib);

// Appends a CWorkResult for each active record in recording order whose detector equals filter,
// or for every active record when filter is empty or "*". The list's lock is held only while
// the records are copied; the numbers and times are derived after it is released.
void CopyResults(CWorkResultList& target, std::string_view filter);
// The two steps of CopyResults: the records copied under the lock (bibNumber and time not yet
// derived), then the derivation of the results from index first on.
// lockHeld, when given, receives how long the list's lock was held.
void CopyRecordsUnderLock(CWorkResultList& target, std::string_view filter,
                          std::chrono::nanoseconds* lockHeld = nullptr);
void DeriveResults(CWorkResultList& results, std::size_t first);

// Pointers to every result of the copy, in its order.
WorkResultPointers PointersTo(const CWorkResultList& results);

}  // namespace winorvex
