#pragma once
// The search of a reader log for the reads of one date between two times of day. Runs on any
// thread: it touches nothing shared but the chip table snapshot it is given and reports through
// an ImportObserver, so the station runs it off its own thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/chrono.h"
#include "import/detection.h"
#include "import/import_observer.h"
#include "import/purge_repeats.h"

namespace winorvex {

class ChipTable;
class SoundPlayer;

// Everything the search reads from the station's settings, taken once before it starts.
struct LogSearchSettings {
    bool translate = true;            // GOrvexSendNumbers
    bool ignoreUnknownTags = false;   // GOrvexIgnoreUnknownTags
    int msDelta = 50;                 // GOrvexIgnoreInputMsDelta
    bool extendedStatus = false;      // markers are collected only in the extended status mode
    bool showAbnormalEvents = false;  // "Display all abnormal events found in file"
    std::uint32_t today = 0;          // yyyymmdd; later reader dates are refused
    std::shared_ptr<const ChipTable> chips;
};

// The current settings, today's date (pinned or not) and the current chip table.
LogSearchSettings CurrentLogSearchSettings(bool showAbnormalEvents);

struct LogSearchRequest {
    std::string path;
    CChrono midnight;  // the picked date at 00:00:00 (absolute)
    CChrono start;     // both ends inclusive (absolute)
    CChrono end;
};

struct LogSearchResult {
    bool searched = false;  // the file was read to its end or until cancelled
    bool cancelled = false;
    std::string error;      // why the file could not be opened or read (searched is false)
    FoundDetections found;  // after the purge, in absolute-time order
    std::vector<COrvexMarker> markers;
    std::vector<std::string> unknownChips;  // distinct, in order of first read
    std::uint64_t lines = 0;
    std::uint64_t decodedReads = 0;     // every decoded read, in the window or not
    std::uint64_t abnormalEvents = 0;   // counted whether shown or not
    std::uint64_t rejectedUnknown = 0;  // unknown chips discarded
    std::size_t foundBeforePurge = 0;
};

// Reads the file line by line (see LogFileReader), collects the reads of the window and the
// markers strictly inside it, writes its information lines, purges repeats. Plays the warning
// sound (when `sounds` is given) when chips were not in the table.
LogSearchResult SearchReaderLog(const LogSearchRequest& request, const LogSearchSettings& settings,
                                ImportObserver& observer, SoundPlayer* sounds);

}  // namespace winorvex
