#pragma once
// Bytes from outside (a reader's line) made safe to show in the log and on a terminal: valid UTF-8
// stays as it is, every control byte, a backslash and every byte of an invalid UTF-8 sequence
// become "\xNN". Carriage returns and line feeds are left for the log's own "<CR>" / "<LF>" form.
// A NUL byte is escaped like any other control byte, so it no longer ends what is shown.
#include <cstddef>
#include <string>
#include <string_view>

namespace winorvex {

// Longest escaped form of one input byte.
inline constexpr std::size_t kEscapedByteLength = 4;

// Writes the escaped bytes into out (capacity bytes, zero-terminated when capacity > 0) and
// returns the length written. A text that does not fit is cut between two escaped characters,
// never inside one.
std::size_t EscapeBytesTo(std::string_view bytes, char* out, std::size_t capacity);
std::string EscapeBytes(std::string_view bytes);

// Escapes into its own buffer (no allocation), long enough for the longest log line.
class EscapedBytes {
public:
    explicit EscapedBytes(std::string_view bytes) : length_(EscapeBytesTo(bytes, text_, sizeof text_)) {}
    std::string_view View() const { return {text_, length_}; }
    const char* Data() const { return text_; }
    int Length() const { return static_cast<int>(length_); }

private:
    char text_[1024];
    std::size_t length_;
};

}  // namespace winorvex
