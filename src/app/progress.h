#pragma once
// The progress of a long operation (an import) as the operator's progress window shows it: a
// caption, a status line, a count line and a cancel flag. The operation runs off the station
// thread and writes here; the window reads here on the station thread and sets the flag when the
// operator asks to stop. Nothing in it waits for the other side.
//
// Threads: every method is safe from any thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace winorvex {

class ProgressState {
public:
    // An empty caption stands for the default one ("Progress").
    explicit ProgressState(std::string caption = {});
    ProgressState(const ProgressState&) = delete;
    ProgressState& operator=(const ProgressState&) = delete;

    static const char* DefaultCaption();

    std::string Caption() const;
    void SetCaption(std::string caption);
    std::string Status() const;
    void SetStatus(std::string text);
    std::string CountText() const;
    void SetCountText(std::string text);

    // The operator's "stop": the next CheckCancel returns true.
    void RequestCancel() { cancel_.store(true); }
    // True once per request (the flag is cleared); always true after RequestStop.
    bool CheckCancel();
    // The station is ending: every later CheckCancel is true.
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }

    // Grows at every change of a text, so a window redraws only what changed.
    std::uint64_t Version() const { return version_.load(); }

private:
    void Touch() { version_.fetch_add(1); }

    mutable std::mutex mutex_;
    std::string caption_;
    std::string status_;
    std::string count_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> version_{0};
};

// A long operation run on its own thread with a progress state. Destroying it (the exit
// procedure) asks the operation to stop and waits for it.
class ProgressJob {
public:
    using Work = std::function<void(ProgressState&)>;
    // Starts the work at once on the job's thread.
    ProgressJob(std::string caption, Work work);
    ~ProgressJob();
    ProgressJob(const ProgressJob&) = delete;
    ProgressJob& operator=(const ProgressJob&) = delete;

    ProgressState& State() { return state_; }
    bool Finished() const { return finished_.load(); }
    // Asks the work to stop and waits for its end.
    void StopAndWait();

private:
    ProgressState state_;
    std::atomic<bool> finished_{false};
    std::thread thread_;  // last: started once everything it uses exists
};

}  // namespace winorvex
