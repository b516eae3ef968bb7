#include "app/startup.h"

#include <clocale>

#include "chips/chip_table.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_file.h"

namespace winorvex {

void SetTimeLocaleFromUser() {
    if (std::setlocale(LC_TIME, "") == nullptr) std::setlocale(LC_TIME, "C");
}

ProcessFiles PrepareProcess() {
    SetTimeLocaleFromUser();
    ProcessFiles files;
    files.settingsFile = GetSettingsFilePath();
    SetSettingsFilePath(files.settingsFile);
    files.logFile = GetLogFilePath();
    SetLogFilePath(files.logFile);
    files.detectionFile = GetIncomingDetectionsFilePath();
    LoadStartupSettings();
    ComputeRaceDays();
    return files;
}

void WriteSoftwareLocation() {
    WriteSettingText(keys::kApplication, "SoftwareLocation", GetProgramFolder());
}

void ReadWindowSettings() {
    LoadInitialisationSettings();
}

void LogStartBanner(const std::string& detectionFile) {
    Log(0, "");
    LogF(0,
         Tr("------------------------ Lancement WinORVEX version %s",
            "------------------------ Starting WinORVEX version %s"),
         kVersionText);
    LogF(0, Tr("+++ Détections sauvegardées sous %s", "+++ Incoming detections saved in %s"), detectionFile.c_str());
}

bool LoadStationChipTable() {
    std::string message;
    std::string detail;
    const bool loaded = LoadChipTable("OrvexTable.dtb", message, detail);
    Log(0, message);
    if (!detail.empty()) Log(0, detail);
    return loaded;
}

std::string OpenStationFiles() {
    SetLogWindowAttached(true);
    const ProcessFiles files = PrepareProcess();
    ReadWindowSettings();
    LogStartBanner(files.detectionFile);
    OpenDetectionFile(files.detectionFile);
    LoadStationChipTable();
    return files.detectionFile;
}

}  // namespace winorvex
