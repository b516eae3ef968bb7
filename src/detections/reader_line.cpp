#include "detections/reader_line.h"

#include <cstring>

#include "core/escape_bytes.h"
#include "core/log.h"
#include "core/log_flood_limit.h"

namespace winorvex {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsTrimmed(char c) {
    return c == '\r' || c == '\n' || c == ' ';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
    return text;
}

int ReplyKind(std::string_view line) {
    if (line.size() <= 4) return kLineUnhandled;
    const std::string_view code = line.substr(4);
    if (code.starts_with("0902")) return kLineClockReply;
    if (code.starts_with("0001")) return kLineClockSetAck;
    if (code.starts_with("004b")) return kLineLoggingAck;
    if (code.starts_with("0c4b") || code.starts_with("0d4b")) return kLineLoggingDetail;
    if (code.starts_with("014b00")) return kLineLoggingReply;
    if (code.starts_with("034bd0")) return kLineClearingProgress;
    return kLineUnhandled;
}

}  // namespace

void ReaderChecksum(std::string_view characters, char out[2]) {
    unsigned sum = 0;
    for (const char c : characters) sum += static_cast<unsigned char>(c);
    sum &= 0xffU;
    out[0] = kHexDigits[sum >> 4];
    out[1] = kHexDigits[sum & 0x0fU];
}

bool ClassifyReaderLine(std::string_view received, ReaderLine& out, LogFloodLimit* floodLimit) {
    out = ReaderLine{};
    const std::string_view line = Trim(received);
    out.text = line;

    const bool tagRead = line.starts_with("aa");
    if (!tagRead && !line.starts_with("ab")) {
        if (LogWanted(0) && (floodLimit == nullptr || floodLimit->Admit(kLogUnknownCommand, 0))) {
            const EscapedBytes shown(line.substr(0, kLogWorkingLimit));
            LogF(0, ".. Unknown command: %.*s", shown.Length(), shown.Data());
        }
        return false;
    }
    out.fullLine = line;

    std::string_view body = line;
    int marker = kNoMarker;
    if (tagRead && body.size() >= 2) {
        const std::string_view last = body.substr(body.size() - 2);
        if (last == "FS") marker = kMarkerFS;
        if (last == "LS") marker = kMarkerLS;
        if (marker != kNoMarker) body.remove_suffix(2);
    }
    // The prefix and the two checksum characters at the very least.
    if (body.size() < 4) return false;

    const std::string_view checksum = body.substr(body.size() - 2);
    const std::string_view checked = body.substr(0, body.size() - 2);
    char expected[2];
    ReaderChecksum(checked.substr(2), expected);
    if (checksum[0] != expected[0] || checksum[1] != expected[1]) return false;

    if (LogWanted(100)) {
        const EscapedBytes shown(checked.substr(0, kLogWorkingLimit));
        Trace("Orvex", 100, "<<-<< %.*s", shown.Length(), shown.Data());
    }

    out.seenMarker = marker;
    out.kind = tagRead ? kLineTagRead : ReplyKind(checked);
    // A logging-detail reply keeps its checksum: the counters are read from the whole line.
    out.text = out.kind == kLineLoggingDetail ? body : checked;
    return true;
}

bool ClassifyReaderLine(char* line, std::size_t& length, std::string& fullLine, int& kind, int& seenMarker) {
    ReaderLine result;
    const bool ok = ClassifyReaderLine(std::string_view(line, length), result);
    fullLine.assign(result.fullLine);
    kind = result.kind;
    seenMarker = result.seenMarker;
    // The views point into `line`: copy before moving the kept part to the front.
    if (!result.text.empty()) std::memmove(line, result.text.data(), result.text.size());
    length = result.text.size();
    line[length] = '\0';
    return ok;
}

}  // namespace winorvex
