#pragma once
// The settings of the export dialog and of the periodic export, their keys and defaults, and
// the rules that turn hand-edited values into usable ones.
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

namespace keys {
inline constexpr const char* kExportSection = "ExportDetectionLines";
inline constexpr const char* kBackgroundExportSection = "ExportDetectionLines.BackgroundExport";
inline constexpr const char* kDelta = "Delta";
inline constexpr const char* kExportPath = "ExportPath";
inline constexpr const char* kGenericFilename = "GenericFilename";
inline constexpr const char* kFtpExport = "BFtpExport";
inline constexpr const char* kZip = "BZip";
inline constexpr const char* kDisplayDetectionType = "DisplayDetectionType";
inline constexpr const char* kFtpServersList = "FtpServersList";
inline constexpr const char* kBackgroundExport = "BExport";
inline constexpr const char* kExportPeriodMinutes = "ExportPeriodMinutes";
}  // namespace keys

inline constexpr int kDefaultExportPeriodMinutes = 2;

// The three forms of exported times (DisplayDetectionType).
enum class DisplayMode { TimeOfDay = 0, PassingTime = 1, Compact = 2 };

// 0 and 1 as they are; any other stored value is the compact form, as the dialog shows it.
DisplayMode DisplayModeFromSetting(int value);

struct ExportSettings {
    std::string delta;  // as typed; empty by default
    std::string exportPath;
    std::string genericFilename = "export";
    bool ftpExport = false;
    bool zip = false;
    DisplayMode mode = DisplayMode::TimeOfDay;
    std::string ftpServersList;  // labels separated by "\"
    bool backgroundExport = false;
    int periodMinutes = kDefaultExportPeriodMinutes;
};

// The export folder when none is set. The program's own folder is usually not writable here,
// so the documents folder takes its place.
std::string DefaultExportPath();

ExportSettings ReadExportSettings();
// "ExportPeriodMinutes", a value below 1 counting as 2.
int ReadExportPeriodMinutes();
// The minutes field of the dialog: its leading decimal number; 2 when it holds none or one below 1.
int PeriodMinutesFromText(std::string_view text);

// "Club \ Ligue" gives "Club" and "Ligue": split at every "\" and trimmed; two separators in a
// row give an empty label.
std::vector<std::string> SplitServerLabels(std::string_view list);
std::string JoinServerLabels(const std::vector<std::string>& labels);

}  // namespace winorvex
