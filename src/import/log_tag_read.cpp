#include "import/log_tag_read.h"

#include <cstdio>
#include <cstring>

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

std::uint32_t Number(std::string_view digits);

// The calendar conversion rolls 30 February over into March; a reader never writes such a date.
bool IsCalendarDate(std::string_view yyyymmdd) {
    const int year = static_cast<int>(Number(yyyymmdd.substr(0, 4)));
    const int month = static_cast<int>(Number(yyyymmdd.substr(4, 2)));
    const int day = static_cast<int>(Number(yyyymmdd.substr(6, 2)));
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    return CivilFromDays(DaysFromCivil(year, month, day)).day == day;
}

std::uint32_t Number(std::string_view digits) {
    std::uint32_t value = 0;
    for (const char c : digits) value = value * 10 + static_cast<std::uint32_t>(c - '0');
    return value;
}

}  // namespace

bool DecodeLogTagRead(std::string_view line, const LogDecodeContext& context, LogTagRead& out) {
    out = LogTagRead{};
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
    if (Number(out.Date()) > context.today || !IsCalendarDate(out.Date())) return false;

    if (!out.absoluteTime.SetFromReaderStamp(out.Date(), time, hundredths)) return false;
    if (!out.dailyTime.SetFromReaderTime(time, hundredths)) {
        out.absoluteTime.Clear();
        return false;
    }

    std::memcpy(out.chip_, chip.data(), chip.size());
    out.chipLength_ = static_cast<std::uint8_t>(chip.size());
    std::memcpy(out.identifier_, chip.data(), chip.size());
    out.identifierLength_ = out.chipLength_;
    if (context.translate) {
        std::int32_t bib = -1;
        if (context.chips != nullptr && context.chips->Count() > 0 && context.chips->FindBib(chip, bib)) {
            const int length = std::snprintf(out.identifier_, sizeof out.identifier_, "%d", static_cast<int>(bib));
            out.identifierLength_ = static_cast<std::uint8_t>(length > 0 ? length : 0);
        } else {
            out.unknownChip = true;
        }
    }
    return true;
}

bool ParseMarkerLine(std::string_view line, COrvexMarker& out) {
    if (!line.starts_with(kMarkerPrefix) || line.size() < kMarkerLabelPosition) return false;
    const std::string_view date = line.substr(kMarkerDatePosition, 8);
    const std::string_view time = line.substr(kMarkerTimePosition, 6);
    if (!AllDigits(date) || !AllDigits(time) || !IsCalendarDate(date)) return false;
    out.date.assign(date);
    out.time.assign(time);
    out.label.assign(line.substr(kMarkerLabelPosition));
    return true;
}

}  // namespace winorvex
