#pragma once
// The reader's own clock: the computer's local time shifted by an offset that the host sets with
// its clock commands (or that --date gives at start).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "frame.h"

namespace winorvex::sim {

struct ReaderTime {
    int year = 0;  // full year
    int month = 0;
    int day = 0;
    int weekday = 0;  // Sunday 0
    int hour = 0;
    int minute = 0;
    int second = 0;
    int hundredths = 0;
};

class ReaderClock {
public:
    using SystemTime = std::chrono::system_clock::time_point;

    // Milliseconds since 1970 of the reader's clock at the computer time `now`.
    int64_t ReaderMs(SystemTime now) const;
    ReaderTime Now() const { return At(std::chrono::system_clock::now()); }
    ReaderTime At(SystemTime now) const;

    // Sets the clock so that it reads the given local date and time at the computer time `now`.
    // False (clock unchanged) when the fields do not make a valid date and time.
    bool SetLocal(int year, int month, int day, int hour, int minute, int second, SystemTime now);

    // Moves the clock to the local date yyyymmdd while keeping the time of day. False when invalid.
    bool ShiftToDate(int yyyymmdd, SystemTime now);

    int64_t offset_ms() const { return offset_ms_.load(std::memory_order_relaxed); }

private:
    // Read by the line producer and changed by clock commands from two threads.
    std::atomic<int64_t> offset_ms_{0};
};

// Breaks reader milliseconds into local calendar fields.
ReaderTime BreakDown(int64_t reader_ms);

// Caches the date and time text of the current second so that producing many reads in the same
// second costs no calendar conversion.
class StampCache {
public:
    const StampText& At(int64_t reader_ms);

private:
    int64_t cached_second_ = INT64_MIN;
    StampText stamp_;
};

}  // namespace winorvex::sim
