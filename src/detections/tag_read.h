#pragma once
// Decoding of one tag-read line (an "aa" line without checksum and seen marker) into the chip or
// bib identifier, the reader's absolute time and the race's daily time.
//
// Layout, positions from 0: "aa", 2 reader characters, 12 chip characters, 4 reader characters,
// date YYMMDD, time HHMMSS, hundredths as 2 hexadecimal digits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/chrono.h"

namespace winorvex {

inline constexpr std::size_t kTagChipPosition = 4;
inline constexpr std::size_t kTagChipLength = 12;
inline constexpr std::size_t kTagDatePosition = 20;
inline constexpr std::size_t kTagTimePosition = 26;
inline constexpr std::size_t kTagHundredthsPosition = 32;
inline constexpr std::size_t kTagLineLength = 34;  // without checksum and marker

// Reuse one object across lines: the texts live in fixed buffers and `error` keeps its capacity,
// so decoding allocates nothing once warmed up.
struct DecodedRead {
    static constexpr std::size_t kIdentifierCapacity = 16;

    CChrono absoluteTime;     // reader date and time as a local calendar instant, with hundredths
    CChrono dailyTime;        // reader time of day + 24 h per race day after the first
    int raceDayIndex = -1;    // 0..3, or -1 when the reader date is none of the race days
    bool translated = false;  // the identifier is the bib of the chip
    std::int32_t bib = -1;    // valid when translated
    std::string error;        // reason of a failure; may stay empty (chip table empty)

    std::string_view Identifier() const { return {identifier_, identifierLength_}; }
    std::string_view Chip() const { return {chip_, chipLength_}; }
    void SetChip(std::string_view chip);
    void SetIdentifier(std::string_view identifier);
    void Reset();

private:
    char identifier_[kIdentifierCapacity] = {};
    char chip_[kIdentifierCapacity] = {};
    std::uint8_t identifierLength_ = 0;
    std::uint8_t chipLength_ = 0;
};

// Decodes a tag-read line. On failure `out.error` says why, in the operator's language, or is
// empty when chips are to be translated and the chip table is empty. A reader date that is none
// of the race days is logged as a caution (level 0) and the read is kept with no day offset.
bool DecodeTagRead(std::string_view line, DecodedRead& out);

}  // namespace winorvex
