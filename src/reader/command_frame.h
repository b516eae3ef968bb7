#pragma once
// Command frames sent to a reader on its main connection: "ab", address, length, command and data
// as hex text, a two-digit checksum, then CR LF. The program names its commands by small numbers
// (0..15 and 99) that select a fixed frame head.
#include <ctime>
#include <string>
#include <string_view>

namespace winorvex {

inline constexpr int kCommandLiteClockSetting = 0;
inline constexpr int kCommandLiteClockRequest = 1;
inline constexpr int kCommandRecordStart = 3;
inline constexpr int kCommandRecordStop = 4;
inline constexpr int kCommandReplayStart = 5;
inline constexpr int kCommandReplayStop = 6;
inline constexpr int kCommandReplayOne = 7;
inline constexpr int kCommandReplayRewind = 8;
inline constexpr int kCommandMarkAllRead = 9;
inline constexpr int kCommandClearLogBuffer = 10;
inline constexpr int kCommandGetStats = 11;
inline constexpr int kCommandSave000027 = 12;
inline constexpr int kCommandGetPeriodicLogInfo = 13;
inline constexpr int kCommandStopPeriodicLogInfo = 14;
inline constexpr int kCommandGetLogInfo = 15;
inline constexpr int kCommandPowerOff = 99;

// The frame head of a command number, or nullptr for a number the reader does not know.
const char* CommandFrameHead(int code);

// The name the program gives the command in logs and menus ("Record Start" ...); empty when the
// command has none.
const char* CommandName(int code);

// Head + data (not for the clock request, which takes none) + checksum, without the line end.
// False for an unknown command number.
bool BuildCommandFrame(int code, std::string_view data, std::string& frame);

// Data of the Lite clock setting: YY MM DD WD HH MM SS as two decimal digits each (weekday 0 = Sunday).
std::string LiteClockData(const std::tm& local);

}  // namespace winorvex
