#pragma once
// The text framing shared by the reader's replies and the host's command frames:
// "ab" + address + length + command + data + checksum, and the tag-read line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace winorvex::sim {

// Sum of the character codes after the two-character prefix, modulo 256.
uint8_t FrameChecksum(std::string_view line_without_checksum);

// Writes `value` as `digits` lowercase hexadecimal digits into `out`.
void PutHex(char* out, uint32_t value, int digits);
void PutDecimal2(char* out, int value);

// Appends "ab00" + length + command + data + checksum + CR LF to `out`. `data_hex` holds the data
// bytes as hexadecimal text; the length field counts its bytes.
void AppendReply(std::string& out, uint8_t command, std::string_view data_hex);

// Appends a frame text (without checksum) followed by its checksum and CR LF.
void AppendWithChecksum(std::string& out, std::string_view frame_without_checksum);

struct CommandFrame {
    uint8_t length = 0;  // as written in the frame: "ff" for the log-info request
    uint8_t command = 0;
    std::string_view data_hex;  // view into the parsed line
};

// Parses one received line (CR, LF and blanks around it ignored). False with a reason when the
// line is no well-formed frame or its checksum is wrong.
bool ParseCommandFrame(std::string_view line, CommandFrame* frame, std::string* reason);

// A chip identifier as carried by a tag read: exactly twelve characters.
using ChipId = std::array<char, 12>;

// The reader's date and time fields of a tag read.
struct StampText {
    std::array<char, 12> yymmddhhmmss{};
    int hundredths = 0;
};

enum class SeenMarker : uint8_t { kNone, kFirstSeen, kLastSeen };

// Longest tag-read line: 36 characters, a seen marker and CR LF.
inline constexpr std::size_t kMaxTagLine = 40;

// Formats one tag-read line with its line end into `out` and returns its length. The free
// reader fields carry the low 24 bits of `seq` (positions 2-3 the high byte, 16-19 the rest),
// so every line of a run can be told apart and matched with the latency log.
std::size_t FormatTagRead(char* out, const ChipId& chip, uint64_t seq, const StampText& stamp, SeenMarker marker);

// Reads the sequence back out of a tag-read line (for tests and tools); -1 when malformed.
int64_t TagReadSequence(std::string_view line);

}  // namespace winorvex::sim
