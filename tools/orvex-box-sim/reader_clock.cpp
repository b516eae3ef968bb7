#include "reader_clock.h"

namespace winorvex::sim {

namespace {

int64_t SystemMs(ReaderClock::SystemTime now) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// mktime normalises out-of-range fields silently; a reader given "2024-02-31" must refuse it.
bool LocalToEpoch(int year, int month, int day, int hour, int minute, int second, std::time_t* out) {
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || year < 1970 || year > 2099) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != day || tm.tm_mon != month - 1) return false;
    *out = t;
    return true;
}

}  // namespace

ReaderTime BreakDown(int64_t reader_ms) {
    const std::time_t seconds = static_cast<std::time_t>(FloorDiv(reader_ms, 1000));
    const int64_t millis = reader_ms - static_cast<int64_t>(seconds) * 1000;
    std::tm tm{};
    localtime_r(&seconds, &tm);
    ReaderTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.weekday = tm.tm_wday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.hundredths = static_cast<int>(millis / 10);
    return t;
}

int64_t ReaderClock::ReaderMs(SystemTime now) const {
    return SystemMs(now) + offset_ms();
}

ReaderTime ReaderClock::At(SystemTime now) const {
    return BreakDown(ReaderMs(now));
}

bool ReaderClock::SetLocal(int year, int month, int day, int hour, int minute, int second, SystemTime now) {
    std::time_t t = 0;
    if (!LocalToEpoch(year, month, day, hour, minute, second, &t)) return false;
    offset_ms_.store(static_cast<int64_t>(t) * 1000 - SystemMs(now), std::memory_order_relaxed);
    return true;
}

bool ReaderClock::ShiftToDate(int yyyymmdd, SystemTime now) {
    const ReaderTime current = At(now);
    std::time_t target = 0;
    if (!LocalToEpoch(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100, current.hour, current.minute,
                      current.second, &target)) {
        return false;
    }
    // Keep the sub-second part running as before so that only the date moves.
    const int64_t reader_ms = ReaderMs(now);
    const int64_t current_second_ms = FloorDiv(reader_ms, 1000) * 1000;
    offset_ms_.fetch_add(static_cast<int64_t>(target) * 1000 - current_second_ms, std::memory_order_relaxed);
    return true;
}

const StampText& StampCache::At(int64_t reader_ms) {
    const int64_t second = FloorDiv(reader_ms, 1000);
    if (second != cached_second_) {
        const ReaderTime t = BreakDown(reader_ms);
        char* p = stamp_.yymmddhhmmss.data();
        PutDecimal2(p, t.year % 100);
        PutDecimal2(p + 2, t.month);
        PutDecimal2(p + 4, t.day);
        PutDecimal2(p + 6, t.hour);
        PutDecimal2(p + 8, t.minute);
        PutDecimal2(p + 10, t.second);
        cached_second_ = second;
    }
    stamp_.hundredths = static_cast<int>((reader_ms - second * 1000) / 10);
    return stamp_;
}

}  // namespace winorvex::sim
