#include "detections/detection_file.h"

#include <fcntl.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <system_error>

#include "core/log.h"
#include "core/texts.h"
#include "core/unique_fd.h"
#include "detections/result_list.h"

namespace winorvex {
namespace {

// The result list calls the writer under its own lock, so lines reach the file in list order;
// this mutex (always taken after the list's) keeps a line from going to a file being closed.
struct DetectionFileState final : RecordLineWriter {
    std::mutex mutex;
    UniqueFd fd;
    std::string path;
    bool writeErrorLogged = false;

    void WriteRecordLine(int position, const CRixResult& result) override { WriteDetectionFileLine(position, result); }
};

DetectionFileState& State() {
    static DetectionFileState state;
    return state;
}

char* Put(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

std::size_t DecimalLength(int value) {
    char digits[16];
    return static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
}

// position TAB detector TAB bib TAB 1 TAB time TAB 1|2 CR LF
std::size_t LineLength(int position, std::string_view detector, std::string_view bib, std::string_view timeText) {
    return DecimalLength(position) + detector.size() + bib.size() + timeText.size() + 9;
}

}  // namespace

std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, std::string_view detector,
                                    std::string_view bib, std::string_view timeText, bool absolute) {
    const std::size_t needed = LineLength(position, detector, bib, timeText);
    if (buffer == nullptr || needed > capacity) return needed;
    char* p = std::to_chars(buffer, buffer + capacity, position).ptr;
    *p++ = '\t';
    p = Put(p, detector);
    *p++ = '\t';
    p = Put(p, bib);
    p = Put(p, "\t1\t");
    p = Put(p, timeText);
    *p++ = '\t';
    *p++ = absolute ? '2' : '1';
    *p++ = '\r';
    *p++ = '\n';
    return needed;
}

std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, const CRixResult& result) {
    return FormatDetectionFileLine(buffer, capacity, position, result.detector, result.bib, result.timeText,
                                   result.IsAbsolute());
}

std::string FormatDetectionFileLine(int position, const CRixResult& result) {
    std::string line(LineLength(position, result.detector, result.bib, result.timeText), '\0');
    FormatDetectionFileLine(line.data(), line.size(), position, result);
    return line;
}

void OpenDetectionFile(const std::string& path) {
    int openError = 0;
    // Taken before this file's mutex: the list's lock always comes first.
    SetRecordLineWriter(&State());
    {
        DetectionFileState& state = State();
        std::lock_guard lock(state.mutex);
        if (state.fd.IsOpen() && state.path == path) return;
        state.fd.Reset();
        state.path = path;
        state.writeErrorLogged = false;
        state.fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!state.fd.IsOpen()) openError = errno;
    }
    // Logged outside the lock: recorders need not wait for the log file.
    LogF(0, Tr("Ouverture fichier de détections : %s", "Opening detection file : %s"), path.c_str());
    if (openError != 0) {
        LogF(0, Tr("Erreur ouverture fichier de détections : %s", "Error opening detection file : %s"), path.c_str());
        LogF(10, "  (%s)", std::generic_category().message(openError).c_str());
    }
}

void CloseDetectionFile() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    state.fd.Reset();
}

bool IsDetectionFileOpen() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    return state.fd.IsOpen();
}

std::string DetectionFilePath() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    return state.path;
}

bool WriteDetectionFileLine(int position, const CRixResult& result) {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.fd.IsOpen()) return false;

    char buffer[512];
    const std::size_t length = FormatDetectionFileLine(buffer, sizeof buffer, position, result);
    bool written;
    if (length <= sizeof buffer) {
        written = WriteAll(state.fd.Get(), buffer, length);
    } else {
        // A freak line longer than the buffer is written whole rather than cut.
        const std::string line = FormatDetectionFileLine(position, result);
        written = WriteAll(state.fd.Get(), line.data(), line.size());
    }
    if (!written && !state.writeErrorLogged) {
        state.writeErrorLogged = true;
        const std::string reason = std::generic_category().message(errno);
        LogF(0, Tr("Erreur d'écriture du fichier de détections : %s", "Error writing detection file : %s"),
             (state.path + " (" + reason + ")").c_str());
    }
    return written;
}

}  // namespace winorvex
