#pragma once
// printf-style formatting into std::string and into fixed buffers (for the per-line path).
#include <cstdarg>
#include <cstddef>
#include <string>

namespace winorvex {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);
// Writes at most capacity-1 characters and a terminating zero; returns the length written
// (cut texts are cut safely, never past the buffer).
std::size_t FormatTo(char* buffer, std::size_t capacity, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

}  // namespace winorvex
