#include "core/local_time.h"

#include <atomic>
#include <cstdint>

#include "core/local_calendar.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

// 0: "today" is the system's date; otherwise the pinned date as yyyymmdd.
std::atomic<int> g_pinnedToday{0};

// Month names as a French or English time locale prints %B; built here so that the station does
// not depend on which locales the system has installed.
constexpr const char* kFrenchMonths[12] = {"janvier", "février", "mars",      "avril",   "mai",      "juin",
                                           "juillet", "août",    "septembre", "octobre", "novembre", "décembre"};
constexpr const char* kEnglishMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};

std::tm SystemLocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

std::int64_t DaysOf(const std::tm& tm) {
    return DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

}  // namespace

void SetTodayOverride(std::optional<int> yyyymmdd) {
    if (!yyyymmdd) {
        g_pinnedToday.store(0, std::memory_order_relaxed);
        return;
    }
    const int year = *yyyymmdd / 10000;
    const int month = *yyyymmdd / 100 % 100;
    const int day = *yyyymmdd % 100;
    // Something that is no date at all releases the pin rather than pinning nonsense; a day past
    // the month's end counts on into the next month.
    if (*yyyymmdd <= 0 || month < 1 || month > 12 || day < 1 || day > 31) {
        g_pinnedToday.store(0, std::memory_order_relaxed);
        return;
    }
    const CivilDate date = CivilFromDays(DaysFromCivil(year, month, day));
    g_pinnedToday.store(date.year * 10000 + date.month * 100 + date.day, std::memory_order_relaxed);
}

std::optional<int> TodayOverride() {
    const int pinned = g_pinnedToday.load(std::memory_order_relaxed);
    if (pinned == 0) return std::nullopt;
    return pinned;
}

std::tm LocalNow() {
    std::tm tm = SystemLocalNow();
    const int pinned = g_pinnedToday.load(std::memory_order_relaxed);
    if (pinned != 0) {
        const int year = pinned / 10000;
        const std::int64_t days = DaysFromCivil(year, pinned / 100 % 100, pinned % 100);
        tm.tm_year = year - 1900;
        tm.tm_mon = pinned / 100 % 100 - 1;
        tm.tm_mday = pinned % 100;
        tm.tm_wday = WeekdayFromDays(days);
        tm.tm_yday = static_cast<int>(days - DaysFromCivil(year, 1, 1));
    }
    return tm;
}

std::string TodayText() {
    const std::tm now = LocalNow();
    return Format("%4d%02d%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
}

std::string DateInDaysText(int n) {
    // Counted in calendar days: adding n x 24 h to the current instant would skip or repeat a date
    // when a daylight-saving change lies between now and that day and now is close to midnight.
    const CivilDate date = CivilFromDays(DaysOf(LocalNow()) + n);
    return Format("%d%02d%02d", date.year, date.month, date.day);
}

std::string NowTimeText() {
    const std::tm now = SystemLocalNow();
    return Format("%02d%02d%02d", now.tm_hour, now.tm_min, now.tm_sec);
}

std::string NowLongText() {
    const std::tm now = LocalNow();
    const auto& months = CurrentLanguage() == Language::English ? kEnglishMonths : kFrenchMonths;
    // strftime's %d: the day of the month on two digits.
    return Format("%02d %s %d - %02d:%02d:%02d", now.tm_mday, months[now.tm_mon % 12], now.tm_year + 1900, now.tm_hour,
                  now.tm_min, now.tm_sec);
}

void SetTimeLocaleFromLanguage() {
    // The month names of NowLongText follow CurrentLanguage() at each call, so there is no process
    // locale to switch; start-up still calls this at the moment it fixes the station's language.
}

}  // namespace winorvex
