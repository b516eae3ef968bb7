#pragma once
// Local calendar helpers. "Today" can be pinned (the feed tool's --today, tests) so that race-day
// logic is testable; the clock time of day always comes from the system.
#include <ctime>
#include <optional>
#include <string>

namespace winorvex {

// Pins "today" to a local date (yyyymmdd as 20240310), or releases it with std::nullopt.
void SetTodayOverride(std::optional<int> yyyymmdd);
std::optional<int> TodayOverride();

// Local broken-down time of "now" (date replaced by the pinned date when there is one).
std::tm LocalNow();

std::string TodayText();            // "%4d%02d%02d"
std::string DateInDaysText(int n);  // local date of now + n x 86400 s, "%d%02d%02d"
std::string NowTimeText();          // "%02d%02d%02d"
std::string NowLongText();          // "%d %B %Y - %H:%M:%S" in the time locale

// Makes %B in NowLongText follow the French or English month names of the current language
// (the time locale of the station, set at start-up).
void SetTimeLocaleFromLanguage();

}  // namespace winorvex
