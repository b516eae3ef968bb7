#include "app/marker_label.h"

#include <cstdint>

#include "core/text_format.h"

namespace winorvex {

namespace {

// Base letters of the Latin letters with a diacritic, from U+00C0 and from U+0100 on: an operator
// writing "Étape À" or "Łódź" means the letters, not their removal. '*' marks the few letters
// written with two ("Æ", "ß", "Œ", "Ĳ"), '-' the signs of the block that are no letter.
constexpr std::string_view kLatin1Letters = "AAAAAA*CEEEEIIIIDNOOOOO-OUUUUY-*aaaaaa*ceeeeiiiidnooooo-ouuuuy-y";
constexpr std::string_view kLatinExtendedA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnNnnNnOoOo"
    "Oo**RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

struct Ligature {
    char32_t code;
    std::string_view letters;
};
constexpr Ligature kLigatures[] = {{U'Æ', "AE"}, {U'æ', "ae"}, {U'ß', "ss"}, {U'Œ', "OE"},
                                   {U'œ', "oe"}, {U'Ĳ', "IJ"}, {U'ĳ', "ij"}};

// The letters a code point stands for in plain ASCII; empty for a character the reader cannot
// store. Decomposed accents (a letter, then U+0301) need nothing: the letter is ASCII already and
// the combining mark is dropped.
std::string_view AsciiLetters(char32_t code) {
    for (const Ligature& l : kLigatures) {
        if (l.code == code) return l.letters;
    }
    std::string_view table;
    std::size_t index = 0;
    if (code >= 0xC0 && code < 0xC0 + kLatin1Letters.size()) {
        table = kLatin1Letters;
        index = code - 0xC0;
    } else if (code >= 0x100 && code < 0x100 + kLatinExtendedA.size()) {
        table = kLatinExtendedA;
        index = code - 0x100;
    } else {
        return {};
    }
    const char letter = table[index];
    if (letter == '-' || letter == '*') return {};
    return table.substr(index, 1);
}

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
        clean += AsciiLetters(code);
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
