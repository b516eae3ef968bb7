#pragma once
// The worker thread of one connected box: it reads the box's lines through its transport, hands
// tag reads to the detection pipeline, reacts to the reader's replies, and reports the end of the
// link to the station. A worker started on a closed transport (after a loss) first tries to
// reconnect for GBoxReconnectSeconds.
//
// Threads: the worker thread owns the read side of the transport and the box's last-read list.
// It never waits for the station: connection events are posted through StationEventSink, whose
// handler (BoxManager::OnBoxConnectionEvent) may join this worker. The object that owns the
// thread is used by the station thread only.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "detections/detection_pipeline.h"

namespace winorvex {

class COrvexBox;
class CComBox;
class SoundPlayer;
class StationEventSink;
struct DetectionOutputs;

struct BoxWorkerServices {
    StationEventSink* events = nullptr;   // connection events and the recorded count; none: not reported
    DetectionOutputs* outputs = nullptr;  // forwarding and the pane; none: nothing shown
    SoundPlayer* sounds = nullptr;        // detection and reconnection sounds; none: silent
    // Pause between two status posts of the reconnection procedure (six per attempt).
    std::chrono::milliseconds statusPostInterval{500};
};

class BoxWorker {
public:
    static constexpr int kLineCapacity = 1024;
    static constexpr int kStatusPostsPerAttempt = 6;
    static constexpr std::uint64_t kStatisticsEvery = 200;
    // How often an idle worker looks at its stop request.
    static constexpr std::chrono::milliseconds kIdleWake{50};
    // After a stop request the worker records the lines already received, for at most this long,
    // and stops sooner when no input comes for kStopQuiet.
    static constexpr std::chrono::milliseconds kStopDrainTime{200};
    static constexpr std::chrono::milliseconds kStopQuiet{10};

    // Marks the box's thread as running and starts the worker on it. The box (and its transport)
    // must outlive this object.
    BoxWorker(COrvexBox& box, BoxWorkerServices services);
    // Stops the worker (as RequestStop, and ends a blocked read) and joins it.
    ~BoxWorker();
    BoxWorker(const BoxWorker&) = delete;
    BoxWorker& operator=(const BoxWorker&) = delete;

    // Sets the box's stop request and cuts short a pause of the reconnection procedure. A reading
    // worker then records the complete lines already received (see kStopDrainTime), disconnects
    // the transport itself and ends; a read blocked on half a line ends only when the transport
    // is disconnected.
    void RequestStop();
    // Waits at most the deadline for the thread body to end; true when it did.
    bool WaitFinished(std::chrono::milliseconds deadline);
    // Waits for the thread to end (returns at once when it already did).
    void Join();
    // The thread body is done (it may still need joining).
    bool Finished() const { return finished_.load(); }

    // What the worker did with the tag reads it received since it started; readable from any
    // thread while the worker runs.
    DetectionCounters Counts() const;

    // Workers of the whole process that are between their enter and exit lines.
    static int RunningCount();

private:
    void Run();
    // The reconnection procedure; false when it was given up or stopped.
    bool Reconnect();
    void ReadLoop();
    int ReadOneLine(CComBox& transport, char* buffer);
    void DrainAfterStop(CComBox& transport, DetectionPipeline& pipeline, char* buffer);
    void HandleLine(DetectionPipeline& pipeline, const char* data, int length);
    void HandleLoggingDetail(std::string_view wholeLine);
    void ReportEndOfLink(CComBox& transport);
    void Post(bool unexpected) const;
    bool StopWanted() const;
    // Sleeps unless a stop is requested meanwhile.
    void Pause(std::chrono::milliseconds duration);

    COrvexBox& box_;
    BoxWorkerServices services_;
    std::string label_;  // "Box %d %s", French "[%d] Boîtier %d %s": fixed when the thread starts

    // Treatment-time statistic, in microseconds internally.
    std::int64_t treatmentSumUs_ = 0;
    std::int64_t treatmentCount_ = 0;

    std::atomic<std::uint64_t> tagReads_{0};
    std::atomic<std::uint64_t> recorded_{0};
    std::atomic<std::uint64_t> ignored_{0};
    std::atomic<std::uint64_t> invalid_{0};
    std::atomic<std::uint64_t> downloaded_{0};

    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;  // last: starts once everything above is built
};

}  // namespace winorvex
