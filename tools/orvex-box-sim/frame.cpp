#include "frame.h"

#include <cstring>

namespace winorvex::sim {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadHexByte(std::string_view text, uint8_t* value) {
    const int hi = HexValue(text[0]);
    const int lo = HexValue(text[1]);
    if (hi < 0 || lo < 0) return false;
    *value = static_cast<uint8_t>(hi * 16 + lo);
    return true;
}

bool IsBlank(char c) {
    return c == '\r' || c == '\n' || c == ' ';
}

}  // namespace

uint8_t FrameChecksum(std::string_view line) {
    unsigned sum = 0;
    for (std::size_t i = 2; i < line.size(); ++i) sum += static_cast<unsigned char>(line[i]);
    return static_cast<uint8_t>(sum & 0xffu);
}

void PutHex(char* out, uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kHexDigits[value & 0xfu];
        value >>= 4;
    }
}

void PutDecimal2(char* out, int value) {
    out[0] = static_cast<char>('0' + (value / 10) % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

void AppendWithChecksum(std::string& out, std::string_view frame) {
    out.append(frame);
    char tail[4];
    PutHex(tail, FrameChecksum(frame), 2);
    tail[2] = '\r';
    tail[3] = '\n';
    out.append(tail, sizeof tail);
}

void AppendReply(std::string& out, uint8_t command, std::string_view data_hex) {
    char head[8] = {'a', 'b', '0', '0'};
    PutHex(head + 4, static_cast<uint32_t>(data_hex.size() / 2), 2);
    PutHex(head + 6, command, 2);
    std::string frame(head, sizeof head);
    frame.append(data_hex);
    AppendWithChecksum(out, frame);
}

bool ParseCommandFrame(std::string_view line, CommandFrame* frame, std::string* reason) {
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    if (line.size() < 10 || line.substr(0, 2) != "ab") {
        *reason = "not a command frame";
        return false;
    }
    if (line.size() % 2 != 0) {
        *reason = "odd frame length";
        return false;
    }
    uint8_t address = 0;
    // The address is read only to check that it is hexadecimal: a reader answers any address.
    if (!ReadHexByte(line.substr(2), &address) || !ReadHexByte(line.substr(4), &frame->length) ||
        !ReadHexByte(line.substr(6), &frame->command)) {
        *reason = "header is not hexadecimal";
        return false;
    }
    const std::string_view body = line.substr(0, line.size() - 2);
    const std::string_view written = line.substr(line.size() - 2);
    char expected[2];
    PutHex(expected, FrameChecksum(body), 2);
    // The host prints its checksum with "%02x": an uppercase one is a wrong one.
    if (written[0] != expected[0] || written[1] != expected[1]) {
        *reason = "bad checksum";
        return false;
    }
    frame->data_hex = body.substr(8);
    for (const char c : frame->data_hex) {
        if (HexValue(c) < 0) {
            *reason = "data is not hexadecimal";
            return false;
        }
    }
    // "ab00ff4b" asks for the log information with a length field of ff and no data at all.
    const bool log_info_request = frame->length == 0xff && frame->data_hex.empty();
    if (!log_info_request && frame->data_hex.size() != 2u * frame->length) {
        *reason = "length field does not match the data";
        return false;
    }
    return true;
}

std::size_t FormatTagRead(char* out, const ChipId& chip, uint64_t seq, const StampText& stamp, SeenMarker marker) {
    out[0] = 'a';
    out[1] = 'a';
    PutHex(out + 2, static_cast<uint32_t>((seq >> 16) & 0xffu), 2);
    std::memcpy(out + 4, chip.data(), chip.size());
    PutHex(out + 16, static_cast<uint32_t>(seq & 0xffffu), 4);
    std::memcpy(out + 20, stamp.yymmddhhmmss.data(), stamp.yymmddhhmmss.size());
    PutHex(out + 32, static_cast<uint32_t>(stamp.hundredths), 2);
    PutHex(out + 34, FrameChecksum(std::string_view(out, 34)), 2);
    std::size_t len = 36;
    if (marker != SeenMarker::kNone) {
        out[len++] = marker == SeenMarker::kFirstSeen ? 'F' : 'L';
        out[len++] = 'S';
    }
    out[len++] = '\r';
    out[len++] = '\n';
    return len;
}

int64_t TagReadSequence(std::string_view line) {
    if (line.size() < 20 || line.substr(0, 2) != "aa") return -1;
    int64_t value = 0;
    for (const char c : std::string(line.substr(2, 2)) + std::string(line.substr(16, 4))) {
        const int digit = HexValue(c);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace winorvex::sim
