#pragma once
// The incoming-detections file: one line per live record, appended while the result list is
// locked so that the lines follow the list order and none is lost if the program stops.
// The file is only ever written; other programs read it, so its lines end in CR LF.
//
// When the ground gives way (disk full, I/O error, a file that cannot be opened, a file removed
// or renamed under the station) recording goes on in memory: the unwritten rest of a line cut
// short and every later line wait, in list order, and a service thread of this file retries at a
// bounded pace, reopening the file when needed. On recovery the waiting lines are appended, so the
// file holds every detection once. A file removed or renamed is created again under its name with
// everything written to it in this run. Each failure raises an alarm (alert and sound), the first
// time with its message box, then at most once a minute while it lasts.
//
// Threads: recorders call WriteDetectionFileLine under the list's lock; this file's mutex is taken
// after it. The service thread takes only this file's mutex, never the list's, and never sleeps
// holding it; alerts are posted with no lock held.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace winorvex {

class CRixResult;
class SoundPlayer;
class StationEventSink;

// Opens the path for appending (closing any other open file). Same path already open: nothing.
// The path is remembered even when it cannot be opened; records then wait for it to open (alarm,
// retries) and are written once it does.
void OpenDetectionFile(const std::string& path);
// Closes the file; later records are not written until a file is opened again. Lines that still
// wait when it closes (after a last attempt) stay owed to it: the retries go on, opening the same
// path again puts new lines after them, and only opening another path gives them up (logged).
void CloseDetectionFile();
bool IsDetectionFileOpen();
std::string DetectionFilePath();

// Where the file's alarms go. The station calls it at start-up: events gets AlertEvent (the first
// of a failure with its message box), sounds plays StationSound::LinkAlarm with each alarm. Null
// events: the alerts are only logged at level 0 ("######## " + text); null sounds: silent.
// Returns once no alert is being posted to the previous ones: call it with nulls before they go.
void SetDetectionFileAlerts(StationEventSink* events, SoundPlayer* sounds);

// True while lines wait because the file cannot be written (or opened, or is being recreated).
bool IsDetectionFileFailing();
// The number of lines waiting, a line cut short included.
std::size_t DetectionFileWaitingLines();

// Writes one record's line with this position. The result list calls it (as its record line
// writer) under its lock; returns false when no file is open or the line could not be written
// now (it then waits, see above).
bool WriteDetectionFileLine(int position, const CRixResult& result);

// "%d\t%s\t%s\t%d\t%s\t%d\r\n" of position, detector, bib, 1, time text, 2 (absolute) or 1.
// Writes into buffer when it fits and returns the length; returns the needed length without
// writing when it does not fit, so callers can fall back to a bigger buffer.
std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, const CRixResult& result);
std::string FormatDetectionFileLine(int position, const CRixResult& result);
// The same line from its parts: exports put another time text in field 5.
std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, std::string_view detector,
                                    std::string_view bib, std::string_view timeText, bool absolute);

// The alert texts, for the station's documentation and the tests.
std::string DetectionFileFailureAlert(const std::string& path, const std::string& reason, bool opening);
std::string DetectionFileReminderAlert(const std::string& path, const std::string& reason, std::size_t waiting);
std::string DetectionFileRecreatedAlert(const std::string& path);

// Test seams. The write call the file uses (null: ::write), so a test can cut writes short or
// fail them; and the paces of the service thread.
using DetectionFileWriteFunction = ssize_t (*)(int fd, const void* data, std::size_t length);
void SetDetectionFileWriteForTest(DetectionFileWriteFunction write);
struct DetectionFileTiming {
    std::chrono::milliseconds retry{1000};      // between two attempts while failing
    std::chrono::milliseconds linkCheck{1000};  // between two checks that the path is still ours
    std::chrono::milliseconds reminder{60000};  // between two alarms of one failure
};
void SetDetectionFileTimingForTest(const DetectionFileTiming& timing);

}  // namespace winorvex
