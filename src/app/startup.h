#pragma once
// The steps that prepare the process and the station's files, in the order the station takes
// them. Plain C++ (no Qt): the station, the command-line tools and the tests run the same code.
#include <string>

namespace winorvex {

inline constexpr const char* kVersionText = "Version 4.50 - 9 jun 2o26";

struct ProcessFiles {
    std::string settingsFile;
    std::string logFile;
    std::string detectionFile;  // this run's incoming-detections file
};

// Month names in the log follow the user's language: LC_TIME from the user's locale settings
// (LC_ALL, LC_TIME, LANG), "C" when that locale is not installed.
void SetTimeLocaleFromUser();

// Time locale, settings file, log file and incoming-detections paths, the start-up keys read and
// written back, the race-day dates and the sound switches.
ProcessFiles PrepareProcess();

// [Application] SoftwareLocation = the program's folder.
void WriteSoftwareLocation();

// The display keys of the main window read and written back (BAbsClock, LogWinLevel,
// LogFileLevel, BLogDetections, BScrollDetections), the log levels applied.
void ReadWindowSettings();

// An empty line, the version line and where this run's detections are saved.
void LogStartBanner(const std::string& detectionFile);

// "OrvexTable.dtb" loaded, its message logged; false when no table could be loaded.
bool LoadStationChipTable();

// The whole sequence for a tool or test acting as the station without windows: PrepareProcess,
// ReadWindowSettings, the banner, the detection file opened, the chip table. The log window
// queue is attached so the lines can be shown. Returns the detection file's path.
std::string OpenStationFiles();

}  // namespace winorvex
