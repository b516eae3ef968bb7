#pragma once
// What happens to a search's found detections once the dialog closed: merged into the detection
// store, or saved in a detection file of the ".rix" format. Runs on any thread; reports through an
// ImportObserver, writes the main window's lines to the log (level 0) and plays the completion
// sound through the SoundPlayer when one is given.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/chrono.h"
#include "import/import_observer.h"
#include "import/purge_repeats.h"

namespace winorvex {

class SoundPlayer;

enum class ImportAction { None, Import, Save };

// How the import dialog ended.
struct ImportOrder {
    ImportAction action = ImportAction::None;
    std::string detector;               // detector identifier given to the detections
    int dayCorrection = 0;              // k: 24 x k hours added to the daily times
    std::string outputPath;             // Save: the file, ".rix" already appended
    std::vector<std::string> headings;  // the two heading lines of the last search
};

struct ImportRunResult {
    bool completed = false;  // every detection imported, or the whole file written and in place
    bool cancelled = false;
    std::size_t written = 0;  // detections imported or saved (a cancelled save writes no file)
    std::size_t total = 0;
    std::string error;  // a save that failed: why, in the operator's language (already logged)
};

// Imports or saves `found` as `order` says (nothing for ImportAction::None), then plays the
// completion sound. An import adds the detections to the result list in batches of a hundred,
// each under one hold of the list's lock, so live reads wait at most one batch; they are not
// written to the detection file, shown in the pane or sent to the results program. A save
// writes a temporary file beside the target and puts it in place only once it is whole.
ImportRunResult RunImportOrder(const ImportOrder& order, const FoundDetections& found, bool absClock,
                               ImportObserver& observer, SoundPlayer* sounds);

// The path a save writes: ".rix" appended unless the name already ends in ".rix", in any case.
std::string RixOutputPath(std::string_view path);

// The daily time with the day correction's 24 x k hours added.
CChrono CorrectedDailyTime(const CChrono& daily, int dayCorrection);

// "number\tdetector\tidentifier\t1\tdaily time\t1" and CR LF: a saved line. The time is always the
// daily form, so the last field says so whatever BAbsClock is.
void AppendSavedLine(std::string& out, std::size_t number, std::string_view detector, const CDetection& detection,
                     int dayCorrection);

// The progress window titles.
const char* SearchProgressTitle();
const char* ImportProgressTitle(ImportAction action);

}  // namespace winorvex
