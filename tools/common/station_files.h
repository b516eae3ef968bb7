#pragma once
// What the command-line tools share with the station's start: the data folder, the settings read
// and written back, the race days, the chip table and the run's incoming-detections file.
#include <optional>
#include <string>
#include <string_view>

#include "core/texts.h"

namespace winorvex::tools {

struct CommonOptions {
    std::string dataDir;       // empty: WINORVEX_DATA_DIR, else the normal data folder
    std::optional<int> today;  // yyyymmdd standing in for the computer's date
    std::optional<Language> language;
};

// A real calendar date written as eight digits (yyyymmdd).
std::optional<int> ParseDateArgument(std::string_view text);

// Applies the options; false (after a message naming the tool) when there is no usable data folder.
bool ApplyCommonOptions(const CommonOptions& options, const char* toolName);

// Settings file, log file (window lines queued), start-up and initialisation settings, race days,
// chip table (its message logged) and a new incoming-detections file opened and announced.
// Returns the detection file's path.
std::string OpenStationFiles();

// Prints the queued log-window lines on standard error.
void DrainLogToStderr();

}  // namespace winorvex::tools
