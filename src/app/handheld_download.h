#pragma once
// The handheld download's work without its widgets: asking a connected handheld reader for its
// logging detail, starting the download of its memory into a file, clearing its memory with the
// progress its worker reports, and its recording switch.
//
// The reader answers on the box's worker thread, which stores the answer in the box; this model
// sends the commands and reads what was stored, one step per Tick. Every wait is bounded: a reader
// that never answers, a clearing that stops moving or a box that goes away end the wait with a
// message, never with "cleared".
//
// Threads: the station thread only.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/download_boxes.h"

namespace winorvex {

class BoxManager;
class COrvexBox;
class SoundPlayer;

inline constexpr const char* kDownloadHandheldSection = "DownloadHandheld";
inline constexpr const char* kDownloadHandheldPathKey = "DownloadHandheldPath";

struct HandheldTimings {
    std::chrono::milliseconds detailPoll{1000};
    std::chrono::milliseconds detailWait{10000};  // no logging detail by then: the reader is not answering
    std::chrono::milliseconds clearPoll{500};
    std::chrono::milliseconds clearStuck{10000};  // the same progress for this long: the clearing is stuck
    std::chrono::milliseconds commandPause{100};  // between the commands of the clearing sequence
};

class HandheldDownloadModel {
public:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Idle, WaitingDetail, Clearing };

    // sounds may be null.
    HandheldDownloadModel(BoxManager& boxes, SoundPlayer* sounds, HandheldTimings timings = {});

    const std::vector<DeclaredBox>& Boxes() const { return declared_; }
    // The information list as it should be shown now.
    const std::vector<std::string>& Information() const { return information_; }
    Phase CurrentPhase() const { return phase_; }
    // How long until the next Tick is due in the current phase.
    std::chrono::milliseconds PollInterval() const;

    // The refresh of the box at `index` into Boxes(): asks for the logging detail. False when the
    // request could not be sent (the error is the information then, with the warning sound).
    bool Refresh(int index);
    // One poll of the current phase; true when the information changed.
    bool Tick(Clock::time_point now);
    bool Tick() { return Tick(Clock::now()); }

    // Starts the download of the box's memory into folder + "/" + file tag + "-yyyymmdd-hhmmss.log"
    // and returns that path; nothing, with the reason in `error`, when the reader could not be
    // told or the file not created.
    std::optional<std::string> StartDownload(int index, const std::string& folder, std::string& error);

    // The clearing sequence: record stop, play stop, clear buffer. False (and no polling) when a
    // command could not be sent; the error is the information then.
    bool StartClearing(int index);
    // Record start or stop; false with the error as information when it could not be sent.
    bool SetRecording(int index, bool on);

    // The dialog ends: polling stops, a clearing that has not finished leaves no progress behind.
    void Stop();

private:
    COrvexBox* BoxAt(int index);
    void ShowOnly(std::string line);
    void Fail(const std::string& error);
    bool TickDetail(Clock::time_point now);
    bool TickClearing(Clock::time_point now);

    BoxManager& boxes_;
    SoundPlayer* sounds_;
    HandheldTimings timings_;
    std::vector<DeclaredBox> declared_;
    std::vector<std::string> information_;
    Phase phase_ = Phase::Idle;
    int current_ = -1;  // index into declared_ of the box the phase concerns
    Clock::time_point phaseStart_{};
    int lastPercent_ = -1;
    Clock::time_point lastChange_{};
};

}  // namespace winorvex
