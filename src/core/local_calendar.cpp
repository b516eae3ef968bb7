#include "core/local_calendar.h"

#include <atomic>

namespace winorvex {

namespace {

std::atomic<unsigned> g_zoneGeneration{0};

// The shortcut is only taken for hours with the same UTC offset this long on either side, so that
// every wall-clock time inside the hour maps to exactly one instant, base + minutes and seconds;
// hours near a change (skipped or repeated hours, half-hour shifts) always go to mktime itself.
constexpr std::int64_t kSteadyMargin = 3 * 3600;

struct HourShortcut {
    bool valid = false;
    unsigned generation = 0;
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    std::int64_t base = 0;
};

thread_local HourShortcut t_lastHour;

bool OffsetAt(std::int64_t instant, long& offset) {
    const auto t = static_cast<std::time_t>(instant);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) return false;
    offset = tm.tm_gmtoff;
    return true;
}

bool IsSteadyHour(std::int64_t base) {
    long before = 0;
    long at = 0;
    long end = 0;
    long after = 0;
    return OffsetAt(base - kSteadyMargin, before) && OffsetAt(base, at) && OffsetAt(base + 3599, end) &&
           OffsetAt(base + 3600 + kSteadyMargin, after) && before == at && at == end && end == after;
}

std::tm WallClock(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return tm;
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
    // Counting years from March puts the leap day at the end of the counted year.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    date.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

int WeekdayFromDays(std::int64_t days) {
    // 1970-01-01 was a Thursday.
    const std::int64_t w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

bool MakeLocalTime(std::tm& tm, std::int64_t& instant) {
    // mktime fills tm_wday on success only.
    tm.tm_wday = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && tm.tm_wday == -1) return false;
    instant = static_cast<std::int64_t>(t);
    return true;
}

bool LocalWallClockToInstant(int year, int month, int day, int hour, int minute, int second, std::int64_t& instant) {
    const unsigned generation = g_zoneGeneration.load(std::memory_order_acquire);
    HourShortcut& last = t_lastHour;
    const bool insideHour = minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
    if (insideHour && last.valid && last.generation == generation && last.year == year && last.month == month &&
        last.day == day && last.hour == hour) {
        instant = last.base + minute * 60 + second;
        return true;
    }
    std::tm tm = WallClock(year, month, day, hour, minute, second);
    if (!MakeLocalTime(tm, instant)) return false;
    if (!insideHour) return true;

    std::tm hourStart = WallClock(year, month, day, hour, 0, 0);
    std::int64_t base = 0;
    if (MakeLocalTime(hourStart, base) && IsSteadyHour(base)) {
        last = HourShortcut{true, generation, year, month, day, hour, base};
    } else {
        last.valid = false;
    }
    return true;
}

void ForgetLocalTimeShortcuts() {
    tzset();
    g_zoneGeneration.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace winorvex
