#include "core/station_settings.h"

#include <atomic>

#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"

namespace winorvex {

namespace {

// Reads an integer key into its process-wide value and, when asked, writes it straight back so
// that the settings file always shows every key the station uses.
void LoadInt(const char* section, const char* key, std::atomic<int>& target, int defaultValue, bool writeBack) {
    const int value = ReadSettingInt(section, key, defaultValue);
    target.store(value);
    if (writeBack) WriteSettingInt(section, key, value);
}

}  // namespace

std::string StationSettings::EmptyDetectionsActions() const {
    std::lock_guard lock(textMutex_);
    return emptyDetectionsActions_;
}

std::string StationSettings::DdeName() const {
    std::lock_guard lock(textMutex_);
    return ddeName_;
}

std::string StationSettings::ExportFile() const {
    std::lock_guard lock(textMutex_);
    return exportFile_;
}

std::string StationSettings::DirectHost() const {
    std::lock_guard lock(textMutex_);
    return directHost_;
}

void StationSettings::SetEmptyDetectionsActions(std::string value) {
    std::lock_guard lock(textMutex_);
    emptyDetectionsActions_ = std::move(value);
}

void StationSettings::SetDdeName(std::string value) {
    std::lock_guard lock(textMutex_);
    ddeName_ = std::move(value);
}

void StationSettings::SetExportFile(std::string value) {
    std::lock_guard lock(textMutex_);
    exportFile_ = std::move(value);
}

void StationSettings::SetDirectHost(std::string value) {
    std::lock_guard lock(textMutex_);
    directHost_ = std::move(value);
}

StationSettings& Settings() {
    static StationSettings settings;
    return settings;
}

void LoadStartupSettings() {
    StationSettings& s = Settings();
    const char* const section = keys::kSettings;

    LoadInt(section, "GOrvexIgnoreInputMsDelta", s.ignoreInputMsDelta, 50, false);
    LoadInt(section, "GOrvexIgnoreOutputMsDelta", s.ignoreOutputMsDelta, 300, false);
    LoadInt(section, "GOrvexReadMsDelta", s.readMsDelta, 1, false);
    LoadInt(section, "GOrvexConnectionTimeout", s.connectionTimeout, 2, false);
    s.SetEmptyDetectionsActions(ReadSettingText(section, "GOrvexEmptyDetectionsActions", "-"));
    s.SetDdeName(ReadSettingText(section, "GOrvexDdeName", "ORVEX"));
    s.SetExportFile(ReadSettingText(section, "GOrvexExportFile", GetDefaultExportFilePath()));

    WriteSettingInt(section, "GOrvexIgnoreInputMsDelta", s.ignoreInputMsDelta.load());
    WriteSettingInt(section, "GOrvexIgnoreOutputMsDelta", s.ignoreOutputMsDelta.load());
    WriteSettingInt(section, "GOrvexReadMsDelta", s.readMsDelta.load());
    WriteSettingText(section, "GOrvexEmptyDetectionsActions", s.EmptyDetectionsActions());
    WriteSettingText(section, "GOrvexDdeName", s.DdeName());
    WriteSettingText(section, "GOrvexExportFile", s.ExportFile());

    const char* const direct = keys::kDirectConnection;
    LoadInt(direct, "Port", s.directPort, 8283, false);
    s.SetDirectHost(ReadSettingText(direct, "Host", "127.0.0.1"));
    LoadInt(direct, "ReconnectSeconds", s.directReconnectSeconds, 15, false);
    WriteSettingInt(direct, "Port", s.directPort.load());
    WriteSettingText(direct, "Host", s.DirectHost());
    WriteSettingInt(direct, "ReconnectSeconds", s.directReconnectSeconds.load());

    LoadInt(section, "GOrvexSendNumbers", s.sendNumbers, 1, true);
    LoadInt(section, "GOrvexIgnoreUnknownTags", s.ignoreUnknownTags, 0, true);
    LoadInt(section, "GOrvexIgnoreLSDetections", s.ignoreLSDetections, 0, true);
    LoadInt(section, "GOrvexIgnoreFSDetections", s.ignoreFSDetections, 0, true);
    LoadInt(section, "GBoxReconnectSeconds", s.boxReconnectSeconds, 30, true);
    LoadInt(section, "GDaysToAdd", s.daysToAdd, 0, true);

    // The sound switches are only read here; the configuration dialog writes them.
    s.beepDetections.store(ReadSettingBool(section, "GOrvexBeepDetections", true));
    s.beepWhenQuit.store(ReadSettingBool(section, "GOrvexBeepWhenQuit", true));
}

void LoadInitialisationSettings() {
    StationSettings& s = Settings();
    const char* const section = keys::kSettings;

    LoadInt(section, "BAbsClock", s.absClock, 0, true);

    const int windowLevel = ReadSettingInt(section, "LogWinLevel", 50);
    WriteSettingInt(section, "LogWinLevel", windowLevel);
    SetLogWindowLevel(windowLevel);

    const int fileLevel = ReadSettingInt(section, "LogFileLevel", 75);
    WriteSettingInt(section, "LogFileLevel", fileLevel);
    SetLogFileLevel(fileLevel);

    LoadInt(section, "BLogDetections", s.logDetections, 1, true);
    LoadInt(section, "BScrollDetections", s.scrollDetections, 1, true);
}

bool IsExtendedStatusMode() {
    return ReadSettingInt(keys::kValdrone, "ExtendedStatus", -1) > 0;
}

}  // namespace winorvex
