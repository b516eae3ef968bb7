#include "export/pass_stats.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>

#include "core/log.h"
#include "export/handicaps.h"

namespace winorvex {
namespace {

// What the sorts compare, laid out contiguously: the first eight bytes of the bib (big-endian,
// zero-padded, so an integer compare is a byte compare), the order time (the absolute time of an
// absolute-clock result) as an ordered integer (unset last) and the serial. Sorting these instead
// of pointers keeps a million results in cache; the results themselves are only read for bibs
// longer than eight bytes.
struct SortKey {
    std::uint64_t bibPrefix;
    std::uint64_t time;
    std::uint32_t bibLength;
    std::uint32_t serial;
    const CWorkResult* result;
    std::uint32_t pass;  // 1-based position in its runner's kept passages, once known
};

constexpr std::uint64_t kUnsetTime = ~std::uint64_t{0};

std::uint64_t TimeKey(const CChrono& time) {
    if (!time.IsSet()) return kUnsetTime;
    const auto seconds = static_cast<std::uint32_t>(time.Seconds()) ^ 0x80000000u;
    return (static_cast<std::uint64_t>(seconds) << 16) | time.Milliseconds();
}

CChrono TimeFromKey(std::uint64_t key) {
    if (key == kUnsetTime) return CChrono();
    const auto seconds = static_cast<std::uint32_t>(key >> 16) ^ 0x80000000u;
    return CChrono(static_cast<std::int32_t>(seconds), static_cast<std::uint16_t>(key & 0xFFFF));
}

std::uint64_t PrefixOf(std::string_view text) {
    unsigned char bytes[8] = {};
    std::memcpy(bytes, text.data(), std::min<std::size_t>(text.size(), 8));
    std::uint64_t prefix = 0;
    for (const unsigned char byte : bytes) prefix = (prefix << 8) | byte;
    return prefix;
}

SortKey MakeKey(const CWorkResult* result) {
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(result->bib.size(), 0xFFFFFFFFu));
    return {PrefixOf(result->bib), TimeKey(result->orderTime), length, result->serial, result, 0};
}

std::vector<SortKey> MakeKeys(const WorkResultPointers& source) {
    std::vector<SortKey> keys;
    keys.reserve(source.size());
    for (const CWorkResult* result : source) keys.push_back(MakeKey(result));
    return keys;
}

int CompareBibs(const SortKey& a, const SortKey& b) {
    if (a.bibPrefix != b.bibPrefix) return a.bibPrefix < b.bibPrefix ? -1 : 1;
    // Equal first eight bytes: short bibs differ only by their length (a shorter one is a
    // prefix of the other); longer ones are compared in full.
    if (a.bibLength <= 8 && b.bibLength <= 8) return (a.bibLength > b.bibLength) - (a.bibLength < b.bibLength);
    const int c = std::string_view(a.result->bib).compare(b.result->bib);
    return (c > 0) - (c < 0);
}

bool BibTimeLess(const SortKey& a, const SortKey& b) {
    if (const int c = CompareBibs(a, b); c != 0) return c < 0;
    if (a.time != b.time) return a.time < b.time;
    return a.serial < b.serial;
}

bool TimeBibLess(const SortKey& a, const SortKey& b) {
    if (a.time != b.time) return a.time < b.time;
    if (const int c = CompareBibs(a, b); c != 0) return c < 0;
    return a.serial < b.serial;
}

// Over keys sorted by bib then time: keeps a runner's first detection and each one later than
// the one just before it plus the gap, numbering the kept ones of each runner from 1. The kept
// keys are moved to the front and the rest erased. Returns the largest count of one runner.
int FilterRuns(std::vector<SortKey>& keys, const CChrono& gap, std::string* maxPassBib = nullptr) {
    int maxPass = 0;
    std::size_t out = 0;
    std::size_t runStart = 0;
    while (runStart < keys.size()) {
        std::size_t runEnd = runStart + 1;
        while (runEnd < keys.size() && CompareBibs(keys[runStart], keys[runEnd]) == 0) ++runEnd;
        std::uint32_t count = 0;
        CChrono previous;
        for (std::size_t i = runStart; i < runEnd; ++i) {
            const CChrono time = TimeFromKey(keys[i].time);
            const bool kept = i == runStart || !(time <= previous + gap);
            previous = time;
            if (!kept) continue;
            SortKey key = keys[i];
            key.pass = ++count;
            keys[out++] = key;
        }
        if (static_cast<int>(count) > maxPass) {
            maxPass = static_cast<int>(count);
            if (maxPassBib != nullptr) *maxPassBib = keys[out - 1].result->bib;
        }
        runStart = runEnd;
    }
    keys.resize(out);
    return maxPass;
}

// Over keys sorted by bib then time: the 1-based position of each in its runner's run.
void NumberRuns(std::vector<SortKey>& keys) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && CompareBibs(keys[i - 1], keys[i]) != 0) runStart = i;
        keys[i].pass = static_cast<std::uint32_t>(i - runStart + 1);
    }
}

// Over numbered keys sorted by time then bib: one list per pass number, each in that order.
std::vector<WorkResultPointers> Buckets(const std::vector<SortKey>& keys) {
    std::vector<std::size_t> sizes;
    for (const SortKey& key : keys) {
        if (key.pass > sizes.size()) sizes.resize(key.pass, 0);
        ++sizes[key.pass - 1];
    }
    std::vector<WorkResultPointers> passes(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) passes[i].reserve(sizes[i]);
    for (const SortKey& key : keys) passes[key.pass - 1].push_back(key.result);
    return passes;
}

void LogSortMemoryError(const char* code) {
    LogF(0, "## Error #%s\nCan't allocate memory for sorting", code);
}

}  // namespace

bool CompareBibThenTime(const CWorkResult& a, const CWorkResult& b) {
    return BibTimeLess(MakeKey(&a), MakeKey(&b));
}

bool CompareTimeThenBib(const CWorkResult& a, const CWorkResult& b) {
    return TimeBibLess(MakeKey(&a), MakeKey(&b));
}

bool CompareDetectorTimeBib(const CWorkResult& a, const CWorkResult& b) {
    if (const int c = a.detector.compare(b.detector); c != 0) return c < 0;
    return CompareTimeThenBib(a, b);
}

int ComputePassStats(const WorkResultPointers& source, WorkResultPointers& kept, const CChrono& gap) {
    if (source.empty()) return 0;
    try {
        std::vector<SortKey> keys = MakeKeys(source);
        std::sort(keys.begin(), keys.end(), BibTimeLess);
        const int maxPass = FilterRuns(keys, gap);
        std::sort(keys.begin(), keys.end(), TimeBibLess);
        kept.reserve(kept.size() + keys.size());
        for (const SortKey& key : keys) kept.push_back(key.result);
        return maxPass;
    } catch (const std::bad_alloc&) {
        LogSortMemoryError("8254047");
        return 0;
    }
}

std::vector<CDetectorResList> GroupByDetector(const WorkResultPointers& source) {
    std::vector<CDetectorResList> groups;
    if (source.empty()) return groups;
    // A handful of detectors among a million results: one hash look-up per result, then a sort
    // of each detector's results, instead of one sort of everything by detector text.
    std::unordered_map<std::string_view, std::size_t> indexOf;
    for (const CWorkResult* result : source) {
        auto [it, added] = indexOf.try_emplace(result->detector, groups.size());
        if (added) groups.push_back(CDetectorResList{result->detector, {}});
        groups[it->second].results.push_back(result);
    }
    std::sort(groups.begin(), groups.end(),
              [](const CDetectorResList& a, const CDetectorResList& b) { return a.detector < b.detector; });
    for (CDetectorResList& group : groups) {
        std::vector<SortKey> keys = MakeKeys(group.results);
        std::sort(keys.begin(), keys.end(), TimeBibLess);
        for (std::size_t i = 0; i < keys.size(); ++i) group.results[i] = keys[i].result;
    }
    return groups;
}

std::vector<CStatLineEntry> ComputeDetectorLines(const WorkResultPointers& source) {
    std::vector<CStatLineEntry> lines;
    try {
        for (const CDetectorResList& group : GroupByDetector(source)) {
            CStatLineEntry line;
            line.detections = static_cast<std::int32_t>(group.results.size());
            line.detector = group.detector;
            line.firstBib = group.results.front()->bib;
            line.firstTime = group.results.front()->time;
            lines.push_back(std::move(line));
        }
    } catch (const std::bad_alloc&) {
        LogSortMemoryError("8254047.2");
        lines.clear();
    }
    return lines;
}

void SelectPass(const WorkResultPointers& kept, WorkResultPointers& out, int k) {
    if (kept.empty() || k < 1) return;
    try {
        std::vector<SortKey> keys = MakeKeys(kept);
        std::sort(keys.begin(), keys.end(), BibTimeLess);
        NumberRuns(keys);
        std::erase_if(keys, [k](const SortKey& key) { return key.pass != static_cast<std::uint32_t>(k); });
        std::sort(keys.begin(), keys.end(), TimeBibLess);
        for (const SortKey& key : keys) out.push_back(key.result);
    } catch (const std::bad_alloc&) {
        LogSortMemoryError("8254047");
    }
}

std::vector<WorkResultPointers> SplitPasses(const WorkResultPointers& kept) {
    try {
        std::vector<SortKey> keys = MakeKeys(kept);
        std::sort(keys.begin(), keys.end(), BibTimeLess);
        NumberRuns(keys);
        std::sort(keys.begin(), keys.end(), TimeBibLess);
        return Buckets(keys);
    } catch (const std::bad_alloc&) {
        LogSortMemoryError("8254047");
        return {};
    }
}

std::vector<DetectorPasses> ComputeDetectorStatistics(const WorkResultPointers& source, const CChrono& gap,
                                                      bool withPasses) {
    std::vector<DetectorPasses> lines;
    try {
        for (const CDetectorResList& group : GroupByDetector(source)) {
            DetectorPasses entry;
            entry.line.detector = group.detector;
            entry.line.firstBib = group.results.front()->bib;
            entry.line.firstTime = group.results.front()->time;

            std::vector<SortKey> keys = MakeKeys(group.results);
            std::sort(keys.begin(), keys.end(), BibTimeLess);
            entry.line.maxPass = FilterRuns(keys, gap, &entry.maxPassBib);
            std::sort(keys.begin(), keys.end(), TimeBibLess);
            entry.line.detections = static_cast<std::int32_t>(keys.size());
            entry.line.handicap = ReadHandicap(group.detector);
            entry.kept.reserve(keys.size());
            for (const SortKey& key : keys) entry.kept.push_back(key.result);
            if (withPasses) entry.passes = Buckets(keys);
            lines.push_back(std::move(entry));
        }
    } catch (const std::bad_alloc&) {
        LogSortMemoryError("8254047");
        lines.clear();
    }
    return lines;
}

}  // namespace winorvex
