#pragma once
// What the command-line tools share: their common options (data folder, today, language) and the
// log lines shown on standard error. The station's start-up steps are in app/startup.h.
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

// Prints the queued log-window lines on standard error.
void DrainLogToStderr();

}  // namespace winorvex::tools
