#include "detections/detection_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/log.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "core/unique_fd.h"
#include "detections/result_list.h"

namespace winorvex {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<DetectionFileWriteFunction> gWrite{nullptr};

// Writes as much as the file takes; returns the bytes written, error set when not all of them.
std::size_t WriteSome(int fd, const char* data, std::size_t length, int& error) {
    const DetectionFileWriteFunction write = gWrite.load(std::memory_order_relaxed);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            write != nullptr ? write(fd, data + done, length - done) : ::write(fd, data + done, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (n == 0) {
            error = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Errors that a descriptor survives: space comes back on the same file. Any other error may
// mean the file system under the descriptor is gone, so the next attempt opens the path again.
bool KeepsDescriptor(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EAGAIN;
}

std::string Reason(int error) {
    return std::generic_category().message(error != 0 ? error : EIO);
}

struct Alert {
    std::string text;
    bool withMessageBox = false;
};

// The result list calls the writer under its own lock, so lines reach the file in list order;
// this mutex (always taken after the list's) keeps a line from going to a file being closed.
class DetectionFileState final : public RecordLineWriter {
public:
    DetectionFileState() {
        // The service thread logs until it is joined here: make the log's own state outlive it.
        (void)LogFilePath();
        (void)LogWindowQueueCapacity();
    }
    ~DetectionFileState() override {
        std::vector<std::string> lost;
        {
            std::lock_guard lock(mutex);
            stop = true;
            AbandonLocked(lost);
        }
        wake.notify_all();
        if (thread.joinable()) thread.join();
        for (const std::string& line : lost) Log(0, line);
    }

    void WriteRecordLine(int position, const CRixResult& result) override { WriteDetectionFileLine(position, result); }

    // Everything below is guarded by mutex.
    std::mutex mutex;
    std::condition_variable wake;
    UniqueFd fd;
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    bool failing = false;
    bool closed = false;       // closed while lines still waited: no new line, the old ones still owed
    bool openFailure = false;  // the failure is that the file cannot be opened
    bool relink = false;       // the path no longer names our file: create it again
    bool firstAlertDue = false;
    bool recreatedAlertDue = false;
    bool kicked = false;  // look again now: the paces changed, or an attempt is wanted at once
    int error = 0;
    std::string tail;                  // the unwritten rest of a line cut short
    std::vector<std::string> backlog;  // whole lines waiting, in list order; empty unless failing
    Clock::time_point nextRetry{};
    Clock::time_point nextCheck{};
    Clock::time_point nextReminder{};
    DetectionFileTiming timing;
    bool stop = false;
    std::thread thread;

    // Held while alerts are posted, so that the station can withdraw its sink safely.
    std::mutex postMutex;
    StationEventSink* events = nullptr;
    SoundPlayer* sounds = nullptr;

    std::size_t WaitingLocked() const { return backlog.size() + (tail.empty() ? 0 : 1); }

    void BeginFailureLocked(int cause, bool opening) {
        const Clock::time_point now = Clock::now();
        if (!failing) {
            failing = true;
            firstAlertDue = true;
            nextReminder = now + timing.reminder;
        }
        openFailure = opening;
        error = cause;
        nextRetry = now + timing.retry;
        wake.notify_all();
    }

    void EnsureThreadLocked() {
        if (!thread.joinable()) thread = std::thread([this] { Serve(); });
    }

    bool OpenLocked(UniqueFd& out, int& cause) const {
        // Read access too, so that a file removed under us can be copied into its new self.
        out = UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!out.IsOpen()) out = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!out.IsOpen()) {
            cause = errno;
            return false;
        }
        return true;
    }

    void AdoptLocked(UniqueFd next) {
        fd = std::move(next);
        struct stat st {};
        if (::fstat(fd.Get(), &st) == 0) {
            dev = st.st_dev;
            ino = st.st_ino;
        }
    }

    // False when the file was removed (no link left) or the path now names another file. Only a
    // definite answer counts: a path that cannot be examined for another reason is left alone.
    bool StillOurFileLocked() const {
        struct stat own {};
        if (::fstat(fd.Get(), &own) == 0 && own.st_nlink == 0) return false;
        struct stat named {};
        if (::stat(path.c_str(), &named) != 0) return errno != ENOENT && errno != ENOTDIR;
        return named.st_dev == dev && named.st_ino == ino;
    }

    // Copies what was written to the old file into the new one; on failure the new file is put
    // back as it was, so that the next attempt starts again from the same point.
    bool CopyOldFileLocked(int target, int& cause) const {
        struct stat st {};
        if (::fstat(target, &st) != 0) {
            cause = errno;
            return false;
        }
        const off_t base = st.st_size;
        char block[64 * 1024];
        off_t offset = 0;
        for (;;) {
            const ssize_t got = ::pread(fd.Get(), block, sizeof block, offset);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                // A descriptor opened for writing only cannot be read back: what it holds stays in
                // the renamed file, and only the waiting lines go to the new one.
                if (errno == EBADF) return true;
                cause = errno;
                break;
            }
            if (got == 0) return true;
            const std::size_t length = static_cast<std::size_t>(got);
            if (WriteSome(target, block, length, cause) != length) break;
            offset += got;
        }
        if (::ftruncate(target, base) != 0) {
            // Could not undo: the next attempt would copy twice, so keep the new file as it is.
            return true;
        }
        return false;
    }

    // One attempt to get the file written again. True when nothing waits any more.
    bool TryRecoverLocked(std::size_t& appended) {
        if (relink || !fd.IsOpen()) {
            UniqueFd next;
            int cause = 0;
            if (!OpenLocked(next, cause)) {
                BeginFailureLocked(cause, true);
                return false;
            }
            if (relink && fd.IsOpen() && !CopyOldFileLocked(next.Get(), cause)) {
                BeginFailureLocked(cause, false);
                return false;
            }
            relink = false;
            AdoptLocked(std::move(next));
        }
        if (!tail.empty()) {
            int cause = 0;
            const std::size_t written = WriteSome(fd.Get(), tail.data(), tail.size(), cause);
            if (written != tail.size()) {
                tail.erase(0, written);
                FailWriteLocked(cause);
                return false;
            }
            tail.clear();
            ++appended;
        }
        std::size_t done = 0;
        for (; done < backlog.size(); ++done) {
            const std::string& line = backlog[done];
            int cause = 0;
            const std::size_t written = WriteSome(fd.Get(), line.data(), line.size(), cause);
            if (written != line.size()) {
                tail.assign(line, written);
                backlog.erase(backlog.begin(), backlog.begin() + static_cast<std::ptrdiff_t>(done) + 1);
                appended += done;
                FailWriteLocked(cause);
                return false;
            }
        }
        appended += done;
        backlog.clear();
        backlog.shrink_to_fit();
        tail.shrink_to_fit();
        failing = false;
        openFailure = false;
        firstAlertDue = false;
        if (closed) {
            closed = false;
            fd.Reset();
        }
        return true;
    }

    void FailWriteLocked(int cause) {
        if (!KeepsDescriptor(cause)) fd.Reset();
        BeginFailureLocked(cause, false);
    }

    // Gives up on what waits for the file being left; says how much the file misses.
    void AbandonLocked(std::vector<std::string>& logLines) {
        if (failing) {
            std::size_t appended = 0;
            TryRecoverLocked(appended);
        }
        if (failing) {
            const int n = static_cast<int>(WaitingLocked());
            const char* plural = n > 1 ? "s" : "";
            logLines.push_back(CurrentLanguage() == Language::English
                                   ? Format("## %d detection line%s not written to %s (%s)", n, plural, path.c_str(),
                                            Reason(error).c_str())
                                   : Format("## %d ligne%s de détection non écrite%s dans %s (%s)", n, plural, plural,
                                            path.c_str(), Reason(error).c_str()));
        }
        backlog.clear();
        backlog.shrink_to_fit();
        tail.clear();
        tail.shrink_to_fit();
        failing = false;
        closed = false;
        openFailure = false;
        relink = false;
        firstAlertDue = false;
        recreatedAlertDue = false;
    }

    // The service thread: retries, checks that the path still names our file, raises the alarms.
    void Serve() {
        std::unique_lock lock(mutex);
        while (!stop) {
            std::vector<Alert> alerts;
            std::string recovered;
            ServiceLocked(alerts, recovered);
            if (!alerts.empty() || !recovered.empty()) {
                lock.unlock();
                Post(alerts);
                if (!recovered.empty()) Log(0, recovered);
                lock.lock();
                continue;
            }
            Clock::time_point next = Clock::now() + timing.linkCheck;
            if (failing) next = std::min(nextRetry, nextReminder);
            wake.wait_until(lock, next, [this] { return stop || kicked || firstAlertDue || recreatedAlertDue; });
            kicked = false;
        }
    }

    void ServiceLocked(std::vector<Alert>& alerts, std::string& recovered) {
        const Clock::time_point now = Clock::now();
        if (!failing && fd.IsOpen() && now >= nextCheck) {
            nextCheck = now + timing.linkCheck;
            if (!StillOurFileLocked()) {
                relink = true;
                recreatedAlertDue = true;
                failing = true;
                nextRetry = now;
                nextReminder = now + timing.reminder;
            }
        }
        if (recreatedAlertDue) {
            recreatedAlertDue = false;
            alerts.push_back({DetectionFileRecreatedAlert(path), true});
        }
        if (failing && now >= nextRetry) {
            nextRetry = now + timing.retry;
            const bool recreating = relink;
            std::size_t appended = 0;
            if (!TryRecoverLocked(appended)) {
                // The file could not even be created again: that is a failure of its own to tell.
                if (recreating) firstAlertDue = true;
            } else {
                nextCheck = now + timing.linkCheck;
                const int n = static_cast<int>(appended);
                recovered =
                    CurrentLanguage() == Language::English
                        ? Format("+ Detection file %s written again: %d waiting line%s appended", path.c_str(), n,
                                 n > 1 ? "s" : "")
                        : Format("+ Fichier de détections %s de nouveau écrit : %d ligne%s en attente ajoutée%s",
                                 path.c_str(), n, n > 1 ? "s" : "", n > 1 ? "s" : "");
            }
        }
        if (firstAlertDue) {
            firstAlertDue = false;
            // A file being created again has said so already; only a failure of its own is news.
            if (failing) alerts.push_back({DetectionFileFailureAlert(path, Reason(error), openFailure), true});
        } else if (failing && now >= nextReminder) {
            nextReminder = now + timing.reminder;
            alerts.push_back({DetectionFileReminderAlert(path, Reason(error), WaitingLocked()), false});
        }
    }

    void Post(const std::vector<Alert>& alerts) {
        std::lock_guard lock(postMutex);
        for (const Alert& alert : alerts) {
            if (events != nullptr) {
                events->OnAlert(AlertEvent{alert.text, alert.withMessageBox});
            } else {
                ShowAlert(alert.text, nullptr);
            }
            if (sounds != nullptr) sounds->Play(StationSound::LinkAlarm);
        }
    }
};

DetectionFileState& State() {
    static DetectionFileState state;
    return state;
}

}  // namespace

void SetDetectionFileAlerts(StationEventSink* events, SoundPlayer* sounds) {
    DetectionFileState& state = State();
    std::lock_guard lock(state.postMutex);
    state.events = events;
    state.sounds = sounds;
}

void SetDetectionFileWriteForTest(DetectionFileWriteFunction write) {
    gWrite.store(write);
}

void SetDetectionFileTimingForTest(const DetectionFileTiming& timing) {
    DetectionFileState& state = State();
    {
        std::lock_guard lock(state.mutex);
        state.timing = timing;
        state.nextCheck = Clock::now() + timing.linkCheck;
        if (state.failing) {
            state.nextRetry = std::min(state.nextRetry, Clock::now() + timing.retry);
            state.nextReminder = std::min(state.nextReminder, Clock::now() + timing.reminder);
        }
        state.kicked = true;
    }
    state.wake.notify_all();
}

void OpenDetectionFile(const std::string& path) {
    int openError = 0;
    std::vector<std::string> lost;
    // Taken before this file's mutex: the list's lock always comes first.
    SetRecordLineWriter(&State());
    {
        DetectionFileState& state = State();
        std::lock_guard lock(state.mutex);
        state.EnsureThreadLocked();
        if (state.path == path && state.failing) {
            // Lines still wait for this very file: they go first, new lines after them, and an
            // attempt is made now rather than at the next retry.
            const bool wasClosed = std::exchange(state.closed, false);
            state.nextRetry = Clock::now();
            state.kicked = true;
            state.wake.notify_all();
            if (!wasClosed) return;
        } else if (state.path == path && state.fd.IsOpen()) {
            return;
        } else {
            state.AbandonLocked(lost);
            state.fd.Reset();
            state.path = path;
            UniqueFd next;
            if (state.OpenLocked(next, openError)) {
                state.AdoptLocked(std::move(next));
                state.nextCheck = Clock::now() + state.timing.linkCheck;
            } else {
                state.BeginFailureLocked(openError, true);
            }
        }
    }
    // Logged outside the lock: recorders need not wait for the log file.
    for (const std::string& line : lost) Log(0, line);
    LogF(0, Tr("Ouverture fichier de détections : %s", "Opening detection file : %s"), path.c_str());
    if (openError != 0) {
        LogF(0, Tr("Erreur ouverture fichier de détections : %s", "Error opening detection file : %s"), path.c_str());
        LogF(10, "  (%s)", Reason(openError).c_str());
    }
}

void CloseDetectionFile() {
    std::string waiting;
    {
        DetectionFileState& state = State();
        std::lock_guard lock(state.mutex);
        if (state.failing && !state.closed) {
            std::size_t appended = 0;
            state.TryRecoverLocked(appended);
        }
        if (!state.failing) {
            state.fd.Reset();
        } else if (!state.closed) {
            // What was recorded before the close is still owed to this file: the retries go on,
            // and opening the same file again puts new lines after it.
            state.closed = true;
            const int n = static_cast<int>(state.WaitingLocked());
            const char* plural = n > 1 ? "s" : "";
            waiting = CurrentLanguage() == Language::English
                          ? Format("## %d detection line%s still waiting to be written to %s (%s)", n, plural,
                                   state.path.c_str(), Reason(state.error).c_str())
                          : Format("## %d ligne%s de détection encore en attente d'écriture dans %s (%s)", n, plural,
                                   state.path.c_str(), Reason(state.error).c_str());
        }
    }
    if (!waiting.empty()) Log(0, waiting);
}

bool IsDetectionFileOpen() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    return state.fd.IsOpen() && !state.closed;
}

bool IsDetectionFileFailing() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    return state.failing;
}

std::size_t DetectionFileWaitingLines() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    return state.WaitingLocked();
}

std::string DetectionFilePath() {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    return state.path;
}

bool WriteDetectionFileLine(int position, const CRixResult& result) {
    DetectionFileState& state = State();
    std::lock_guard lock(state.mutex);
    if (state.closed || (!state.failing && !state.fd.IsOpen())) return false;

    char buffer[512];
    std::size_t length = FormatDetectionFileLine(buffer, sizeof buffer, position, result);
    const char* line = buffer;
    std::string freak;
    if (length > sizeof buffer) {
        // A freak line longer than the buffer is written whole rather than cut.
        freak = FormatDetectionFileLine(position, result);
        line = freak.data();
        length = freak.size();
    }
    if (state.failing) {
        // Behind the lines already waiting, so that the file keeps the list order.
        state.backlog.emplace_back(line, length);
        return false;
    }
    int cause = 0;
    const std::size_t written = WriteSome(state.fd.Get(), line, length, cause);
    if (written == length) return true;
    // The part written stays; the rest is written first once the file takes lines again, so the
    // file never keeps a torn line.
    state.tail.assign(line + written, length - written);
    state.FailWriteLocked(cause);
    return false;
}

}  // namespace winorvex
