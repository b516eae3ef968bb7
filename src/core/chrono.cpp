#include "core/chrono.h"

#include <ctime>
#include <limits>

#include "core/local_calendar.h"
#include "core/local_time.h"
#include "core/number_scanner.h"

namespace winorvex {

namespace {

// The millisecond field holds hundredths x 10; a count that does not fit would wrap into a
// plausible-looking but wrong time, so it is refused instead.
constexpr std::int64_t kMaxHundredths = std::numeric_limits<std::uint16_t>::max() / 10;

bool HundredthsToMilliseconds(std::int64_t hundredths, std::uint16_t& ms) {
    if (hundredths < 0 || hundredths > kMaxHundredths) return false;
    ms = static_cast<std::uint16_t>(hundredths * 10);
    return true;
}

bool FitsSeconds(std::int64_t value) {
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

// Seconds of an instant the way the system's clock values are kept: the low 32 bits.
std::int32_t Low32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t SecondsOfDay(const std::tm& tm) {
    return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

struct ClockReading {
    std::int64_t seconds = 0;
    std::uint16_t ms = 0;
};

ClockReading ReadSystemClock() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return {static_cast<std::int64_t>(ts.tv_sec), static_cast<std::uint16_t>(ts.tv_nsec / 1000000)};
}

// One of the accepted clock-text layouts: hh<a>mm<b>ss[<c>cc].
struct ClockPattern {
    char first;
    char second;
    char third;  // '\0' for the three-number layouts
};

// Tried in this order; the first one whose every number is read wins.
constexpr ClockPattern kClockPatterns[] = {
    {':', ':', '.'},
    {'.', '.', '.'},
    {'.', '.', '\0'},
    {':', ':', '\0'},
};

bool MatchClock(std::string_view text, const ClockPattern& pattern, std::int64_t (&numbers)[4]) {
    NumberScanner scan(text);
    numbers[3] = 0;
    if (!scan.ReadLong(numbers[0]) || !scan.Expect(pattern.first) || !scan.ReadLong(numbers[1]) ||
        !scan.Expect(pattern.second) || !scan.ReadLong(numbers[2])) {
        return false;
    }
    if (pattern.third == '\0') return true;
    return scan.Expect(pattern.third) && scan.ReadLong(numbers[3]);
}

}  // namespace

CChrono::CChrono(Kind kind) {
    if (kind == kNowAbs) {
        SetNowAbs();
    } else if (kind == kNowDaily) {
        SetNowDaily();
    }
}

void CChrono::SetNowAbs() {
    const ClockReading now = ReadSystemClock();
    seconds_ = Low32(now.seconds);
    ms_ = now.ms;
}

void CChrono::SetNowDaily() {
    const ClockReading now = ReadSystemClock();
    const auto t = static_cast<std::time_t>(now.seconds);
    std::tm local{};
    localtime_r(&t, &local);
    seconds_ = SecondsOfDay(local);
    ms_ = now.ms;
}

bool CChrono::SetFromReaderStamp(std::string_view dateYYYYMMDD, std::string_view timeHHMMSS, int hundredths) {
    int year = 0;
    int month = 0;
    int day = 0;
    NumberScanner date(dateYYYYMMDD);
    if (!date.ReadInt(4, year) || !date.ReadInt(2, month) || !date.ReadInt(2, day)) return false;
    int hour = 0;
    int minute = 0;
    int second = 0;
    NumberScanner time(timeHHMMSS);
    if (!time.ReadInt(2, hour) || !time.ReadInt(2, minute) || !time.ReadInt(2, second)) return false;

    // A sign in a reader's time field is line noise, not an earlier hour: refused like any other
    // out-of-range field rather than rolled back into the previous day.
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    std::uint16_t ms = 0;
    if (!HundredthsToMilliseconds(hundredths, ms)) return false;

    std::int64_t instant = 0;
    if (!LocalWallClockToInstant(year, month, day, hour, minute, second, instant)) return false;
    // Past the 32-bit range the stored seconds would name another century.
    if (!FitsSeconds(instant)) return false;
    seconds_ = static_cast<std::int32_t>(instant);
    ms_ = ms;
    return true;
}

bool CChrono::SetFromReaderTime(std::string_view timeHHMMSS, int hundredths) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    NumberScanner time(timeHHMMSS);
    if (!time.ReadInt(2, hour) || !time.ReadInt(2, minute) || !time.ReadInt(2, second)) return false;
    std::uint16_t ms = 0;
    if (!HundredthsToMilliseconds(hundredths, ms)) return false;
    seconds_ = hour * 3600 + minute * 60 + second;
    ms_ = ms;
    return true;
}

bool CChrono::ParseClock(std::string_view text) {
    std::int64_t numbers[4] = {};
    for (const ClockPattern& pattern : kClockPatterns) {
        if (!MatchClock(text, pattern, numbers)) continue;
        // Fields are free (75 minutes is fine), but the total must still be a time we can hold.
        if (!FitsSeconds(numbers[0]) || !FitsSeconds(numbers[1]) || !FitsSeconds(numbers[2])) return false;
        const std::int64_t total = numbers[0] * 3600 + numbers[1] * 60 + numbers[2];
        std::uint16_t ms = 0;
        if (!FitsSeconds(total) || !HundredthsToMilliseconds(numbers[3], ms)) return false;
        seconds_ = static_cast<std::int32_t>(total);
        ms_ = ms;
        return true;
    }
    return false;
}

bool CChrono::ParseSecondsHundredths(std::string_view text) {
    // The results program's texts are read through a 63-character window, with ':' standing for '.'.
    NumberScanner scan(text.substr(0, 63));
    std::int64_t seconds = 0;
    std::int64_t hundredths = 0;
    if (!scan.ReadLong(seconds) || !scan.Expect('.', ':') || !scan.ReadLong(hundredths)) return false;
    std::uint16_t ms = 0;
    if (!FitsSeconds(seconds) || !HundredthsToMilliseconds(hundredths, ms)) return false;
    seconds_ = static_cast<std::int32_t>(seconds);
    ms_ = ms;
    return true;
}

void CChrono::AbsToDaily() {
    const auto t = static_cast<std::time_t>(seconds_);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return;
    seconds_ = SecondsOfDay(local);
}

void CChrono::DailyToAbs() {
    // The daily seconds are read as a wall-clock time of today's date (24 h and more reaching into
    // the following days), the platform deciding daylight saving for that very time. Adding them to
    // an instant of midnight instead would be an hour off for any time past a daylight-saving change.
    const std::tm today = LocalNow();
    // Every field in its range but the day: mktime counts surplus seconds as elapsed time, not as
    // wall-clock time, which would undo the point of reading them as a time of day.
    std::int64_t days = seconds_ / 86400;
    if (seconds_ % 86400 < 0) --days;
    const auto rest = static_cast<int>(seconds_ - days * 86400);
    std::tm wall{};
    wall.tm_year = today.tm_year;
    wall.tm_mon = today.tm_mon;
    wall.tm_mday = today.tm_mday + static_cast<int>(days);
    wall.tm_hour = rest / 3600;
    wall.tm_min = rest / 60 % 60;
    wall.tm_sec = rest % 60;
    wall.tm_isdst = -1;
    std::int64_t instant = 0;
    if (!MakeLocalTime(wall, instant)) return;
    seconds_ = Low32(instant);
}

CChrono operator-(const CChrono& a, const CChrono& b) {
    std::int64_t seconds = static_cast<std::int64_t>(a.seconds_) - b.seconds_;
    int ms = static_cast<int>(a.ms_) - static_cast<int>(b.ms_);
    // One borrow covers every millisecond count below 1000; an unreduced count (1000 or more)
    // may need more, rather than wrapping the field.
    while (ms < 0) {
        ms += 1000;
        --seconds;
    }
    return CChrono(Low32(seconds), static_cast<std::uint16_t>(ms));
}

CChrono operator+(const CChrono& a, const CChrono& b) {
    std::int64_t seconds = static_cast<std::int64_t>(a.seconds_) + b.seconds_;
    int ms = static_cast<int>(a.ms_) + static_cast<int>(b.ms_);
    // A single carry: an unreduced count stays unreduced, as the ordering expects. Only a sum the
    // field cannot hold carries further.
    if (ms >= 1000) {
        ms -= 1000;
        ++seconds;
    }
    while (ms > std::numeric_limits<std::uint16_t>::max()) {
        ms -= 1000;
        ++seconds;
    }
    return CChrono(Low32(seconds), static_cast<std::uint16_t>(ms));
}

namespace {
bool FieldsLess(const CChrono& a, const CChrono& b) {
    return a.Seconds() != b.Seconds() ? a.Seconds() < b.Seconds() : a.Milliseconds() < b.Milliseconds();
}
}  // namespace

// An unset value is "no time yet": it sorts after every time, whatever the operator.
bool operator<(const CChrono& a, const CChrono& b) {
    if (a.IsSet() != b.IsSet()) return a.IsSet();
    return FieldsLess(a, b);
}

bool operator<=(const CChrono& a, const CChrono& b) {
    if (a.IsSet() != b.IsSet()) return a.IsSet();
    return !FieldsLess(b, a);
}

bool operator>(const CChrono& a, const CChrono& b) {
    if (a.IsSet() != b.IsSet()) return b.IsSet();
    return FieldsLess(b, a);
}

bool operator>=(const CChrono& a, const CChrono& b) {
    if (a.IsSet() != b.IsSet()) return b.IsSet();
    return !FieldsLess(a, b);
}

}  // namespace winorvex
