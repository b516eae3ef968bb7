#pragma once
// Per-detector handicaps: a reference time of day subtracted from times of day to give passing
// times, kept in the settings under "Handicap-" + detector. The re-setting dialog's rule
// (CDlgRecalage) and the reset; both write the new value to the settings at once.
#include <optional>
#include <string>
#include <string_view>

#include "core/chrono.h"

namespace winorvex {

class OperatorPrompt;
class CStatLineEntry;

std::string HandicapKey(std::string_view detector);  // "Handicap-" + detector
// ParseClock of the stored text (default "00:00:00.00"). A text that is not a time or is
// negative counts as zero, with a log line the first time that text is seen for that key.
CChrono ReadHandicap(std::string_view detector);
void WriteHandicap(std::string_view detector, const CChrono& handicap);

// The logic of the re-setting dialog "Recalage de handicap": a chosen passage (its time of
// day, bib and pass number) and the current handicap in; the new handicap out.
class CDlgRecalageModel {
public:
    CDlgRecalageModel(int passNumber, std::string bib, const CChrono& timeOfDay, const CChrono& handicap);

    // The value labels, each label's own text used as its format ("%d", "%s", "%s").
    std::string PassNumberText() const;
    const std::string& BibText() const { return bib_; }
    std::string TimeOfDayText() const;  // FormatDailyHundredths
    // The edit box on opening: the current passing time.
    std::string InitialPassingTimeText() const;

    // OK: the typed passing time read with ParseClock; new handicap = time of day - typed time.
    // A text that is not a time, a negative one, or one later than the time of day (which would
    // give a negative handicap) shows the invalid-time message and returns nothing: the dialog stays open.
    std::optional<CChrono> Accept(std::string_view editText, OperatorPrompt& prompt) const;

private:
    int passNumber_;
    std::string bib_;
    CChrono timeOfDay_;
    CChrono handicap_;
};

// The re-setting of a distribution row: pass 1, its first bib, first time and handicap.
CDlgRecalageModel MakeRecalageModel(const CStatLineEntry& line);
// OK of the re-setting: the line takes the handicap and it is written at once.
void ApplyHandicap(CStatLineEntry& line, const CChrono& handicap);

// "Voulez vous vraiment remettre à 0 le handicap ?"; on Yes the handicap is cleared and
// "00:00:00.00" written at once. Returns true when it was reset.
std::string ResetHandicapQuestion();
bool RequestHandicapReset(OperatorPrompt& prompt, CStatLineEntry& line);

}  // namespace winorvex
