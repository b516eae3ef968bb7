// Text forms of time values. Daily forms print hours unreduced (26:05:00.30 on the second race
// day); absolute forms print the local date or clock of the instant.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "core/chrono.h"
#include "core/text_format.h"

namespace winorvex {

namespace {

// French whatever the interface language: these texts are also read back by the results program.
constexpr const char* kDayAbbreviations[7] = {"Dim", "Lun", "Mar", "Mer", "Jeu", "Ven", "Sam"};
constexpr const char* kMonthNames[12] = {"Janvier", "Février", "Mars",      "Avril",   "Mai",      "Juin",
                                         "Juillet", "Août",    "Septembre", "Octobre", "Novembre", "Décembre"};

// Hours, minutes and seconds with C division: a negative difference prints its parts negative,
// and reads back to the same value.
struct ClockParts {
    long hours;
    long minutes;
    long seconds;
};

ClockParts Split(std::int32_t total) {
    const long t = total;
    return {t / 3600, (t % 3600) / 60, t % 60};
}

// A chip read at 10:00:00.01 must never print as 10:00:00 in the whole-second forms.
ClockParts RoundedUp(const CChrono& value) {
    ClockParts parts = Split(value.Seconds());
    if (value.Milliseconds() != 0) ++parts.seconds;
    if (parts.seconds == 60) {
        parts.seconds = 0;
        if (++parts.minutes == 60) {
            parts.minutes = 0;
            ++parts.hours;
        }
    }
    return parts;
}

std::tm LocalTm(std::int32_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) tm = std::tm{};
    return tm;
}

// printf's "%02ld" without printf: at least two characters, a minus sign counting as one.
char* PutAtLeastTwo(char* out, long value) {
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        *out++ = '-';
    } else if (count < 2) {
        *out++ = '0';
    }
    while (count > 0) *out++ = digits[--count];
    return out;
}

}  // namespace

std::string CChrono::FormatDateLong() const {
    const std::tm tm = LocalTm(seconds_);
    return Format("%s %02d %s %4d", kDayAbbreviations[tm.tm_wday % 7], tm.tm_mday, kMonthNames[tm.tm_mon % 12],
                  tm.tm_year + 1900);
}

std::string CChrono::FormatDateShort() const {
    const std::tm tm = LocalTm(seconds_);
    return Format("%02d/%02d/%2d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
}

std::string CChrono::FormatAbsClockHundredths() const {
    if (!IsSet()) return "00:00:00.00";
    const std::tm tm = LocalTm(seconds_);
    return Format("%02d:%02d:%02d.%02d", tm.tm_hour, tm.tm_min, tm.tm_sec, Hundredths());
}

std::string CChrono::FormatAbsClock() const {
    if (!IsSet()) return "00:00:00";
    const std::tm tm = LocalTm(seconds_);
    return Format("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::size_t CChrono::FormatDailyHundredthsTo(char* buffer, std::size_t capacity) const {
    if (capacity == 0) return 0;
    // Longest text: "-596523:-59:-59.6553".
    char text[32];
    const ClockParts parts = Split(seconds_);
    char* end = PutAtLeastTwo(text, parts.hours);
    *end++ = ':';
    end = PutAtLeastTwo(end, parts.minutes);
    *end++ = ':';
    end = PutAtLeastTwo(end, parts.seconds);
    *end++ = '.';
    end = PutAtLeastTwo(end, Hundredths());
    const std::size_t length = std::min(static_cast<std::size_t>(end - text), capacity - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return length;
}

std::string CChrono::FormatDailyHundredths() const {
    char text[32];
    const std::size_t length = FormatDailyHundredthsTo(text, sizeof text);
    return std::string(text, length);
}

std::string CChrono::FormatDailyRoundedUp() const {
    const ClockParts parts = RoundedUp(*this);
    return Format("%02ld:%02ld:%02ld", parts.hours, parts.minutes, parts.seconds);
}

std::string CChrono::FormatDailyWithDays() const {
    const ClockParts parts = RoundedUp(*this);
    if (parts.hours >= 24) {
        return Format("+%ldh %02ld:%02ld:%02ld", (parts.hours / 24) * 24, parts.hours % 24, parts.minutes,
                      parts.seconds);
    }
    return Format("%02ld:%02ld:%02ld", parts.hours, parts.minutes, parts.seconds);
}

std::string CChrono::FormatDailyCompact() const {
    std::string text = FormatDailyRoundedUp();
    std::erase(text, ':');
    const std::size_t firstKept = text.find_first_not_of('0');
    text.erase(0, firstKept == std::string::npos ? text.size() : firstKept);
    return text;
}

std::string CChrono::FormatDailyTruncated() const {
    const ClockParts parts = Split(seconds_);
    return Format("%02ld:%02ld:%02ld", parts.hours, parts.minutes, parts.seconds);
}

}  // namespace winorvex
