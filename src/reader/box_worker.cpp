#include "reader/box_worker.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <string_view>

#include "core/chrono.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "detections/detection_pipeline.h"
#include "detections/reader_line.h"
#include "detections/record_detection.h"
#include "reader/box_connect.h"
#include "reader/com_box.h"
#include "reader/logging_detail.h"
#include "reader/orvex_box.h"

namespace winorvex {

namespace {

std::atomic<int> gRunningWorkers{0};

using SteadyClock = std::chrono::steady_clock;

// Saves the reads of a running download into the box's download file instead of recording them.
class BoxDownloadSink final : public DownloadSink {
public:
    explicit BoxDownloadSink(COrvexBox& box) : box_(box) {}

    bool SaveIfDownloading(std::string_view fullLine) override {
        // A read that the file did not take (the download was being stopped meanwhile) is
        // recorded instead: dropped here, it would be in neither place.
        return box_.IsDownloading() && box_.WriteDownloadLine(fullLine);
    }

private:
    COrvexBox& box_;
};

}  // namespace

BoxWorker::BoxWorker(COrvexBox& box, BoxWorkerServices services) : box_(box), services_(services) {
    // Set before the thread exists, so that nobody can exchange the transport under a worker
    // that has not reached its first line yet.
    box_.SetThreadRunning(true);
    thread_ = std::thread([this] { Run(); });
}

BoxWorker::~BoxWorker() {
    RequestStop();
    CComBox* transport = box_.Transport();
    if (!Finished() && transport != nullptr && transport->IsOpen()) transport->Disconnect();
    Join();
}

void BoxWorker::RequestStop() {
    box_.SetStopRequested(true);
    {
        std::lock_guard lock(pauseMutex_);
        stop_.store(true);
    }
    pauseWake_.notify_all();
}

void BoxWorker::Join() {
    if (thread_.joinable()) thread_.join();
}

int BoxWorker::RunningCount() {
    return gRunningWorkers.load();
}

DetectionCounters BoxWorker::Counts() const {
    DetectionCounters counts;
    counts.downloaded = downloaded_.load(std::memory_order_relaxed);
    counts.invalid = invalid_.load(std::memory_order_relaxed);
    counts.ignored = ignored_.load(std::memory_order_relaxed);
    counts.recorded = recorded_.load(std::memory_order_relaxed);
    // Read last and published last: a reader that sees n tag reads sees their outcomes too.
    counts.tagReads = tagReads_.load(std::memory_order_acquire);
    return counts;
}

bool BoxWorker::StopWanted() const {
    return stop_.load() || box_.IsStopRequested();
}

void BoxWorker::Pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(pauseMutex_);
    pauseWake_.wait_for(lock, duration, [this] { return StopWanted(); });
}

void BoxWorker::Post(bool unexpected) const {
    if (services_.events != nullptr) services_.events->OnBoxConnectionEvent(box_.BoxNumber(), unexpected);
}

void BoxWorker::Run() {
    const int threadId = static_cast<int>(::gettid());
    CComBox* transport = box_.Transport();
    const std::string description = transport != nullptr ? box_.Address().Description() : std::string();
    label_ = CurrentLanguage() == Language::English
                 ? Format("Box %d %s", box_.BoxNumber(), description.c_str())
                 : Format("[%d] Boîtier %d %s", threadId, box_.BoxNumber(), description.c_str());

    const int entered = gRunningWorkers.fetch_add(1) + 1;
    LogF(0, "%s : ENTER thread %d (%d).", label_.c_str(), threadId, entered);

    try {
        const bool connected = transport != nullptr && (transport->IsOpen() || Reconnect());
        if (connected) {
            ReadLoop();
            transport->Close();
            LogF(80, Tr("+ %s : Arrêt thread", "+ %s : Thread stopped"), label_.c_str());
            LogF(80, Tr("+ %s : Effacement du cache des détections", "+ %s : Clear detections cache"), label_.c_str());
            box_.LastDetections().Clear();
        }
    } catch (const std::exception& error) {
        // Nothing below is expected to throw; if it does, the box is reported lost rather than
        // taking the whole station down.
        LogF(0, "+ %s : Exception caught: %s", label_.c_str(), error.what());
        if (transport != nullptr) {
            box_.SetReconnecting(false);
            transport->Close();
        }
        box_.LastDetections().Clear();
        Post(true);
    }

    LogF(0, "%s : EXIT thread %d (%d).", label_.c_str(), threadId, gRunningWorkers.load());
    gRunningWorkers.fetch_sub(1);
    box_.SetThreadRunning(false);
    {
        std::lock_guard lock(pauseMutex_);
        finished_.store(true);
    }
    pauseWake_.notify_all();
}

bool BoxWorker::WaitFinished(std::chrono::milliseconds deadline) {
    std::unique_lock lock(pauseMutex_);
    return pauseWake_.wait_for(lock, deadline, [this] { return finished_.load(); });
}

bool BoxWorker::Reconnect() {
    const int seconds = Settings().boxReconnectSeconds.load();
    LogF(0,
         Tr("+ %s : Tentative de reconnexion automatique pendant %d secondes",
            "+ %s : Attempt to reconnect during %d seconds"),
         label_.c_str(), seconds);
    box_.SetReconnecting(true);
    const auto start = SteadyClock::now();

    while (!ConnectBox(box_)) {
        for (int i = 0; i < kStatusPostsPerAttempt; ++i) {
            if (StopWanted()) {
                box_.SetReconnecting(false);
                LogF(0, Tr("+ %s : Arrêt thread. Erreur de reconnexion", "+ %s : Thread stopped. Could not reconnect"),
                     label_.c_str());
                return false;
            }
            Post(false);
            Pause(services_.statusPostInterval);
        }
        if (SteadyClock::now() - start > std::chrono::seconds(seconds)) {
            box_.SetReconnecting(false);
            Post(false);
            return false;
        }
    }

    LogF(0, Tr("+ %s : Reconnexion effectuée avec succès", "+ %s : Reconnection successful"), label_.c_str());
    // Cleared before the event, so that the status it refreshes already shows the box connected.
    box_.SetReconnecting(false);
    Post(false);
    if (services_.sounds != nullptr) services_.sounds->Play(StationSound::BoxReconnected);
    return true;
}

void BoxWorker::ReadLoop() {
    CComBox& transport = *box_.Transport();
    LogF(80, Tr("+ %s : Démarrage thread - check-ms: %dms", "+ %s : Starting thread - check-ms: %dms"), label_.c_str(),
         Settings().readMsDelta.load());
    box_.LastDetections().Clear();
    treatmentSumUs_ = 0;
    treatmentCount_ = 0;

    BoxDownloadSink download(box_);
    DetectionPipeline pipeline(BoxIdentity{label_, box_.GetDetectorId(), box_.Address().Description()},
                               box_.LastDetections(),
                               PipelineServices{services_.outputs, services_.events, services_.sounds, &download});

    char buffer[kLineCapacity];
    for (;;) {
        if (StopWanted()) {
            DrainAfterStop(transport, pipeline, buffer);
            return;
        }
        if (!transport.HasBufferedLine()) {
            // The check interval paces a reader that trickles. Input already waiting (a burst) is
            // read on: a TCP buffer holds only about a hundred lines, so checking the transport's
            // own buffer alone would still pause every hundred.
            const int pauseMs = Settings().readMsDelta.load(std::memory_order_relaxed);
            if (pauseMs > 0 && transport.WaitReadable(0) != 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
            // A bounded wait, so that an idle worker sees a stop request (and writes the summary of
            // the log lines it held back) without its link being cut.
            if (transport.WaitReadable(static_cast<int>(kIdleWake.count())) == 0) {
                pipeline.FloodLimit().Flush();
                continue;
            }
        }

        const int length = ReadOneLine(transport, buffer);
        if (length == 0 && !transport.IsClosedOnRequest()) {
            // A lone line feed from the reader: nothing to handle, and the link is fine.
            LogF(100, Tr("+ %s : Ligne vide ignorée", "+ %s : Empty line skipped"), label_.c_str());
            continue;
        }
        if (length <= 0) {
            pipeline.FloodLimit().Flush();
            ReportEndOfLink(transport);
            return;
        }
        HandleLine(pipeline, buffer, length);
    }
}

int BoxWorker::ReadOneLine(CComBox& transport, char* buffer) {
    try {
        return transport.ReadLine(buffer, kLineCapacity);
    } catch (...) {
        LogF(0, "+ %s : Exception caught in ReadAvailable", label_.c_str());
        return -1;
    }
}

void BoxWorker::DrainAfterStop(CComBox& transport, DetectionPipeline& pipeline, char* buffer) {
    // The lines the reader already sent are detections the station received: record them before
    // closing. Bounded in time; and it ends as soon as the input stays quiet a moment, so a
    // reader that keeps sending cannot hold the stop up. A line left half-received is cut by the
    // station's Disconnect after its grace period.
    const auto end = SteadyClock::now() + kStopDrainTime;
    int drained = 0;
    while (SteadyClock::now() < end) {
        if (!transport.HasBufferedLine() && transport.WaitReadable(static_cast<int>(kStopQuiet.count())) != 1) break;
        const int length = ReadOneLine(transport, buffer);
        if (length < 0) break;
        if (length == 0) continue;
        HandleLine(pipeline, buffer, length);
        ++drained;
    }
    pipeline.FloodLimit().Flush();
    if (drained > 0) {
        LogF(80, Tr("+ %s : %d lignes lues après la demande d'arrêt", "+ %s : %d lines read after the stop request"),
             label_.c_str(), drained);
    }
    transport.Disconnect();
    ReportEndOfLink(transport);
}

void BoxWorker::ReportEndOfLink(CComBox& transport) {
    // Closed before the event: its handler tells a lost box from a status refresh by IsOpen.
    transport.Close();
    if (transport.IsClosedOnRequest()) {
        Post(false);
        LogF(0, Tr("+ %s : Déconnexion demandée", "+ %s : Disconnection requested"), label_.c_str());
    } else {
        Post(true);
        ShowAlert(Format(Tr("## %s : Erreur de réception boîtier", "## %s : Box reception failed"), label_.c_str()),
                  nullptr);
    }
}

void BoxWorker::HandleLine(DetectionPipeline& pipeline, const char* data, int length) {
    ReaderLine line;
    const auto started = SteadyClock::now();
    if (!ClassifyReaderLine(std::string_view(data, static_cast<std::size_t>(length)), line, &pipeline.FloodLimit())) {
        pipeline.LogInvalidInput(line.text);
        return;
    }

    switch (line.kind) {
        case kLineTagRead: {
            pipeline.HandleTagRead(line);
            const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - started);
            treatmentSumUs_ += spent.count();
            ++treatmentCount_;
            const DetectionCounters& counters = pipeline.Counters();
            recorded_.store(counters.recorded, std::memory_order_relaxed);
            ignored_.store(counters.ignored, std::memory_order_relaxed);
            invalid_.store(counters.invalid, std::memory_order_relaxed);
            downloaded_.store(counters.downloaded, std::memory_order_relaxed);
            tagReads_.store(counters.tagReads, std::memory_order_release);
            if (counters.tagReads % kStatisticsEvery == 0) {
                LogF(0,
                     Tr(">> Temps moyen (sur les %d dernières) de traitement de détections : %d ms  [%d ignorées, %d "
                        "invalides]",
                        ">> Mean time (on %d last) for detection treatment: %d ms  [%d ignored, %d invalid]"),
                     static_cast<int>(treatmentCount_), static_cast<int>(treatmentSumUs_ / treatmentCount_ / 1000),
                     static_cast<int>(counters.ignored), static_cast<int>(counters.invalid));
                treatmentSumUs_ = 0;
                treatmentCount_ = 0;
            }
            break;
        }
        case kLineClockSetAck:
            LogF(0, Tr("+ %s : Boitier synchronisé (Lite)", "+ %s : Box synchronized (Lite)"), label_.c_str());
            break;
        case kLineClockReply: {
            CChrono readerTime;
            CChrono readerTimeOfDay;
            if (DecodeLiteClock(line.text, readerTime, readerTimeOfDay)) {
                CChrono now;
                now.SetNowDaily();
                LogF(0, Tr("+ %s : Lite Date %s  %s (heure reçue à %s)", "+ %s : Lite Date %s  %s (time got at %s)"),
                     label_.c_str(), readerTime.FormatDateShort().c_str(),
                     readerTimeOfDay.FormatDailyRoundedUp().c_str(), now.FormatDailyHundredths().c_str());
            }
            break;
        }
        case kLineLoggingAck:
        case kLineLoggingReply:
            LogF(100, Tr("+ %s : Réponse commande logging", "+ %s : Response logging command"), label_.c_str());
            break;
        case kLineLoggingDetail:
            HandleLoggingDetail(line.fullLine);
            break;
        case kLineClearingProgress: {
            const int percent = DecodeClearingProgress(line.fullLine);
            box_.SetClearingPercent(percent);
            LogF(100, Tr("+ %s : Effacement en cours: %d%%", "+ %s : Clearing: %d%%"), label_.c_str(), percent);
            break;
        }
        default:
            pipeline.LogUnhandledReply(line.fullLine);
            break;
    }
}

void BoxWorker::HandleLoggingDetail(std::string_view wholeLine) {
    CLoggingDetail detail;
    const bool parsed = detail.Parse(wholeLine);
    LogF(100, Tr("+ %s : Détail commande logging: %s", "+ %s : Logging command detail: %s"), label_.c_str(),
         detail.SummaryText().c_str());
    box_.SetLastLoggingDetail(wholeLine);
    // A reply whose counters could not be read says nothing about what is left: ending the
    // download on it would leave records out of the file while reporting it complete.
    if (parsed && box_.IsDownloading() && detail.NotYetPlayedBack() <= 0) {
        std::string error;
        if (!box_.StopDownload(error)) LogF(0, "## %s : %s", label_.c_str(), error.c_str());
    }
}

}  // namespace winorvex
