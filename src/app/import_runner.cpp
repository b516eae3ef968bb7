#include "app/import_runner.h"

#include <QMetaObject>
#include <QPointer>

#include "app/progress.h"
#include "core/station_events.h"
#include "core/texts.h"

namespace winorvex {

class ImportRunner::Observer : public ImportObserver {
public:
    Observer(ImportRunner& runner, StationEventSink* events) : runner_(runner), events_(events) {}
    void Attach(ProgressState* state) { state_ = state; }

    void OnInformation(std::string_view line) override { runner_.PostLine(line); }
    void OnProgress(std::string_view text) override {
        if (state_ != nullptr) state_->SetCountText(std::string(text));
        runner_.PostProgress(text);
    }
    bool IsCancelled() override { return state_ != nullptr && state_->CheckCancel(); }
    void OnRecordedCountChanged() override {
        if (events_ != nullptr) events_->OnRecordedCountChanged();
    }

private:
    ImportRunner& runner_;
    StationEventSink* events_;
    ProgressState* state_ = nullptr;
};

ImportRunner::ImportRunner(SoundPlayer* sounds, StationEventSink* events, QObject* parent)
    : QObject(parent), sounds_(sounds), events_(events), observer_(std::make_unique<Observer>(*this, events)) {}

ImportRunner::~ImportRunner() {
    StopAndWait();
}

ProgressState* ImportRunner::Progress() {
    return job_ ? &job_->State() : nullptr;
}

void ImportRunner::Cancel() {
    if (job_) job_->State().RequestCancel();
}

void ImportRunner::StopAndWait() {
    if (job_) job_->StopAndWait();
    busy_ = false;
}

bool ImportRunner::Begin() {
    if (busy_) return false;
    job_.reset();  // the last work's thread has ended
    busy_ = true;
    ++generation_;
    std::lock_guard lock(mutex_);
    pendingLines_.clear();
    pendingProgress_.clear();
    progressChanged_ = false;
    return true;
}

bool ImportRunner::StartSearch(LogSearchRequest request, LogSearchSettings settings) {
    if (!Begin()) return false;
    searchResult_ = {};
    job_ = std::make_unique<ProgressJob>(
        SearchProgressTitle(), [this, generation = generation_, request = std::move(request),
                                settings = std::move(settings)](ProgressState& state) {
            state.SetStatus(request.path);
            observer_->Attach(&state);
            LogSearchResult result = SearchReaderLog(request, settings, *observer_, sounds_);
            QMetaObject::invokeMethod(
                this,
                [this, generation, result = std::move(result)]() mutable {
                    // A work stopped by StopAndWait, or one before the current one, says nothing.
                    if (!busy_ || generation != generation_) return;
                    Drain();
                    searchResult_ = std::move(result);
                    busy_ = false;
                    emit searchFinished();
                },
                Qt::QueuedConnection);
        });
    return true;
}

bool ImportRunner::StartOrder(ImportOrder order, FoundDetections found, bool absClock) {
    if (!Begin()) return false;
    orderResult_ = {};
    const char* title = ImportProgressTitle(order.action);
    job_ = std::make_unique<ProgressJob>(title, [this, generation = generation_, order = std::move(order),
                                                 found = std::move(found), absClock](ProgressState& state) {
        state.SetStatus(order.action == ImportAction::Save ? order.outputPath : order.detector);
        observer_->Attach(&state);
        ImportRunResult result = RunImportOrder(order, found, absClock, *observer_, sounds_);
        QMetaObject::invokeMethod(
            this,
            [this, generation, result = std::move(result)]() mutable {
                if (!busy_ || generation != generation_) return;
                Drain();
                orderResult_ = std::move(result);
                busy_ = false;
                emit orderFinished();
            },
            Qt::QueuedConnection);
    });
    return true;
}

void ImportRunner::PostLine(std::string_view line) {
    {
        std::lock_guard lock(mutex_);
        if (pendingLines_.size() >= kMaxPendingLines) {
            pendingLines_.erase(pendingLines_.begin(), pendingLines_.begin() + (kMaxPendingLines / 4));
        }
        pendingLines_.emplace_back(line);
    }
    PostDrain();
}

void ImportRunner::PostProgress(std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        pendingProgress_.assign(text);
        progressChanged_ = true;
    }
    PostDrain();
}

void ImportRunner::PostDrain() {
    {
        std::lock_guard lock(mutex_);
        if (drainPosted_) return;
        drainPosted_ = true;
    }
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
}

void ImportRunner::Drain() {
    std::vector<std::string> lines;
    std::string progress;
    bool progressChanged = false;
    {
        std::lock_guard lock(mutex_);
        drainPosted_ = false;
        lines.swap(pendingLines_);
        progressChanged = progressChanged_;
        progressChanged_ = false;
        if (progressChanged) progress = pendingProgress_;
    }
    if (!lines.empty()) {
        QStringList list;
        list.reserve(static_cast<qsizetype>(lines.size()));
        for (const std::string& line : lines) list.append(QString::fromStdString(line));
        emit informationLines(list);
    }
    if (progressChanged) emit progressText(QString::fromStdString(progress));
}

}  // namespace winorvex
