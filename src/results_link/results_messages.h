#pragma once
// The texts exchanged with the results program that are not tied to one received line: the
// requests the station sends, the status and information tables, ordinals, version texts and
// the station's own messages about the link.
#include <array>
#include <string>
#include <string_view>

#include "core/texts.h"

namespace winorvex {

// ---- requests (SendDirectLine adds the line end) -------------------------------------------

inline constexpr std::string_view kPingRequest = "Ping()";
inline constexpr int kPingIntervalMs = 30000;
// Sent once, in this order, this long after the link is connected (when it still is).
inline constexpr int kInformationRequestDelayMs = 300;
inline constexpr std::array<std::string_view, 7> kInformationRequests = {
    "GetMode()",    "GetUserName()",         "GetCompetitionName()", "GetFilename()",
    "GetVersion()", "GetPrintableVersion()", "GetDetectorList()",
};
// After an incompatible version answer the station stops the link this long afterwards.
inline constexpr int kIncompatibleVersionStopDelayMs = 1000;

// ---- tables --------------------------------------------------------------------------------

// The text of a status or error code ("Status inconnu" / "unknown status" for other codes).
const char* ResultsStatusText(int code);
// The label of an information code ("Commande inconnue" / "unknown command" for other codes).
const char* ResultsInformationLabel(int code);

// ---- ordinals and versions -----------------------------------------------------------------

// "1er", "1ère", "12ème", "?ème" in French; "1st", "12nd", "13rd", "?th" in English (only the
// last digit counts, as the results program's own displays do).
std::string OrdinalText(int rank, std::string_view sex, Language language);
std::string OrdinalText(int rank, std::string_view sex);  // in the current language

// "a,b,c,d" -> "a.(10b+c)x" with x "_" for d = 0, else the d-th lower-case letter; empty when
// the text does not read as four integers or d is outside 0..26.
std::string VersionText(std::string_view text);

inline constexpr std::string_view kMinimumResultsVersion = "4.40_";
// True when a version text (VersionText's form) is at least kMinimumResultsVersion. An empty
// text is accepted: nothing can be said about it. The major number compares as a number (a
// version 10 is newer than 4), the rest byte by byte.
bool IsCompatibleResultsVersion(std::string_view versionText);

// ---- the station's messages about the link -------------------------------------------------

// Log level 80 when the link is connected.
const char* DirectConnectedLogText();  // "+ Connection to KtORVEX successful"
// The alert ("######## " is added by ShowAlert) and balloon text of a lost link.
const char* DirectLostAlertText();     // "KtORVEX : Direct connection lost!"
const char* DirectLostBalloonTitle();  // "Attention"
// Log level 80 when the operator switched the link off.
const char* DirectDisconnectedLogText();  // "+ Disconnection from KtORVEX..."
// The message box of an incompatible results program.
const char* IncompatibleVersionText();

}  // namespace winorvex
