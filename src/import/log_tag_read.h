#pragma once
// Decoding of a tag read found in a reader's log, and of its marker lines. Unlike a live read, a
// logged one may be years old: the century comes from the year itself, no race-day offset applies
// (the import's day correction does that), a date after today cannot be genuine, and an unknown
// chip is kept and flagged rather than refused, for the search to decide.
#include <cstdint>
#include <string_view>

#include "core/chrono.h"
#include "import/detection.h"

namespace winorvex {

class ChipTable;

struct LogDecodeContext {
    std::uint32_t today = 0;           // yyyymmdd: later reader dates are refused
    bool translate = false;            // GOrvexSendNumbers
    const ChipTable* chips = nullptr;  // null or empty: every chip is unknown when translating

    // The last chip looked up and its outcome: a reader logs a chip several times in a row while
    // it crosses the field. Kept for the table it was looked up in.
    char lastChip[12] = {};
    const ChipTable* lastTable = nullptr;
    bool lastChipValid = false;
    bool lastChipFound = false;
    std::int32_t lastBib = 0;
};

struct LogTagRead {
    CChrono absoluteTime;
    CChrono dailyTime;
    char date[8] = {};         // yyyymmdd, the reader's date with its century, rolled over (20240230: 20240301)
    bool unknownChip = false;  // translating and the chip is not in the table

    std::string_view Date() const { return {date, sizeof date}; }
    std::string_view Identifier() const { return {identifier_, identifierLength_}; }
    std::string_view Chip() const { return {chip_, chipLength_}; }

private:
    friend bool DecodeLogTagRead(std::string_view, LogDecodeContext&, LogTagRead&);
    char identifier_[16] = {};
    char chip_[16] = {};
    std::uint8_t identifierLength_ = 0;
    std::uint8_t chipLength_ = 0;
};

// An "aa" line without checksum and seen marker. False when the line is too short, a field is
// not made of digits (hundredths: two hexadecimal digits worth 0..99), the date or time is out of
// the time values' ranges (a day up to 31 rolls over into the next month, as a live read's does)
// or no local calendar time, or the date is after `context.today`. `out.Date()` is filled once
// the fields were read, even when the date is then refused.
bool DecodeLogTagRead(std::string_view line, LogDecodeContext& context, LogTagRead& out);

// A "KMark-" line: positions 0-5 "KMark-", 6-13 date yyyymmdd, 14-19 time hhmmss, 20 separator,
// 21 on the label. False when the line is too short for its fields or the date or time is not
// made of digits or the date is out of range (a day up to 31 is taken, rolled over where it is
// used); nothing past the line's end is read.
bool ParseMarkerLine(std::string_view line, COrvexMarker& out);
inline constexpr std::string_view kMarkerPrefix = "KMark-";

}  // namespace winorvex
