#pragma once
// Reads numbers out of a text the way the C library's formatted input does ("%ld", "%2d" and
// literal characters), straight over a view: no copy, no allocation, no locale. The time setters
// run for every chip read, and they must accept and reject exactly what that formatted input
// would, so the rules below mirror it: blanks before a number are skipped, a sign is allowed, a
// number ends at its first non-digit, a literal must be the very next character, and a zero byte
// ends the text as it would end a C string.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace winorvex {

class NumberScanner {
public:
    explicit NumberScanner(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

    // "%ld": any number of digits; a value past the 64-bit range saturates, as strtol does.
    bool ReadLong(std::int64_t& out) {
        SkipBlanks();
        bool negative = false;
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            negative = text_[pos_] == '-';
            ++pos_;
        }
        if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return false;
        constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        std::uint64_t magnitude = 0;
        bool saturated = false;
        for (; pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_) {
            const auto digit = static_cast<std::uint64_t>(text_[pos_] - '0');
            if (!saturated && magnitude > (kLimit + 1 - digit) / 10) saturated = true;
            if (!saturated) magnitude = magnitude * 10 + digit;
        }
        if (negative) {
            out = saturated || magnitude > kLimit ? std::numeric_limits<std::int64_t>::min()
                                                  : -static_cast<std::int64_t>(magnitude);
        } else {
            out = saturated || magnitude > kLimit ? std::numeric_limits<std::int64_t>::max()
                                                  : static_cast<std::int64_t>(magnitude);
        }
        return true;
    }

    // "%<width>d" with a small width (at most 9): the width counts the sign and the digits, not
    // the blanks skipped before them.
    bool ReadInt(int width, int& out) {
        SkipBlanks();
        int left = width;
        bool negative = false;
        if (left > 0 && pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
            negative = text_[pos_] == '-';
            ++pos_;
            --left;
        }
        int value = 0;
        int digits = 0;
        for (; left > 0 && pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_, --left, ++digits) {
            value = value * 10 + (text_[pos_] - '0');
        }
        if (digits == 0) return false;
        out = negative ? -value : value;
        return true;
    }

    // A literal character of the pattern; `alsoAccepted` stands for a character the caller
    // treats as the same one (the ':' that the seconds-and-hundredths text may carry for '.').
    bool Expect(char literal, char alsoAccepted = '\0') {
        if (pos_ >= text_.size()) return false;
        const char c = text_[pos_];
        if (c != literal && (alsoAccepted == '\0' || c != alsoAccepted)) return false;
        ++pos_;
        return true;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace winorvex
