#include "app/headless_prompt.h"

#include <cstdio>
#include <string>

#include "core/log.h"

namespace winorvex {

namespace {

// A message box text on one log line.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

}  // namespace

bool HeadlessPrompt::AskYesNo(std::string_view text, bool defaultYes) {
    Log(0, "? " + OneLine(text) + (defaultYes ? " -> Yes (headless)" : " -> No (headless)"));
    return defaultYes;
}

void HeadlessPrompt::Warn(std::string_view text) {
    // Also where whoever started the station looks: before the log window exists (a refused
    // second start) the log line alone would reach nobody.
    std::fprintf(stderr, "winorvex: %s\n", OneLine(text).c_str());
    Log(0, "! " + OneLine(text));
}

void HeadlessPrompt::Inform(std::string_view text) {
    Log(0, "i " + OneLine(text));
}

std::optional<std::string> HeadlessPrompt::AskText(const TextQuestion& question) {
    Log(0, "? " + OneLine(question.prompt) +
               (textAnswer_ ? " -> [" + OneLine(*textAnswer_) + "] (headless)" : " -> Cancel (headless)"));
    return textAnswer_;
}

}  // namespace winorvex
