#include "export/time_texts.h"

#include <cstdint>

namespace winorvex {

bool ParseNonNegativeClock(std::string_view text, CChrono& out) {
    if (text.find('-') != std::string_view::npos) return false;
    CChrono value;
    if (!value.ParseClock(text)) return false;
    out = value;
    return true;
}

bool ParseSignedClock(std::string_view text, CChrono& out) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at == text.size() || text[at] != '-') return out.ParseClock(text);
    const std::string_view size = text.substr(at + 1);
    if (size.empty() || size[0] < '0' || size[0] > '9') return false;
    if (size.find_first_of("+-") != std::string_view::npos) return false;
    CChrono magnitude;
    if (!magnitude.ParseClock(size)) return false;
    // The difference borrows the milliseconds as PassingTime does, so both hold a negative value
    // alike: -00:30:00.50 is -1801 s and 500 ms.
    out = CChrono() - magnitude;
    return true;
}

const char* InvalidGapMessage() {
    return "Temps invalide.\nLe format est 'hh:mn:ss' ou 'hh.mm.ss'";
}

const char* InvalidPassingTimeMessage() {
    return "Temps invalide.\nLe format est 'hh:mn:ss.ct' ou 'hh.mm.ss.ct'\nLes centièmes de secondes sont facultatifs";
}

CChrono PassingTime(const CChrono& timeOfDay, const CChrono& handicap) {
    return timeOfDay - handicap;
}

bool IsNegative(const CChrono& value) {
    return value.Seconds() < 0;
}

namespace {

// The size of a negative value, the milliseconds kept.
CChrono Magnitude(const CChrono& value) {
    const std::int64_t ms = -(static_cast<std::int64_t>(value.Seconds()) * 1000 + value.Milliseconds());
    const std::int64_t seconds = ms / 1000;
    if (seconds > INT32_MAX) return CChrono(INT32_MAX, 999);
    return CChrono(static_cast<std::int32_t>(seconds), static_cast<std::uint16_t>(ms % 1000));
}

}  // namespace

std::string PassingTimeText(const CChrono& passing) {
    if (!IsNegative(passing)) return passing.FormatDailyHundredths();
    std::string text(1, '-');
    text += Magnitude(passing).FormatDailyHundredths();
    return text;
}

std::string CompactTimeText(const CChrono& passing) {
    if (!IsNegative(passing)) return passing.FormatDailyCompact();
    std::string text(1, '-');
    text += Magnitude(passing).FormatDailyCompact();
    return text;
}

std::string DisplayTimeText(const CChrono& timeOfDay, const CChrono& handicap, DisplayMode mode) {
    // A time read back from a passing-time file may be below zero: it keeps its sign.
    if (mode == DisplayMode::TimeOfDay) return PassingTimeText(timeOfDay);
    if (!timeOfDay.IsSet()) return {};
    const CChrono passing = PassingTime(timeOfDay, handicap);
    return mode == DisplayMode::PassingTime ? PassingTimeText(passing) : CompactTimeText(passing);
}

const char* DisplayModeText(DisplayMode mode) {
    switch (mode) {
        case DisplayMode::TimeOfDay:
            return "Heures de détections";
        case DisplayMode::PassingTime:
            return "Temps de passages";
        case DisplayMode::Compact:
            break;
    }
    return "Temps format LOGICA";
}

}  // namespace winorvex
