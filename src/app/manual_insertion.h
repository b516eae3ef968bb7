#pragma once
// The manual insertion of a detection: what the insertion form offers and checks, and the
// recording of the entered detection through the same path as a live read. Plain C++: the form's
// widget only shows these values and forwards the operator's entries.
//
// Threads: the station thread (the recording itself is thread-safe like a worker's).
#include <string>
#include <string_view>
#include <vector>

#include "core/chrono.h"
#include "detections/result_list.h"

namespace winorvex {

class BoxManager;
class SoundPlayer;
struct DetectionOutputs;

// The box name shown for a detection typed in by the operator.
inline constexpr const char* kManualBoxName = "Man.";
inline constexpr int kDayCorrectionCount = 4;

// The insertion form: its fields in the order the operator's window uses them.
struct InsertTimeForm {
    CChrono time;                        // absolute: now on opening, the entered time of today on OK
    int bib = 0;                         // set on OK
    std::string identifier;              // the bib as "%d" when chips are translated, else its chip
    std::string detectorId;              // the chosen detector (empty when none is offered)
    int dayIndex = 0;                    // 0..3: hours added to the daily time, 24 per index
    std::vector<std::string> detectors;  // offered detector identifiers

    // What the window shows on opening.
    std::string clockText;       // "Insertion du temps : hh:mm:ss"
    std::string timeText;        // the time field, "hh:mm:ss.cc"
    int detectorSelection = -1;  // -1: the list is empty
};

// The outcome of the form's OK.
struct InsertFormCheck {
    bool accepted = false;
    std::string message;    // shown with an exclamation icon when refused
    bool clearBib = false;  // the bib field is emptied (invalid bib)
};

// The detector identifier chosen last, kept for the whole run (0 at start).
int LastManualDetectorIndex();
void SetLastManualDetectorIndex(int index);

// The insertion needs a chip table: shown when none is loaded.
const char* NoChipTableText();

// Detector identifiers of the boxes whose detector identifier and host are both set, in box order.
std::vector<std::string> ManualDetectorChoices(const BoxManager& boxes);

// "Utiliser le temps tel quel", "Ajouter 24h aux temps" ... (current language).
std::vector<std::string> DayCorrectionItems();
// The "+%dh" label of a day index; empty (label and icon hidden) for 0.
std::string DayCorrectionLabel(int dayIndex);
// Index of today among the four race-day dates (first equal one), 0 when none is equal.
int TodayRaceDayIndex();

// The opening of the form with the offered detectors, at `now` (absolute).
InsertTimeForm OpenInsertTimeForm(std::vector<std::string> detectors, const CChrono& now);

// A runner bib: the whole text, trimmed, as a number 1..INT_MAX. "12x", "1 2" and numbers past
// the range are refused.
bool ParseRunnerBib(std::string_view text, int& bib);
// A time of day typed by the operator: hh:mm:ss[.cc] (or with '.' between the fields), hours 0..23,
// minutes and seconds 0..59, hundredths 0..99 in two digits, nothing else around it but blanks.
// Daily seconds out.
bool ParseTimeOfDay(std::string_view text, CChrono& daily);
// The fourth field has one digit ("10:15:00.5"): refused, with its own message rather than
// guessed as tenths or hundredths.
bool OneDigitHundredths(std::string_view text);
const char* OneDigitHundredthsText();

// The form's OK with the texts and selections as entered. On acceptance the form holds the time
// (today's date), bib, identifier, detector and day index, and the detector selection is
// remembered for the next opening.
InsertFormCheck ConfirmInsertTimeForm(InsertTimeForm& form, std::string_view bibText, std::string_view timeText,
                                      int dayIndex, int detectorSelection);

// What the recording of an accepted form produced (for the caller and the tests).
struct ManualRecording {
    CRixResult record;
    CChrono daily;
    std::string displayText;
};

// Records the accepted form like a live read (result list with BAbsClock, detection-file line,
// "AddRixClock" when the direct connection is up), plays the detection sound when
// GOrvexBeepDetections is on, shows the "Man." line in the detections pane when BLogDetections is
// on and logs the insertion at level 0. sounds may be null (silent).
ManualRecording RecordManualDetection(const InsertTimeForm& form, DetectionOutputs& outputs, SoundPlayer* sounds);

}  // namespace winorvex
