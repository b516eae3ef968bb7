#include "export/export_settings.h"

#include <limits>

#include "core/file_utils.h"
#include "core/folders.h"
#include "core/settings.h"

namespace winorvex {

DisplayMode DisplayModeFromSetting(int value) {
    if (value == 0) return DisplayMode::TimeOfDay;
    if (value == 1) return DisplayMode::PassingTime;
    return DisplayMode::Compact;
}

std::string DefaultExportPath() {
    return GetDocumentsFolder();
}

ExportSettings ReadExportSettings() {
    using namespace keys;
    ExportSettings s;
    s.delta = ReadSettingText(kExportSection, kDelta, "");
    s.exportPath = ReadSettingText(kExportSection, kExportPath, DefaultExportPath());
    s.genericFilename = ReadSettingText(kExportSection, kGenericFilename, "export");
    s.ftpExport = ReadSettingBool(kExportSection, kFtpExport, false);
    s.zip = ReadSettingBool(kExportSection, kZip, false);
    s.mode = DisplayModeFromSetting(ReadSettingInt(kExportSection, kDisplayDetectionType, 0));
    s.ftpServersList = ReadSettingText(kExportSection, kFtpServersList, "");
    s.backgroundExport = ReadSettingBool(kBackgroundExportSection, kBackgroundExport, false);
    s.periodMinutes = ReadExportPeriodMinutes();
    return s;
}

int ReadExportPeriodMinutes() {
    const int minutes =
        ReadSettingInt(keys::kBackgroundExportSection, keys::kExportPeriodMinutes, kDefaultExportPeriodMinutes);
    return minutes < 1 ? kDefaultExportPeriodMinutes : minutes;
}

int PeriodMinutesFromText(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    long long value = 0;
    bool digits = false;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        digits = true;
        if (value < std::numeric_limits<int>::max()) value = value * 10 + (text[at] - '0');
    }
    if (!digits || negative || value < 1) return kDefaultExportPeriodMinutes;
    return value > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(value);
}

std::vector<std::string> SplitServerLabels(std::string_view list) {
    std::vector<std::string> labels;
    if (list.empty()) return labels;
    std::size_t start = 0;
    while (true) {
        const auto at = list.find('\\', start);
        std::string label(list.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        TrimChars(label, " \t\r\n\f\v");
        labels.push_back(std::move(label));
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return labels;
}

std::string JoinServerLabels(const std::vector<std::string>& labels) {
    std::string joined;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) joined += '\\';
        joined += labels[i];
    }
    return joined;
}

}  // namespace winorvex
