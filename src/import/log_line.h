#pragma once
// Recognition of one line of a reader's own log file. The framing and checksum rules are those of
// the live link, but a log is read after the fact: nothing is logged here (a log holds far more
// noise than a live link, and the import reports it in its own list), and the replies that matter
// live are of no interest, so the reply kinds differ.
#include <string_view>

namespace winorvex {

enum LogLineKind : int {
    kLogLineUnhandled = -1,    // an "ab" reply we do not handle
    kLogLineTagRead = 0,       // "aa": a chip read
    kLogLineClockSetAck = 1,   // "0001"
    kLogLineClockReply = 2,    // "0902"
    kLogLineLoggingAck = 3,    // "004b"
    kLogLineLoggingReply = 5,  // "014b00"
    kLogLineStatsReply = 6,    // "0f0a"
};

struct LogLine {
    // The trimmed line without checksum and seen marker; on failure the trimmed line.
    std::string_view text;
    // The trimmed line, checksum and marker included (empty on failure).
    std::string_view fullLine;
    int kind = kLogLineUnhandled;
    int seenMarker = 0;  // 0 none, 1 "FS", 2 "LS"
};

// Trims carriage returns, line feeds and spaces at both ends, then checks the "aa"/"ab" prefix and
// the checksum. A line of three characters or fewer is no reader line. False when the line is no
// reader line; `out.text` then holds the trimmed line. The views point into `received`.
bool ClassifyLogLine(std::string_view received, LogLine& out);

// The line with carriage returns, line feeds and spaces trimmed at both ends.
std::string_view TrimLogLine(std::string_view received);

}  // namespace winorvex
