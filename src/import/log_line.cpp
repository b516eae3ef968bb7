#include "import/log_line.h"

#include "detections/reader_line.h"

namespace winorvex {

namespace {

bool IsTrimmed(char c) {
    return c == '\r' || c == '\n' || c == ' ';
}

int ReplyKind(std::string_view line) {
    if (line.size() <= 4) return kLogLineUnhandled;
    const std::string_view code = line.substr(4);
    if (code.starts_with("0902")) return kLogLineClockReply;
    if (code.starts_with("0001")) return kLogLineClockSetAck;
    if (code.starts_with("004b")) return kLogLineLoggingAck;
    if (code.starts_with("014b00")) return kLogLineLoggingReply;
    if (code.starts_with("0f0a")) return kLogLineStatsReply;
    return kLogLineUnhandled;
}

}  // namespace

std::string_view TrimLogLine(std::string_view text) {
    while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
    return text;
}

bool ClassifyLogLine(std::string_view received, LogLine& out) {
    out = LogLine{};
    const std::string_view line = TrimLogLine(received);
    out.text = line;
    if (line.size() <= 3) return false;

    const bool tagRead = line.starts_with("aa");
    if (!tagRead && !line.starts_with("ab")) return false;

    std::string_view body = line;
    int marker = 0;
    if (tagRead) {
        const std::string_view last = body.substr(body.size() - 2);
        if (last == "FS") marker = 1;
        if (last == "LS") marker = 2;
        if (marker != 0) body.remove_suffix(2);
    }
    // The prefix and the two checksum characters at the very least.
    if (body.size() < 4) return false;

    const std::string_view checksum = body.substr(body.size() - 2);
    const std::string_view checked = body.substr(0, body.size() - 2);
    char expected[2];
    ReaderChecksum(checked.substr(2), expected);
    if (checksum[0] != expected[0] || checksum[1] != expected[1]) return false;

    out.fullLine = line;
    out.text = checked;
    out.seenMarker = marker;
    out.kind = tagRead ? kLogLineTagRead : ReplyKind(checked);
    return true;
}

}  // namespace winorvex
