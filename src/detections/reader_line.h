#pragma once
// Recognition of one line received from a reader: framing, checksum, seen marker and kind.
// Works on views into the caller's buffer, so a line costs no allocation whatever its length
// or content (binary bytes and NULs included).
#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace winorvex {

class LogFloodLimit;

// The kinds of log lines about refused reader input, each bounded on its own by a box's
// LogFloodLimit.
enum RefusedInputLog : int {
    kLogUnknownCommand = 0,    // ".. Unknown command: %s"
    kLogInvalidInput = 1,      // "+ %s : Invalid input: %s"
    kLogInvalidDetection = 2,  // a tag read that could not be decoded or was refused
    kLogUnhandledReply = 3,    // "+ %s : Command unknown or not processed: %s"
};

// Kinds of reader lines. Tag reads start with "aa"; every other kind is a reply starting with "ab".
enum ReaderLineKind : int {
    kLineUnhandled = -1,       // an "ab" reply we do not handle
    kLineTagRead = 0,          // "aa": a chip read
    kLineClockSetAck = 1,      // "0001"
    kLineClockReply = 2,       // "0902"
    kLineLoggingAck = 3,       // "004b"
    kLineLoggingDetail = 4,    // "0c4b" / "0d4b"
    kLineLoggingReply = 5,     // "014b00"
    kLineClearingProgress = 7  // "034bd0"
};

enum SeenMarker : int { kNoMarker = 0, kMarkerFS = 1, kMarkerLS = 2 };

struct ReaderLine {
    // The line with carriage returns, line feeds and spaces trimmed at both ends, without its
    // checksum and seen marker (a logging-detail reply keeps its checksum: its counters reach it).
    std::string_view text;
    // The trimmed line as received, checksum and marker included.
    std::string_view fullLine;
    int kind = kLineUnhandled;
    int seenMarker = kNoMarker;
};

// Trims the received bytes, checks the "aa"/"ab" prefix and the checksum, and sets the kind.
// A line that starts with neither prefix is logged (".. Unknown command: %s", level 0, the bytes
// escaped, within the box's flood limit when one is given); a line too
// short to hold its prefix and checksum, or with a wrong checksum, fails silently. The views in
// `out` point into `received`, which must outlive them. On failure `out.text` still holds the
// trimmed line (for the caller's own message); `out.fullLine` is empty when the prefix was wrong.
bool ClassifyReaderLine(std::string_view received, ReaderLine& out, LogFloodLimit* floodLimit = nullptr);
// The views would dangle once a temporary string is gone.
template <class Text>
requires std::same_as<std::remove_cvref_t<Text>, std::string> &&
    (!std::is_lvalue_reference_v<Text>)bool ClassifyReaderLine(Text&& received, ReaderLine& out,
                                                               LogFloodLimit* floodLimit = nullptr) = delete;

// The same on a zero-terminated buffer changed in place: the trimmed line without checksum and
// marker is moved to the start of `line` and zero-terminated, `length` updated, `fullLine`
// assigned (reuse one string across lines to avoid allocating).
bool ClassifyReaderLine(char* line, std::size_t& length, std::string& fullLine, int& kind, int& seenMarker);

// Two lowercase hexadecimal digits of the sum of the characters, modulo 256 (the reader checksum).
void ReaderChecksum(std::string_view characters, char out[2]);

}  // namespace winorvex
