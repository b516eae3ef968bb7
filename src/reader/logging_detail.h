#pragma once
// Decoders of the reader replies that are not chip reads: the logging detail (counters of the
// reader's recorded reads), the Lite clock reply and the memory clearing progress.
#include <array>
#include <string>
#include <string_view>

#include "core/chrono.h"

namespace winorvex {

class CLoggingDetail {
public:
    // Shorter replies are not parsed: the counters stay at 0.
    static constexpr std::size_t kMinimumLength = 34;

    CLoggingDetail() = default;
    virtual ~CLoggingDetail() = default;

    // Parses the whole reply line (checksum included). False, with every counter 0, when the line
    // is too short or a counter field is not hexadecimal.
    bool Parse(std::string_view line);

    int A = 0;
    int B = 0;
    int C = 0;
    int D = 0;
    int E = 0;
    int F = 0;
    int G = 0;

    int Recorded() const { return A * G + B; }
    int PlayedBack() const { return G * C + D; }
    int NotYetPlayedBack() const { return (A - C) * G + B - D; }
    int FreeSpace() const { return (F - A) * G - B; }

    // "A:%d, B:%d, C:%d, D:%d, E:%d, F:%d, G:%d"
    std::string CountersText() const;
    // "Recorded: %d - Not yet played back:%d"
    std::string SummaryText() const;
    // Recorded, played back, not yet played back, free space: one line each for the dialogs.
    std::array<std::string, 4> DetailLines() const;
};

// The Lite clock reply (the line without its checksum): reader date "20" + characters 9-14, time
// characters 17-22, hundredths characters 23-24 in hex. Both outputs change only on success.
bool DecodeLiteClock(std::string_view line, CChrono& readerTime, CChrono& readerTimeOfDay);

// Percent of a memory clearing from the whole reply: of its last six characters, x (first two)
// times 100 over y (next two), both hex. kClearingUnknown when the line is malformed or y is 0.
inline constexpr int kClearingUnknown = -1;
int DecodeClearingProgress(std::string_view line);

}  // namespace winorvex
