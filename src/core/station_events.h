#pragma once
// What worker threads tell the station, and what the station asks of the operator and the
// speakers. Workers never wait for the station: implementations post (queued) and return.
#include <string>
#include <string_view>

namespace winorvex {

// Posted by worker threads; the Qt implementation queues to the station thread, tests record.
class StationEventSink {
public:
    virtual ~StationEventSink() = default;
    // A box's connection changed. unexpected: false when the program stopped the box or a
    // reconnection is under way or was abandoned, true on an unexpected loss.
    virtual void OnBoxConnectionEvent(int boxNumber, bool unexpected) = 0;
};

// The station's sounds, by their resource numbers.
enum class StationSound {
    LinkAlarm = 129,       // the direct connection was lost
    ConnectionMade = 132,  // boxes connected, results program connected
    Detection = 133,       // an accepted detection
    Completion = 134,      // an operation finished (forget all, export, import)
    Quit = 135,            // before the exit question
    Warning = 140,         // a balloon warning
    BoxLost = 163,         // a box lost unexpectedly
    BoxReconnected = 165,  // a lost box is back
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Asynchronous; no audio device means silence, never an error.
    virtual void Play(StationSound sound) = 0;
};

// Every question, warning and information box goes through this.
class OperatorPrompt {
public:
    virtual ~OperatorPrompt() = default;
    virtual bool AskYesNo(std::string_view text, bool defaultYes) = 0;
    virtual void Warn(std::string_view text) = 0;
    virtual void Inform(std::string_view text) = 0;
};

// An alert: optionally a warning box, always the log line "######## " + text at level 0.
void ShowAlert(std::string_view text, OperatorPrompt* promptOrNull);

}  // namespace winorvex
