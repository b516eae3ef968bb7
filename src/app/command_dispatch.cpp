#include "app/command_dispatch.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "core/log.h"
#include "core/texts.h"

namespace winorvex {

namespace {

bool StartsWith(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

void LogCommand(int level, std::string_view item) {
    std::string line = Tr("Traitement commande: ", "Processing command: ");
    line.append(item);
    Log(level, line);
}

}  // namespace

std::string ExportPathOf(std::string_view item) {
    std::string_view path = item.size() > 8 ? item.substr(8) : std::string_view();
    while (!path.empty() && (path.front() == '(' || path.front() == ' ')) path.remove_prefix(1);
    while (!path.empty() && (path.back() == ')' || path.back() == ';' || path.back() == ' ')) path.remove_suffix(1);
    return std::string(path);
}

std::optional<int> DirectConnectionArgument(std::string_view item) {
    std::string text(item);
    if (const auto open = text.find('('); open != std::string::npos) text[open] = ' ';
    if (const auto close = text.find(')'); close != std::string::npos) text[close] = ' ';
    // "%*s %d" read by hand: a number that does not fit an int is no number (sscanf would fold it
    // into some value and switch the link on).
    const char* cursor = text.c_str();
    while (*cursor != '\0' && std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
    if (*cursor == '\0') return std::nullopt;
    while (*cursor != '\0' && !std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(cursor, &end, 10);
    if (end == cursor || errno == ERANGE || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::string CutAnswer(std::string answer) {
    if (answer.size() <= kCommandAnswerLimit) return answer;
    // Back off to the start of the character the limit falls in.
    std::size_t cut = kCommandAnswerLimit;
    while (cut > 0 && (static_cast<unsigned char>(answer[cut]) & 0xC0) == 0x80) --cut;
    answer.resize(cut);
    return answer;
}

std::optional<std::string> DispatchCommand(std::string_view item, StationCommands& station) {
    std::string answer = "<error>";
    if (StartsWith(item, "ExportTo")) {
        LogCommand(20, item);
        const std::string path = ExportPathOf(item);
        if (path.empty()) return std::nullopt;
        // A file that could not be written is no success: the export's own line says why.
        answer = station.ExportAllTo(path) ? "<ok>" : "<error>";
    } else if (StartsWith(item, "StartAcquisition")) {
        LogCommand(20, item);
        answer = station.StartAcquisition() ? "<ok>"
                                            : Tr("Erreur de connexion aux boitiers d'acquisition...",
                                                 "Cannot connect to any acquisition system...");
    } else if (StartsWith(item, "ClearAcquisitions")) {
        LogCommand(20, item);
        station.ClearAcquisitions();
        answer = "<ok>";
    } else if (StartsWith(item, "SetDirectConnection")) {
        LogCommand(50, item);
        const std::optional<int> value = DirectConnectionArgument(item);
        if (!value) return std::nullopt;
        station.SetDirectConnectionWanted(*value != 0);
        answer = "<ok>";
    } else if (StartsWith(item, "GetDirectConnection")) {
        LogCommand(90, item);
        answer = station.DirectConnectionWanted() ? "1" : "0";
    } else if (StartsWith(item, "PopFront")) {
        LogCommand(90, item);
        station.PopFront();
        answer = "1";
    } else {
        LogCommand(0, item);
        return std::nullopt;
    }
    return CutAnswer(std::move(answer));
}

}  // namespace winorvex
