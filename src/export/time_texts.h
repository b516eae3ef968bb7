#pragma once
// Times as the export shows and writes them: times of day, passing times (time of day minus the
// detector's handicap) and the compact form, and the reading of operator-typed times.
#include <string>
#include <string_view>

#include "core/chrono.h"
#include "export/export_settings.h"

namespace winorvex {

// ParseClock, refusing any text with a minus sign: a gap, a handicap or a passing time below
// zero has no meaning ("-1:00:00", and "-0:30:00", which ParseClock alone reads as +30 minutes).
bool ParseNonNegativeClock(std::string_view text, CChrono& out);
// The reader of the times that PassingTimeText writes: ParseClock, and a leading "-" (after
// blanks, before a digit) negates the whole value, so "-00:30:00.50" reads back as thirty
// minutes and a half second below zero. ParseClock alone takes the sign for the hours only and
// reads it as +00:30:00.50. A second sign after the leading one is refused. On failure out is
// left as it was.
bool ParseSignedClock(std::string_view text, CChrono& out);

// "Temps invalide.\nLe format est 'hh:mn:ss' ou 'hh.mm.ss'" (the minimum gap).
const char* InvalidGapMessage();
// The passing-time message of the handicap re-setting.
const char* InvalidPassingTimeMessage();

// Time of day minus handicap, by CChrono's difference.
CChrono PassingTime(const CChrono& timeOfDay, const CChrono& handicap);
bool IsNegative(const CChrono& value);

// FormatDailyHundredths; a negative value prints as "-" and the text of its size
// ("-00:30:00.50"), so it reads as what it is and never as a time of day.
std::string PassingTimeText(const CChrono& passing);
// FormatDailyCompact (empty for zero); negative values as "-" and the compact text of their size.
std::string CompactTimeText(const CChrono& passing);

// The text of a time of day in a display mode: mode 0 the time of day, mode 1 the passing time,
// mode 2 its compact form. An unset time of day (absolute clock) has no passing time: empty in
// modes 1 and 2.
std::string DisplayTimeText(const CChrono& timeOfDay, const CChrono& handicap, DisplayMode mode);

// "Heures de détections", "Temps de passages", "Temps format LOGICA".
const char* DisplayModeText(DisplayMode mode);

}  // namespace winorvex
