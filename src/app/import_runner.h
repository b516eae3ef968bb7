#pragma once
// Runs a reader-log search or an import order on a ProgressJob thread, so the station thread
// keeps drawing and receiving reads while a long log is read or a big list is merged. The work's
// information lines and progress texts come back to the runner's thread batched in one queued
// call at a time; a flood of abnormal events never floods the event queue.
//
// Threads: an ImportRunner lives on the station thread and every public method runs there; only
// its observer runs on the job's thread. Destroying it stops the work and waits for it.
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "import/import_output.h"
#include "import/log_search.h"

namespace winorvex {

class ProgressJob;
class ProgressState;
class SoundPlayer;
class StationEventSink;

class ImportRunner : public QObject {
    Q_OBJECT

public:
    // Lines waiting for the station thread beyond this: the oldest go, as the information list
    // would drop them anyway.
    static constexpr std::size_t kMaxPendingLines = 8000;

    // Both may be null (silent, nobody to tell of the store's growth); they are used from the
    // job's thread, which their interfaces allow.
    ImportRunner(SoundPlayer* sounds, StationEventSink* events, QObject* parent = nullptr);
    ~ImportRunner() override;
    ImportRunner(const ImportRunner&) = delete;
    ImportRunner& operator=(const ImportRunner&) = delete;

    // Start the work at once; false (nothing started) while another one runs.
    bool StartSearch(LogSearchRequest request, LogSearchSettings settings);
    bool StartOrder(ImportOrder order, FoundDetections found, bool absClock);

    // True from a start until its finished signal was emitted.
    bool Busy() const { return busy_; }
    // The state the progress window shows: that of the current or last work, null before any.
    // Valid until the next start or the runner's end.
    ProgressState* Progress();
    // The operator's stop.
    void Cancel();
    // Stops the work and waits for it; no signal follows.
    void StopAndWait();

    // What the last finished work gave (moved out).
    LogSearchResult TakeSearchResult() { return std::move(searchResult_); }
    const ImportRunResult& OrderResult() const { return orderResult_; }

signals:
    void informationLines(const QStringList& lines);
    void progressText(const QString& text);
    void searchFinished();
    void orderFinished();

private:
    class Observer;
    friend class Observer;

    // From the job's thread.
    void PostLine(std::string_view line);
    void PostProgress(std::string_view text);
    void PostDrain();
    // On the station thread.
    void Drain();
    bool Begin();

    SoundPlayer* sounds_;
    StationEventSink* events_;
    bool busy_ = false;
    std::uint64_t generation_ = 0;
    LogSearchResult searchResult_;
    ImportRunResult orderResult_;

    std::mutex mutex_;  // guards the four below
    std::vector<std::string> pendingLines_;
    std::string pendingProgress_;
    bool progressChanged_ = false;
    bool drainPosted_ = false;

    std::unique_ptr<Observer> observer_;
    std::unique_ptr<ProgressJob> job_;  // last: stopped and joined first
};

}  // namespace winorvex
