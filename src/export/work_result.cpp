#include "export/work_result.h"

#include <limits>

#include "export/time_texts.h"

namespace winorvex {

std::int32_t ParseBibNumber(std::string_view bib) {
    std::size_t at = 0;
    while (at < bib.size() && (bib[at] == ' ' || (bib[at] >= '\t' && bib[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < bib.size() && (bib[at] == '+' || bib[at] == '-')) negative = bib[at++] == '-';
    // Accumulated in 64 bits and stopped at the 32-bit bound, so a chip identifier of twenty
    // digits reads as the largest number instead of wrapping.
    constexpr std::int64_t kBound = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t value = 0;
    for (; at < bib.size() && bib[at] >= '0' && bib[at] <= '9'; ++at) {
        value = value * 10 + (bib[at] - '0');
        if (value >= kBound) {
            value = kBound;
            break;
        }
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return value >= kBound ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(value);
}

void CWorkResult::Derive() {
    bibNumber = ParseBibNumber(bib);
    time.Clear();
    orderTime.Clear();
    if (IsAbsolute()) {
        if (!orderTime.ParseSecondsHundredths(timeText)) orderTime.Clear();
        return;
    }
    if (!ParseSignedClock(timeText, time)) time.Clear();
    orderTime = time;
}

void CopyRecordsUnderLock(CWorkResultList& target, std::string_view filter, std::chrono::nanoseconds* lockHeld) {
    const bool everyDetector = filter.empty() || filter == "*";
    // The slots are made (and their memory touched) before the lock, so that recorders wait
    // for the copying only, not for a million page faults.
    const std::size_t first = target.size();
    target.resize(first + CountActiveResults() + 4096);
    std::size_t used = first;
    {
        // ForEachResult holds the list's lock for the whole walk: that walk is the time measured.
        const auto start = std::chrono::steady_clock::now();
        ForEachResult([&](const CRixResult& record) {
            if (!record.IsActive()) return;
            if (!everyDetector && record.detector != filter) return;
            if (used < target.size()) {
                static_cast<CRixResult&>(target[used]) = record;
            } else {
                target.emplace_back(record, CWorkResult::Deferred{});
            }
            ++used;
        });
        if (lockHeld != nullptr) *lockHeld = std::chrono::steady_clock::now() - start;
    }
    target.resize(used);
}

void DeriveResults(CWorkResultList& results, std::size_t first) {
    for (std::size_t i = first; i < results.size(); ++i) results[i].Derive();
}

void CopyResults(CWorkResultList& target, std::string_view filter) {
    const std::size_t first = target.size();
    CopyRecordsUnderLock(target, filter);
    DeriveResults(target, first);
}

WorkResultPointers PointersTo(const CWorkResultList& results) {
    WorkResultPointers pointers;
    pointers.reserve(results.size());
    for (const CWorkResult& result : results) pointers.push_back(&result);
    return pointers;
}

}  // namespace winorvex
