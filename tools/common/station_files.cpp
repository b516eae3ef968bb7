#include "common/station_files.h"

#include <cstdio>

#include "core/folders.h"
#include "core/local_time.h"
#include "core/log.h"

namespace winorvex::tools {

std::optional<int> ParseDateArgument(std::string_view text) {
    if (text.size() != 8) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    const int month = value / 100 % 100;
    const int day = value % 100;
    if (value / 10000 < 1970 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    return value;
}

bool ApplyCommonOptions(const CommonOptions& options, const char* toolName) {
    if (options.language) SetLanguage(*options.language);
    if (!options.dataDir.empty()) SetDataFolderOverride(options.dataDir);
    if (options.today) SetTodayOverride(*options.today);
    if (GetDataFolder().empty()) {
        std::fprintf(stderr, "%s: no usable data folder\n", toolName);
        return false;
    }
    return true;
}

void DrainLogToStderr() {
    for (const LogEntry& entry : DrainLogWindowQueue()) std::fprintf(stderr, "%s\n", entry.text.c_str());
}

}  // namespace winorvex::tools
