#pragma once
// The four box slots of the station and their worker threads: connecting every configured box,
// starting and stopping workers, and the station's handling of a box connection event (restarting
// a worker that lost its box, for GBoxReconnectSeconds).
//
// Threads: every method runs on the station thread. Workers report through the StationEventSink
// given here; the station hands each event back to OnBoxConnectionEvent on its own thread. Workers
// never wait for the station, so stopping (joining) a worker from here is always safe.
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "reader/box_status.h"
#include "reader/orvex_box.h"

namespace winorvex {

class BoxWorker;
class OperatorPrompt;
class SoundPlayer;
class StationEventSink;
struct DetectionOutputs;

struct BoxManagerServices {
    StationEventSink* events = nullptr;   // where workers post their connection events and counts
    DetectionOutputs* outputs = nullptr;  // given to the workers
    SoundPlayer* sounds = nullptr;
    OperatorPrompt* prompt = nullptr;  // the two message boxes of ConnectAllBoxes
    // The status picture and tip of one box changed (box number 1..4).
    std::function<void(int boxNumber, BoxStatus status, const std::string& tip)> statusChanged;
    // Ask for a refresh of every status shortly.
    std::function<void()> scheduleStatusRefresh;
    // Open the incoming-detections file; by default the file last opened is opened again.
    std::function<void()> openDetectionFile;
    // Pause between the status posts of a reconnecting worker.
    std::chrono::milliseconds statusPostInterval{500};
};

enum class ConnectAllOutcome {
    NoBoxDeclared,    // no configured box: message shown, connect button released
    NoneInitialised,  // no configured box could be connected: message shown, button released
    Connected,        // workers started: button pressed
    Disconnected,     // some box was active: every box stopped, button released
};

class BoxManager {
public:
    static constexpr int kSlotCount = COrvexBox::kSlotCount;
    // How long a stop waits for a worker to record what it already received before cutting its link.
    static constexpr std::chrono::milliseconds kStopGrace{500};

    explicit BoxManager(BoxManagerServices services);
    // Stops every worker.
    ~BoxManager();
    BoxManager(const BoxManager&) = delete;
    BoxManager& operator=(const BoxManager&) = delete;

    // Slot 1..4. The slots live as long as the manager.
    COrvexBox& Box(int boxNumber);
    const COrvexBox& Box(int boxNumber) const;

    // Loads the four slots from the settings (section "OrvexBoxes").
    void LoadAllSlots();

    // One connection attempt of the box (logged; never a message box).
    bool ConnectBox(int boxNumber);
    // The connect / disconnect toggle.
    ConnectAllOutcome ConnectAllBoxes();

    // Starts the box's worker; on a closed transport it tries to reconnect. False when a worker of
    // this box is still running.
    bool StartBoxThread(int boxNumber);
    // Stops the box's worker and waits for it: the lines the reader already sent are recorded first
    // (within kStopGrace). Never restarts it.
    void StopBoxThread(int boxNumber);
    // Stops every worker, then closes the incoming-detections file.
    void StopAllBoxThreads();

    // The station's handler of a box connection event posted by a worker.
    void OnBoxConnectionEvent(int boxNumber, bool unexpected);
    void UpdateBoxStatus(int boxNumber);
    void RefreshAllStatus();

    // A worker object exists for the box (running or ended but not yet joined).
    bool HasWorker(int boxNumber) const;

private:
    int Index(int boxNumber) const;
    void ScheduleStatusRefresh();

    BoxManagerServices services_;
    std::array<COrvexBox, kSlotCount> boxes_;
    // After boxes_: workers are destroyed (joined) before the boxes they read.
    std::array<std::unique_ptr<BoxWorker>, kSlotCount> workers_;
};

}  // namespace winorvex
