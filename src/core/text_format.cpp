#include "core/text_format.h"

#include <cstdio>

namespace winorvex {

std::string FormatV(const char* fmt, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, static_cast<std::size_t>(needed));
    std::string out(static_cast<std::size_t>(needed), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = FormatV(fmt, args);
    va_end(args);
    return out;
}

std::size_t FormatTo(char* buffer, std::size_t capacity, const char* fmt, ...) {
    if (capacity == 0) return 0;
    va_list args;
    va_start(args, fmt);
    const int written = std::vsnprintf(buffer, capacity, fmt, args);
    va_end(args);
    if (written < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(written) < capacity ? static_cast<std::size_t>(written) : capacity - 1;
}

}  // namespace winorvex
