#include "import/log_tag_read.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "chips/chip_table.h"
#include "core/local_calendar.h"

namespace winorvex {

namespace {

constexpr std::size_t kChipPosition = 4;
constexpr std::size_t kChipLength = 12;
constexpr std::size_t kDatePosition = 20;
constexpr std::size_t kTimePosition = 26;
constexpr std::size_t kHundredthsPosition = 32;
constexpr std::size_t kLineLength = 34;

constexpr std::size_t kMarkerDatePosition = 6;
constexpr std::size_t kMarkerTimePosition = 14;
constexpr std::size_t kMarkerLabelPosition = 21;

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The ranges the time values accept for a reader date. A day past the month's end ("240230") is
// no reason to lose the read: like a live read it rolls over into the next month.
bool IsReaderDate(int year, int month, int day) {
    return year >= 1900 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The date the calendar makes of a reader date (at most 31 days: one month forward at most).
void RollOver(int& year, int& month, int& day) {
    const int length = DaysInMonth(year, month);
    if (day <= length) return;
    day -= length;
    if (++month > 12) {
        month = 1;
        ++year;
    }
}

void WriteDigits(char* out, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

std::uint32_t Number(std::string_view digits) {
    std::uint32_t value = 0;
    for (const char c : digits) value = value * 10 + static_cast<std::uint32_t>(c - '0');
    return value;
}

}  // namespace

bool DecodeLogTagRead(std::string_view line, LogDecodeContext& context, LogTagRead& out) {
    out.absoluteTime.Clear();
    out.dailyTime.Clear();
    out.unknownChip = false;
    out.chipLength_ = 0;
    out.identifierLength_ = 0;
    if (line.size() < kLineLength) return false;

    const std::string_view chip = line.substr(kChipPosition, kChipLength);
    const std::string_view shortDate = line.substr(kDatePosition, 6);
    const std::string_view time = line.substr(kTimePosition, 6);
    if (!AllDigits(shortDate) || !AllDigits(time)) return false;
    const int high = HexValue(line[kHundredthsPosition]);
    const int low = HexValue(line[kHundredthsPosition + 1]);
    if (high < 0 || low < 0 || high * 16 + low > 99) return false;
    const int hundredths = high * 16 + low;

    // A two-digit year below 70 is this century's.
    const bool thisCentury = shortDate.substr(0, 2) < std::string_view("70");
    out.date[0] = thisCentury ? '2' : '1';
    out.date[1] = thisCentury ? '0' : '9';
    std::memcpy(out.date + 2, shortDate.data(), 6);
    if (Number(out.Date()) > context.today) return false;

    // The fields are digits already: read them once for both times, with the checks the time
    // setters make.
    int year = static_cast<int>(Number(out.Date().substr(0, 4)));
    int month = static_cast<int>(Number(out.Date().substr(4, 2)));
    int day = static_cast<int>(Number(out.Date().substr(6, 2)));
    const int hour = static_cast<int>(Number(time.substr(0, 2)));
    const int minute = static_cast<int>(Number(time.substr(2, 2)));
    const int second = static_cast<int>(Number(time.substr(4, 2)));
    if (!IsReaderDate(year, month, day) || hour > 23 || minute > 59 || second > 59) return false;
    if (day > DaysInMonth(year, month)) {
        // The day's count and summary go by the date the read is recorded at.
        RollOver(year, month, day);
        WriteDigits(out.date, year, 4);
        WriteDigits(out.date + 4, month, 2);
        WriteDigits(out.date + 6, day, 2);
        if (Number(out.Date()) > context.today) return false;
    }
    std::int64_t instant = 0;
    if (!LocalWallClockToInstant(year, month, day, hour, minute, second, instant)) return false;
    if (instant < std::numeric_limits<std::int32_t>::min() || instant > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    const auto ms = static_cast<std::uint16_t>(hundredths * 10);
    out.absoluteTime = CChrono(static_cast<std::int32_t>(instant), ms);
    out.dailyTime = CChrono(hour * 3600 + minute * 60 + second, ms);

    std::memcpy(out.chip_, chip.data(), chip.size());
    out.chipLength_ = static_cast<std::uint8_t>(chip.size());
    std::memcpy(out.identifier_, chip.data(), chip.size());
    out.identifierLength_ = out.chipLength_;
    if (!context.translate) return true;

    if (!context.lastChipValid || context.lastTable != context.chips ||
        std::memcmp(context.lastChip, chip.data(), sizeof context.lastChip) != 0) {
        std::int32_t bib = -1;
        context.lastChipFound =
            context.chips != nullptr && context.chips->Count() > 0 && context.chips->FindBib(chip, bib);
        context.lastBib = bib;
        std::memcpy(context.lastChip, chip.data(), sizeof context.lastChip);
        context.lastTable = context.chips;
        context.lastChipValid = true;
    }
    if (context.lastChipFound) {
        const auto written = std::to_chars(out.identifier_, out.identifier_ + sizeof out.identifier_, context.lastBib);
        out.identifierLength_ = static_cast<std::uint8_t>(written.ptr - out.identifier_);
    } else {
        out.unknownChip = true;
    }
    return true;
}

bool ParseMarkerLine(std::string_view line, COrvexMarker& out) {
    if (!line.starts_with(kMarkerPrefix) || line.size() < kMarkerLabelPosition) return false;
    const std::string_view date = line.substr(kMarkerDatePosition, 8);
    const std::string_view time = line.substr(kMarkerTimePosition, 6);
    if (!AllDigits(date) || !AllDigits(time)) return false;
    if (!IsReaderDate(static_cast<int>(Number(date.substr(0, 4))), static_cast<int>(Number(date.substr(4, 2))),
                      static_cast<int>(Number(date.substr(6, 2))))) {
        return false;
    }
    out.date.assign(date);
    out.time.assign(time);
    out.label.assign(line.substr(kMarkerLabelPosition));
    return true;
}

}  // namespace winorvex
