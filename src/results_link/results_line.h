#pragma once
// Decoding of one line received from the results program into what the station shows: the
// runner display, a results pane item, log lines, the speech candidate, and the refusal of an
// old results program. Pure functions: no Qt, no globals written (only the language is read),
// so the station logs and shows the outcome itself.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results_link/results_pane.h"

namespace winorvex {

enum class ResultsLineKind {
    Error,              // "ERR:<code>"
    Information,        // "NFO:<code> [text]"
    RunnerRecord,       // a decoded runner record (kt04, kt05, kt06 or "RES:1")
    ControlTime,        // a runner record with status -8: nothing is shown
    Undecodable,        // "ERR:" or "NFO:" without a number
    UndecodableRecord,  // a line that is no runner record of any known form
};

// A runner record as the results program sends it (texts UTF-8, cut to their capacity).
struct RunnerRecord {
    std::string format;  // "kt04", "kt05", "kt06" or "RES:1"
    int pass = 0;
    double distance = 0.0;
    std::string nation;
    std::string race;
    int overallRank = 0;   // CLT-GAL; 0: no rank
    int categoryRank = 0;  // CLT-CAT
    int sexRank = 0;       // CLT-SEX
    int number = 0;        // bib
    std::string lastName;
    std::string firstName;
    std::string sex;
    std::string shortCategory;  // SCAT
    std::string category;       // CAT
    std::string team;
    std::string time;
    std::string spare;
    int status = 0;
};

struct ResultsLogLine {
    int level = 0;
    std::string text;
};

// Controls 1029 (name), 1030 (rank) and 1031 (time) of the main window.
struct RunnerDisplay {
    std::string name;
    std::string rank;
    std::string time;
};

struct ResultsLineOutcome {
    ResultsLineKind kind = ResultsLineKind::Undecodable;
    // The status or error code; 105 for information and undecodable lines, -20 for an
    // undecodable runner record, -8 for a control time.
    int code = 105;
    std::vector<ResultsLogLine> logLines;     // to write in this order
    std::optional<RunnerDisplay> display;     // set: show it
    std::optional<CSummaryItem> summaryItem;  // set: append it to the results pane
    std::string speechText;                   // the name to speak (empty: nothing)
    std::optional<RunnerRecord> record;       // the record read, when one was
    int informationCode = -1;                 // NFO lines
    std::string informationText;              // NFO lines: the text after the first blank
    std::string versionText;                  // NFO:27 lines: VersionText of the answer
    // NFO:27 with a version below kMinimumResultsVersion: stop the link after
    // kIncompatibleVersionStopDelayMs and show IncompatibleVersionText().
    bool incompatibleVersion = false;
};

ResultsLineOutcome DecodeResultsLine(std::string_view line);

// Writes the outcome's log lines (Log at their levels).
void LogResultsOutcome(const ResultsLineOutcome& outcome);

// The pieces of a decoded record, also used by the simulator's own checks.
std::string RunnerNameText(const RunnerRecord& record);    // "first last", padded to 30 characters
std::string RunnerRankText(const RunnerRecord& record);    // ordinals, or "SEX - CAT" without rank
std::string RunnerTimeText(const RunnerRecord& record);    // eight blanks for "00:00:00"
std::string RunnerPassText(const RunnerRecord& record);    // "." for pass 1, else "p<pass>"
std::string RunnerSpeechText(const RunnerRecord& record);  // "first  last", trimmed

// Reads a runner record line of one of the backslash formats (kt04, kt05, kt06). Returns the
// number of fields read before the first mismatch, as formatted input counts them, and fills
// record when all of them were read and the tag matches.
int ScanRunnerRecord(std::string_view line, std::string_view tag, RunnerRecord& record);
// Reads the fields of a "RES:1" line (after its first 6 characters); false when fewer than 19.
bool SplitSeparatedRecord(std::string_view fields, RunnerRecord& record, int& fieldCount);

}  // namespace winorvex
