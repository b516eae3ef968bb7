#include "core/escape_bytes.h"

#include <cstring>

namespace winorvex {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Length of the valid UTF-8 sequence starting at bytes[at], or 0 when it is not one (overlong
// forms, surrogates and code points past U+10FFFF included).
std::size_t ValidSequence(std::string_view bytes, std::size_t at) {
    const auto b0 = static_cast<unsigned char>(bytes[at]);
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) return 0;
    const auto b1 = static_cast<unsigned char>(bytes[at + 1]);
    if (b1 < low || b1 > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[at + i]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return length;
}

bool NeedsEscape(unsigned char c) {
    if (c == '\r' || c == '\n') return false;
    return c < 0x20 || c == 0x7F || c == '\\';
}

}  // namespace

std::size_t EscapeBytesTo(std::string_view bytes, char* out, std::size_t capacity) {
    if (capacity == 0) return 0;
    const std::size_t limit = capacity - 1;
    std::size_t size = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        if (c < 0x80 && !NeedsEscape(c)) {
            if (size + 1 > limit) break;
            out[size++] = static_cast<char>(c);
            ++at;
            continue;
        }
        const std::size_t sequence = c >= 0x80 ? ValidSequence(bytes, at) : 0;
        if (sequence > 0) {
            if (size + sequence > limit) break;
            std::memcpy(out + size, bytes.data() + at, sequence);
            size += sequence;
            at += sequence;
            continue;
        }
        if (size + kEscapedByteLength > limit) break;
        out[size++] = '\\';
        out[size++] = 'x';
        out[size++] = kHex[c >> 4];
        out[size++] = kHex[c & 0x0F];
        ++at;
    }
    out[size] = '\0';
    return size;
}

std::string EscapeBytes(std::string_view bytes) {
    std::string out(bytes.size() * kEscapedByteLength + 1, '\0');
    out.resize(EscapeBytesTo(bytes, out.data(), out.size()));
    return out;
}

}  // namespace winorvex
