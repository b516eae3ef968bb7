#pragma once
// The process-wide values read at start-up, their keys and defaults, and the race days.
// Workers read these on every line, so they are atomics: the configuration may change them
// from the interface thread at any moment.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace winorvex {

namespace keys {
inline constexpr const char* kSettings = "Settings";
inline constexpr const char* kDirectConnection = "DirectConnection";
inline constexpr const char* kApplication = "Application";
inline constexpr const char* kOrvexBoxes = "OrvexBoxes";
inline constexpr const char* kValdrone = "VALDRONE";
}  // namespace keys

struct StationSettings {
    std::atomic<int> ignoreInputMsDelta{50};      // GOrvexIgnoreInputMsDelta
    std::atomic<int> ignoreOutputMsDelta{300};    // GOrvexIgnoreOutputMsDelta
    std::atomic<int> readMsDelta{1};              // GOrvexReadMsDelta
    std::atomic<int> connectionTimeout{2};        // GOrvexConnectionTimeout (seconds)
    std::atomic<int> sendNumbers{1};              // GOrvexSendNumbers
    std::atomic<int> ignoreUnknownTags{0};        // GOrvexIgnoreUnknownTags
    std::atomic<int> ignoreLSDetections{0};       // GOrvexIgnoreLSDetections
    std::atomic<int> ignoreFSDetections{0};       // GOrvexIgnoreFSDetections
    std::atomic<int> boxReconnectSeconds{30};     // GBoxReconnectSeconds
    std::atomic<int> daysToAdd{0};                // GDaysToAdd (day offset)
    std::atomic<bool> beepDetections{true};       // GOrvexBeepDetections
    std::atomic<bool> beepWhenQuit{true};         // GOrvexBeepWhenQuit
    std::atomic<int> absClock{0};                 // BAbsClock
    std::atomic<int> logDetections{1};            // BLogDetections
    std::atomic<int> scrollDetections{1};         // BScrollDetections
    std::atomic<int> directPort{8283};            // [DirectConnection] Port
    std::atomic<int> directReconnectSeconds{15};  // [DirectConnection] ReconnectSeconds

    // Texts change rarely; read them through these accessors (guarded internally).
    std::string EmptyDetectionsActions() const;
    std::string DdeName() const;
    std::string ExportFile() const;
    std::string DirectHost() const;
    void SetEmptyDetectionsActions(std::string value);
    void SetDdeName(std::string value);
    void SetExportFile(std::string value);
    void SetDirectHost(std::string value);

private:
    mutable std::mutex textMutex_;
    std::string emptyDetectionsActions_{"-"};
    std::string ddeName_{"ORVEX"};
    std::string exportFile_;  // set from the documents folder when the start-up settings are read
    std::string directHost_{"127.0.0.1"};
};

StationSettings& Settings();

// Reads every start-up key in the documented order and writes back those that are written back.
void LoadStartupSettings();
// Reads the keys that the main window initialisation reads and writes back (BAbsClock, LogWinLevel,
// LogFileLevel, BLogDetections, BScrollDetections); applies the log levels to the logging.
void LoadInitialisationSettings();

// Extended status mode: [VALDRONE] ExtendedStatus > 0, read each time.
bool IsExtendedStatusMode();

// ---- Race days -------------------------------------------------------------------------------
// The four accepted reader dates as numbers yyyymmdd (e.g. 20240518), read lock-free by workers.
struct RaceDays {
    std::array<std::atomic<std::uint32_t>, 4> dates{};
    // Index 0..3 of the date, or -1 when it is none of them.
    int IndexOf(std::uint32_t yyyymmdd) const;
    std::string DateText(int index) const;  // "yyyymmdd"
};
RaceDays& RaceDayDates();

// Derives the four dates from GDaysToAdd and "today" (start-up and confirmed configuration).
void ComputeRaceDays();
// Periodic tracking: the day offset becomes the index of today among the dates (0 when none);
// a change is written to GDaysToAdd. Returns the current day offset.
int TrackDayOffset();

}  // namespace winorvex
