#include "app/marker_label.h"

#include <cstdint>

#include "core/text_format.h"

namespace winorvex {

namespace {

struct Replacement {
    char32_t from;
    char to;
};

// The reader's own replacement table (Latin-1 code points, as Windows-1252 has them).
constexpr Replacement kAccents[] = {
    {U'â', 'a'}, {U'à', 'a'}, {U'ä', 'a'}, {U'Â', 'A'}, {U'Ä', 'A'}, {U'é', 'e'}, {U'ê', 'e'}, {U'è', 'e'}, {U'ë', 'e'},
    {U'Ê', 'E'}, {U'Ë', 'E'}, {U'î', 'i'}, {U'ï', 'i'}, {U'Î', 'I'}, {U'Ï', 'I'}, {U'ô', 'o'}, {U'ö', 'o'}, {U'Ô', 'O'},
    {U'Ö', 'O'}, {U'û', 'u'}, {U'ù', 'u'}, {U'ü', 'u'}, {U'Û', 'U'}, {U'Ü', 'U'}, {U'ÿ', 'y'}, {U'ç', 'c'}, {U'Ç', 'C'},
};

// Decodes one UTF-8 sequence at `at`; advances `at`. False (one byte skipped) for an invalid
// sequence, which the caller drops like any character it cannot send.
bool NextCodePoint(std::string_view text, std::size_t& at, char32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        ++at;
        return true;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        ++at;
        return false;
    }
    if (at + length > text.size()) {
        ++at;
        return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return false;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    at += length;
    return true;
}

void TrimBlanks(std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(0, first);
    text.erase(text.find_last_not_of(' ') + 1);
}

}  // namespace

std::string CleanMarkerLabel(std::string_view label) {
    std::string clean;
    clean.reserve(label.size());
    for (std::size_t at = 0; at < label.size();) {
        char32_t code = 0;
        if (!NextCodePoint(label, at, code)) continue;
        if (code < 0x80) {
            // Control characters (and DEL) never reach the reader; nor do the path separators.
            if (code < 0x20 || code == 0x7F || code == '\\' || code == '/') continue;
            clean.push_back(static_cast<char>(code));
            continue;
        }
        for (const Replacement& r : kAccents) {
            if (r.from == code) {
                clean.push_back(r.to);
                break;
            }
        }
    }
    // After the removals: "  a/ " must not keep the blank that stood before the slash.
    TrimBlanks(clean);
    if (clean.size() > kMaxMarkerLabelLength) {
        clean.resize(kMaxMarkerLabelLength);
        TrimBlanks(clean);
    }
    return clean;
}

std::string BuildMarkerText(std::string_view cleanLabel, const std::tm& local) {
    return Format("KMark-%04d%02d%02d%02d%02d%02d:%.*s", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(cleanLabel.size()), cleanLabel.data());
}

}  // namespace winorvex
