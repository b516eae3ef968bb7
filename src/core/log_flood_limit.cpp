#include "core/log_flood_limit.h"

#include <cstdio>

#include "core/log.h"
#include "core/texts.h"

namespace winorvex {

namespace {

constexpr auto kWindow = std::chrono::seconds(1);

}  // namespace

bool LogFloodLimit::Admit(int kind, int level, Clock::time_point now) {
    if (kind < 0 || kind >= kKinds) return true;
    Window& window = windows_[static_cast<std::size_t>(kind)];
    if (window.open && now - window.start >= kWindow) {
        Summarise(window);
        window.open = false;
    }
    if (!window.open) {
        window.open = true;
        window.start = now;
        window.lines = 0;
    }
    ++window.lines;
    if (window.lines <= kLinesPerSecond) return true;
    window.level = level;
    return false;
}

void LogFloodLimit::Flush(Clock::time_point now) {
    for (Window& window : windows_) {
        if (window.open && now - window.start >= kWindow) {
            Summarise(window);
            window.open = false;
        }
    }
}

int LogFloodLimit::HeldBack() const {
    int held = 0;
    for (const Window& window : windows_) {
        if (window.open && window.lines > kLinesPerSecond) held += window.lines - kLinesPerSecond;
    }
    return held;
}

void LogFloodLimit::Summarise(Window& window) {
    const int held = window.lines - kLinesPerSecond;
    if (held <= 0) return;
    const char* text = Tr("... %d lignes de plus comme celle-ci dans la dernière seconde",
                          "... %d more lines like this in the last second");
    if (label_.empty()) {
        LogF(window.level, text, held);
        return;
    }
    char line[160];
    std::snprintf(line, sizeof line, text, held);
    LogF(window.level, "+ %s : %s", label_.c_str(), line);
}

}  // namespace winorvex
