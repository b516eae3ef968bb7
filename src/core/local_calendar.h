#pragma once
// Calendar arithmetic shared by the time values and the date texts: proleptic Gregorian day
// numbers (no time zone involved) and the local wall-clock to instant conversion of the C library,
// with a per-thread shortcut for the per-read path.
#include <cstdint>
#include <ctime>

namespace winorvex {

struct CivilDate {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
};

// Days since 1970-01-01. Days past the month's end simply count on (30 February is 1 March).
std::int64_t DaysFromCivil(int year, int month, int day);
CivilDate CivilFromDays(std::int64_t days);
// 0 for Sunday.
int WeekdayFromDays(std::int64_t days);

// mktime, told apart from its failure (whose -1 is also a genuine instant, one second before 1970).
bool MakeLocalTime(std::tm& tm, std::int64_t& instant);

// The instant of a local wall-clock time with daylight saving decided by the platform: the result
// of mktime with tm_isdst = -1, fields normalised as mktime does (day 31 of April is 1 May).
// Remembers, per thread, the last hour converted when no offset change lies near it.
bool LocalWallClockToInstant(int year, int month, int day, int hour, int minute, int second, std::int64_t& instant);

// Drops the remembered conversions of every thread; needed only when TZ changes while running.
void ForgetLocalTimeShortcuts();

}  // namespace winorvex
