#pragma once
// What worker threads tell the station, and what the station asks of the operator and the
// speakers. Workers never wait for the station: implementations post (queued) and return.
//
// Every event crossing threads is a copyable value; nothing in it points into another thread's data.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

// The direct connection to the results program.
enum class DirectLinkState {
    Connecting = 1,
    Connected = 2,
    Closed = 3,  // closed on request, lost, or could not connect
    // Connected, but detections sent stay unanswered although the results program answered
    // before: it has stopped reading (the link is kept).
    Unanswered = 4,
};

struct DirectLinkStateEvent {
    DirectLinkState state = DirectLinkState::Closed;
    // The link that reports (each start of the link has a new one): the station ignores what a
    // link it has stopped still has to say.
    std::uint64_t generation = 0;
    // Closed only: true when the link was up and went away without being asked to.
    bool lost = false;
    std::string reason;  // Closed only: why, for the log (may be empty)
    // Closed only: an attempt to connect failed and another follows after the pause; the link
    // is still wanted. False on the last Closed of a link, which ends its thread.
    bool retrying = false;
    // Closed only: lines handed to the link that never reached the socket (see TakeUnsentLines).
    std::size_t unsentLines = 0;
    // Unanswered only: how long the oldest unanswered detection has waited, in seconds.
    int unansweredSeconds = 0;
};

// One line received from the results program, without its line end, already UTF-8.
struct DirectLineEvent {
    std::uint64_t generation = 0;  // of the link that received it
    std::string line;
};

// A transfer of the FTP job thread changed state.
struct FtpJobStateEvent {
    int state = 0;  // the job's state number (started, done, failed ...)
    std::string label;
    std::string remoteName;
    std::string errorText;  // failed only
    bool upload = true;     // false for a download
    // Done or failed only: the labels of the waiting jobs for the same transfer (site, folder,
    // file) that this one took the place of, oldest first. They end with it, as it ends.
    std::vector<std::string> replacedLabels;
};

// An alert raised on any thread, shown by the station on its own thread.
struct AlertEvent {
    std::string text;
    bool withMessageBox = false;
};

// Posted by worker threads; the Qt implementation queues to the station thread, tests record.
class StationEventSink {
public:
    virtual ~StationEventSink() = default;
    // A box's connection changed. unexpected: false when the program stopped the box or a
    // reconnection is under way or was abandoned, true on an unexpected loss.
    virtual void OnBoxConnectionEvent(int boxNumber, bool unexpected) = 0;
    // The number of recorded (or active) detections changed; implementations coalesce bursts.
    virtual void OnRecordedCountChanged() = 0;
    virtual void OnDirectLinkState(const DirectLinkStateEvent& event) = 0;
    virtual void OnDirectLine(const DirectLineEvent& event) = 0;
    virtual void OnFtpJobState(const FtpJobStateEvent& event) = 0;
    virtual void OnAlert(const AlertEvent& event) = 0;
};

// For tools and tests that listen to nothing.
class NullStationEventSink : public StationEventSink {
public:
    void OnBoxConnectionEvent(int, bool) override {}
    void OnRecordedCountChanged() override {}
    void OnDirectLinkState(const DirectLinkStateEvent&) override {}
    void OnDirectLine(const DirectLineEvent&) override {}
    void OnFtpJobState(const FtpJobStateEvent&) override {}
    void OnAlert(const AlertEvent&) override {}
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
    // Asynchronous and callable from any thread; no audio device means silence, never an error.
    virtual void Play(StationSound sound) = 0;
};

// A question whose answer is a text (a marker label, a name).
struct TextQuestion {
    std::string title;
    std::string prompt;   // line feeds are line breaks
    std::string initial;  // the text the field starts with
    bool multiLine = false;
    bool masked = false;    // a password: typed characters are not shown
    bool noCancel = false;  // the operator must answer
};

// Every question, warning and information box goes through this.
class OperatorPrompt {
public:
    virtual ~OperatorPrompt() = default;
    virtual bool AskYesNo(std::string_view text, bool defaultYes) = 0;
    virtual void Warn(std::string_view text) = 0;
    virtual void Inform(std::string_view text) = 0;
    // The text as typed (the caller trims it), or nothing when the operator cancelled. Without
    // an implementation of its own a prompt cancels every text question.
    virtual std::optional<std::string> AskText(const TextQuestion& question) {
        (void)question;
        return std::nullopt;
    }
};

// An alert: optionally a warning box, always the log line "######## " + text at level 0.
void ShowAlert(std::string_view text, OperatorPrompt* promptOrNull);

}  // namespace winorvex
