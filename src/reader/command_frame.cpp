#include "reader/command_frame.h"

#include "core/text_format.h"
#include "detections/reader_line.h"

namespace winorvex {

namespace {

struct CommandEntry {
    int code;
    const char* head;
    const char* name;
};

constexpr CommandEntry kCommands[] = {
    {kCommandLiteClockSetting, "ab000701", "clock setting (Lite)"},
    {kCommandLiteClockRequest, "ab000002", "clock request (Lite)"},
    {2, "ab000104", ""},
    {kCommandRecordStart, "ab00024b0001", "Record Start"},
    {kCommandRecordStop, "ab00024b0000", "Record Stop"},
    {kCommandReplayStart, "ab00024b0101", "Replay Start"},
    {kCommandReplayStop, "ab00024b0100", "Replay Stop"},
    {kCommandReplayOne, "ab00004b", "Replay One"},
    {kCommandReplayRewind, "ab00014b02", "Replay Rewind"},
    {kCommandMarkAllRead, "ab00014b03", "Mark all records as read"},
    {kCommandClearLogBuffer, "ab00014bd0", "Clear Log buffer"},
    {kCommandGetStats, "ab00000a", "Get Stats"},
    {kCommandSave000027, "ab000027", "Save 000027"},
    {kCommandGetPeriodicLogInfo, "ab00034b070105", "Get Periodic Log Info"},
    {kCommandStopPeriodicLogInfo, "ab00024b0700", "Stop Periodic Log Info"},
    // The length field reads ff although no data follows: that is what the reader expects.
    {kCommandGetLogInfo, "ab00ff4b", "Get Log Info"},
    {kCommandPowerOff, "ab000049", "Power Off"},
};

const CommandEntry* FindCommand(int code) {
    for (const auto& entry : kCommands) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

}  // namespace

const char* CommandFrameHead(int code) {
    const CommandEntry* entry = FindCommand(code);
    return entry != nullptr ? entry->head : nullptr;
}

const char* CommandName(int code) {
    const CommandEntry* entry = FindCommand(code);
    return entry != nullptr ? entry->name : "";
}

bool BuildCommandFrame(int code, std::string_view data, std::string& frame) {
    const char* head = CommandFrameHead(code);
    if (head == nullptr) return false;
    frame = head;
    if (code != kCommandLiteClockRequest) frame.append(data);
    if (frame.size() >= 2 && frame[1] == 'b') {
        char checksum[2];
        ReaderChecksum(std::string_view(frame).substr(2), checksum);
        frame.append(checksum, 2);
    }
    return true;
}

std::string LiteClockData(const std::tm& local) {
    return Format("%02d%02d%02d%02d%02d%02d%02d", local.tm_year % 100, local.tm_mon + 1, local.tm_mday, local.tm_wday,
                  local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace winorvex
