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
    if (mode == DisplayMode::TimeOfDay) return timeOfDay.FormatDailyHundredths();
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
