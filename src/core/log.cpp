#include "core/log.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/log_file_sink.h"
#include "core/log_window_queue.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

constexpr std::size_t kWindowQueueCapacity = 20000;
constexpr std::size_t kStampCapacity = 64;  // "dd <month> yyyy - hh:mm:ss" with the longest month name
constexpr std::string_view kFileSeparator = " : ";
// Time stamp, separator, the longest text and the line feed: one file line always fits.
constexpr std::size_t kFileLineCapacity = kStampCapacity + kFileSeparator.size() + kLogWorkingLimit + 1;

std::atomic<int> g_windowLevel{50};
std::atomic<int> g_fileLevel{75};
std::atomic<bool> g_windowAttached{false};
std::atomic<bool> g_fileEnabled{false};

LogFileSink& FileSink() {
    static LogFileSink sink;
    return sink;
}

LogWindowQueue& WindowQueue() {
    static LogWindowQueue queue(kWindowQueueCapacity);
    return queue;
}

bool WindowWants(int level) {
    return g_windowAttached.load(std::memory_order_relaxed) && level <= g_windowLevel.load(std::memory_order_relaxed);
}

bool FileWants(int level) {
    return g_fileEnabled.load(std::memory_order_relaxed) && level <= g_fileLevel.load(std::memory_order_relaxed);
}

// A cut may have split a multi-byte UTF-8 character: drop its incomplete tail so that neither the
// window nor the file receives a broken character.
std::size_t WithoutBrokenTail(const char* text, std::size_t size) {
    std::size_t start = size;
    int continuation = 0;
    while (start > 0 && continuation < 3 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
        --start;
        ++continuation;
    }
    if (start == 0) return size;
    const auto lead = static_cast<unsigned char>(text[start - 1]);
    std::size_t expected = 1;
    if ((lead & 0xE0) == 0xC0) {
        expected = 2;
    } else if ((lead & 0xF0) == 0xE0) {
        expected = 3;
    } else if ((lead & 0xF8) == 0xF0) {
        expected = 4;
    }
    if (expected > 1 && static_cast<std::size_t>(continuation) + 1 < expected) return start - 1;
    return size;
}

// Copies at most limit bytes, cutting on a character boundary.
std::size_t CopyCut(std::string_view text, char* out, std::size_t limit) {
    if (text.size() <= limit) {
        std::memcpy(out, text.data(), text.size());
        return text.size();
    }
    std::memcpy(out, text.data(), limit);
    return WithoutBrokenTail(out, limit);
}

// The display form, cut at limit bytes after the expansion of line ends; a "<CR>"/"<LF>" that
// does not fit whole is left out rather than shown in part.
std::size_t DisplayFormTo(std::string_view text, char* out, std::size_t limit) {
    std::size_t size = 0;
    while (!text.empty()) {
        const std::size_t plain = std::min(text.find_first_of("\r\n"), text.size());
        if (plain > 0) {
            const std::size_t room = limit - size;
            if (plain > room) {
                std::memcpy(out + size, text.data(), room);
                return WithoutBrokenTail(out, limit);
            }
            std::memcpy(out + size, text.data(), plain);
            size += plain;
            text.remove_prefix(plain);
            continue;
        }
        if (limit - size < 4) return size;
        std::memcpy(out + size, text.front() == '\r' ? "<CR>" : "<LF>", 4);
        size += 4;
        text.remove_prefix(1);
    }
    return size;
}

// vsnprintf into a working buffer of kLogWorkingLimit + 1 bytes; returns the kept length.
std::size_t FormatWorking(char* out, const char* fmt, va_list args) {
    const int needed = std::vsnprintf(out, kLogWorkingLimit + 1, fmt, args);
    if (needed < 0) return 0;
    if (static_cast<std::size_t>(needed) <= kLogWorkingLimit) return static_cast<std::size_t>(needed);
    return WithoutBrokenTail(out, kLogWorkingLimit);
}

const char* MonthName(int month, Language language) {
    static constexpr const char* kFrench[12] = {"janvier", "février", "mars",      "avril",   "mai",      "juin",
                                                "juillet", "août",    "septembre", "octobre", "novembre", "décembre"};
    static constexpr const char* kEnglish[12] = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
    const int index = std::clamp(month, 0, 11);
    return language == Language::English ? kEnglish[index] : kFrench[index];
}

// The stamp of the current second, formatted at most once a second per thread, so that logging
// does not convert the local time for every line. Valid until the thread's next call.
std::string_view CurrentStamp() {
    struct Cache {
        std::time_t second;
        Language language;
        std::size_t size;
        char text[kStampCapacity];
    };
    thread_local Cache cache{};
    const std::time_t now = std::time(nullptr);
    const Language language = CurrentLanguage();
    if (cache.size == 0 || cache.second != now || cache.language != language) {
        std::tm local{};
        localtime_r(&now, &local);
        cache.size = FormatTo(cache.text, sizeof cache.text, "%02d %s %d - %02d:%02d:%02d", local.tm_mday,
                              MonthName(local.tm_mon, language), local.tm_year + 1900, local.tm_hour, local.tm_min,
                              local.tm_sec);
        cache.second = now;
        cache.language = language;
    }
    return {cache.text, cache.size};
}

void WriteFileLine(std::string_view stamp, std::string_view text) {
    char line[kFileLineCapacity];
    std::size_t size = 0;
    const std::size_t stampSize = std::min(stamp.size(), kStampCapacity);
    std::memcpy(line, stamp.data(), stampSize);
    size += stampSize;
    std::memcpy(line + size, kFileSeparator.data(), kFileSeparator.size());
    size += kFileSeparator.size();
    size += CopyCut(text, line + size, kLogWorkingLimit);
    line[size++] = '\n';
    FileSink().Append({line, size});
}

}  // namespace

void SetLogFilePath(const std::string& path) {
    FileSink().SetPath(path);
    g_fileEnabled.store(!path.empty(), std::memory_order_relaxed);
}

std::string LogFilePath() {
    return FileSink().Path();
}

void SetLogWindowLevel(int level) {
    g_windowLevel.store(level, std::memory_order_relaxed);
}
int LogWindowLevel() {
    return g_windowLevel.load(std::memory_order_relaxed);
}
void SetLogFileLevel(int level) {
    g_fileLevel.store(level, std::memory_order_relaxed);
}
int LogFileLevel() {
    return g_fileLevel.load(std::memory_order_relaxed);
}

void SetLogWindowAttached(bool attached) {
    const bool was = g_windowAttached.exchange(attached);
    // Lines waiting for a window that is gone would only show up, stale, in the next one.
    if (was && !attached) WindowQueue().Clear();
}

bool IsLogWindowAttached() {
    return g_windowAttached.load(std::memory_order_relaxed);
}

bool LogWanted(int level) {
    return WindowWants(level) || FileWants(level);
}

void AddLogLine(int level, std::string_view text) {
    const bool toWindow = WindowWants(level);
    const bool toFile = FileWants(level);
    if (!toWindow && !toFile) return;
    char display[kLogWorkingLimit];
    const std::string_view shown(display, DisplayFormTo(text, display, sizeof display));
    const std::string_view stamp = CurrentStamp();
    if (toWindow) WindowQueue().Push(level, stamp, shown);
    if (toFile) WriteFileLine(stamp, shown);
}

void Log(int level, std::string_view text) {
    AddLogLine(level, text);
}

void LogF(int level, const char* fmt, ...) {
    if (!LogWanted(level)) return;
    char text[kLogWorkingLimit + 1];
    va_list args;
    va_start(args, fmt);
    const std::size_t size = FormatWorking(text, fmt, args);
    va_end(args);
    AddLogLine(level, {text, size});
}

void Trace(const char* /*category*/, int level, const char* fmt, ...) {
    if (!IsLogWindowAttached() || !LogWanted(level)) return;
    char text[kLogWorkingLimit + 1];
    va_list args;
    va_start(args, fmt);
    const std::size_t size = FormatWorking(text, fmt, args);
    va_end(args);
    AddLogLine(level, {text, size});
}

void LogToFile(const char* fmt, ...) {
    if (!g_fileEnabled.load(std::memory_order_relaxed)) return;
    char text[kLogWorkingLimit + 1];
    va_list args;
    va_start(args, fmt);
    const std::size_t size = FormatWorking(text, fmt, args);
    va_end(args);
    LogToFileText({text, size});
}

void LogToFileText(std::string_view text) {
    if (!g_fileEnabled.load(std::memory_order_relaxed)) return;
    if (text == "\n") {
        FileSink().Append(text);
        return;
    }
    WriteFileLine(CurrentStamp(), text);
}

void LogReceived(std::string_view text) {
    constexpr std::string_view kMarker = ">>> ";
    if (!LogWanted(60)) return;
    char line[kLogWorkingLimit];
    std::memcpy(line, kMarker.data(), kMarker.size());
    const std::size_t size = kMarker.size() + CopyCut(text, line + kMarker.size(), sizeof line - kMarker.size());
    AddLogLine(60, {line, size});
}

std::string LogDisplayForm(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else {
            out += c;
        }
    }
    return out;
}

std::string LogTimeStamp() {
    return std::string(CurrentStamp());
}

std::vector<LogEntry> DrainLogWindowQueue(std::size_t maxLines) {
    return WindowQueue().Drain(maxLines);
}

std::size_t LogWindowQueueCapacity() {
    return WindowQueue().Capacity();
}

}  // namespace winorvex
