#include "results_link/windows1252.h"

#include <array>
#include <cstdint>

#include "core/log.h"
#include "core/texts.h"

namespace winorvex {
namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the undefined ones.
constexpr std::array<std::uint16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reads one UTF-8 sequence at text[pos]; returns its code point and moves pos past it, or
// returns UINT32_MAX and moves one byte for a malformed start.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    int extra = 0;
    std::uint32_t cp = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++pos;
        return UINT32_MAX;
    }
    if (pos + static_cast<std::size_t>(extra) >= text.size()) {
        ++pos;
        return UINT32_MAX;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto c = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return UINT32_MAX;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

}  // namespace

void AppendWindows1252AsUtf8(std::string& out, std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else if (byte < 0xA0) {
            const std::uint16_t cp = kHighControls[byte - 0x80];
            AppendCodePoint(out, cp != 0 ? cp : 0xFFFD);
        } else {
            AppendCodePoint(out, byte);
        }
    }
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    AppendWindows1252AsUtf8(out, text);
    return out;
}

bool AppendUtf8AsWindows1252(std::string& out, std::string_view text, char replacement) {
    bool complete = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::uint32_t cp = NextCodePoint(text, pos);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = 0;
        for (std::size_t i = 0; i < kHighControls.size(); ++i) {
            if (kHighControls[i] != 0 && kHighControls[i] == cp) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        if (mapped == 0) {
            mapped = replacement;
            complete = false;
        }
        out += mapped;
    }
    return complete;
}

std::string Utf8ToWindows1252(std::string_view text, char replacement) {
    std::string out;
    out.reserve(text.size());
    AppendUtf8AsWindows1252(out, text, replacement);
    return out;
}

void Windows1252Encoder::Append(std::string& out, std::string_view utf8) {
    if (AppendUtf8AsWindows1252(out, utf8)) return;
    if (reported_.exchange(true)) return;
    LogF(0,
         Tr("## Texte non transmissible tel quel à KtORVEX (caractères remplacés par ?) : %.*s",
            "## Text KtORVEX cannot receive as it is (characters replaced by ?): %.*s"),
         static_cast<int>(utf8.size()), utf8.data());
}

}  // namespace winorvex
