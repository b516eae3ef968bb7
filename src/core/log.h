#pragma once
// Logging. Each line has a level 0 (always) .. 100 (most detailed). The log window takes lines up
// to LogWinLevel (default 50), the log file WinORVEX.log lines up to LogFileLevel (default 75).
// Window lines go into a bounded thread-safe queue that a view drains; logging never waits for a
// view. The file is appended by the logging call itself, one whole line per write.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

inline constexpr std::size_t kLogWorkingLimit = 1023;  // longest formatted text kept

void SetLogFilePath(const std::string& path);  // empty: no file
std::string LogFilePath();
void SetLogWindowLevel(int level);
int LogWindowLevel();
void SetLogFileLevel(int level);
int LogFileLevel();

// The log window side. While no window (view) is attached, window lines are not queued and
// Trace lines are dropped, as they are before the main window exists.
void SetLogWindowAttached(bool attached);
bool IsLogWindowAttached();

// True when a line of this level would reach the window or the file: lets callers skip formatting.
bool LogWanted(int level);

void Log(int level, std::string_view text);
void LogF(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Formats (at most 1023 characters) and calls Log when the window exists. Category is not recorded.
void Trace(const char* category, int level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
void AddLogLine(int level, std::string_view text);
// Straight to the file whatever the levels; a lone "\n" writes an empty line without time stamp.
void LogToFile(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void LogToFileText(std::string_view text);
// A line received from the results program: Log(60, ">>> " + text).
void LogReceived(std::string_view text);

// "<CR>" for every carriage return, "<LF>" for every line feed.
std::string LogDisplayForm(std::string_view text);
// Current local time as "%d %B %Y - %H:%M:%S".
std::string LogTimeStamp();

// One line waiting for the log window.
struct LogEntry {
    int level = 0;
    std::string stamp;  // LogTimeStamp() when the line was logged
    std::string text;   // display form
};

// Takes up to maxLines queued window lines, oldest first. When the queue overflowed since the last
// drain, the first entry returned says how many lines were dropped from the window (never from the file).
std::vector<LogEntry> DrainLogWindowQueue(std::size_t maxLines = 100000);
std::size_t LogWindowQueueCapacity();

}  // namespace winorvex
