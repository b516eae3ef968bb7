#pragma once
// The commands another program of this computer sends the station (in practice the results
// program): their matching rules, log lines and answers. Plain C++ so the rules are tested
// without a socket.
#include <optional>
#include <string>
#include <string_view>

namespace winorvex {

// What the commands do; the station implements it on its own thread.
class StationCommands {
public:
    virtual ~StationCommands() = default;
    // False when the file could not be written.
    virtual bool ExportAllTo(const std::string& path) = 0;
    // The connect/disconnect toggle of the boxes; true when boxes were connected.
    virtual bool StartAcquisition() = 0;
    virtual void ClearAcquisitions() = 0;
    virtual void SetDirectConnectionWanted(bool wanted) = 0;
    virtual bool DirectConnectionWanted() const = 0;
    virtual void PopFront() = 0;
};

inline constexpr std::size_t kCommandAnswerLimit = 255;

// At most kCommandAnswerLimit bytes, never half a UTF-8 character.
std::string CutAnswer(std::string answer);

// Carries out one command text; the answer (at most 255 characters), or nothing for no answer.
std::optional<std::string> DispatchCommand(std::string_view item, StationCommands& station);

// "ExportTo" + text: the path after the first eight characters, "(" and blanks removed on the
// left, ")", ";" and blanks on the right.
std::string ExportPathOf(std::string_view item);
// "SetDirectConnection" + text: the integer read as "%*s %d" once the first "(" and ")" are blanks;
// nothing when no integer is there or it does not fit an int.
std::optional<int> DirectConnectionArgument(std::string_view item);

}  // namespace winorvex
