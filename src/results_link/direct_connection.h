#pragma once
// The direct connection to the results program: a TCP client link owned by the station.
//
// Threads: one link thread per switched-on link connects, retries, reads the results program's
// lines and writes the lines handed to SendDirectLine. Any thread may call the methods below;
// SendDirectLine never blocks (box workers call it while they hold the result list's lock): it
// queues the line, in order, and the link thread writes it. Everything the link has to tell goes
// through the StationEventSink, which must post and return (never call back into this object).
//
// After StopDirectConnection returns, the link stopped posts nothing more: its last event, a
// Closed state, has been posted by then. Every event carries the generation of its link.
//
// With a DetectionForwarder the link thread also writes the recorded detections, in recording
// order, from the result list (see detection_forwarder.h), and watches the results program's
// answers to them.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/station_events.h"
#include "results_link/windows1252.h"

namespace winorvex {

class DetectionForwarder;
class TcpSocket;

// The station uses the defaults; tests shorten or stretch the times.
struct DirectLinkTuning {
    std::chrono::milliseconds connectTimeout{2000};  // per attempt
    // The shortest pause between two attempts, whatever ReconnectSeconds says.
    std::chrono::milliseconds minimumRetryPause{250};
    // Data waits to be written and the results program takes none of it for this long: the
    // link counts as lost.
    std::chrono::milliseconds sendStallLimit{5000};
    // Bytes of queued lines (each with its line end) beyond which SendDirectLine refuses a line.
    // Far more than readers produce within sendStallLimit, so a refusal only happens on a link
    // that is about to be declared lost.
    std::size_t maxQueuedBytes = 4u << 20;
    // A received line longer than this is cut (with a log line); the rest up to its line feed
    // is dropped. Runner records with long names and teams pass 2 KiB.
    std::size_t maxLineBytes = 65536;
    // SO_SNDBUF of the link's socket; 0 keeps the system's (tests make it small).
    int socketSendBuffer = 0;
    // How long StopDirectConnection waits for the link thread (it only fails to end in time
    // while it resolves a host name; it then ends on its own, silenced).
    std::chrono::milliseconds stopWait{300};
};

struct DirectLinkCounters {
    std::uint64_t linesQueued = 0;    // accepted by SendDirectLine
    std::uint64_t linesRefused = 0;   // refused while connected (queue full)
    std::uint64_t bytesWritten = 0;   // handed to the socket
    std::uint64_t linesReceived = 0;  // posted to the sink
    std::uint64_t linesCut = 0;       // received lines cut to maxLineBytes
};

class DirectConnection {
public:
    explicit DirectConnection(StationEventSink& sink, DirectLinkTuning tuning = {},
                              DetectionForwarder* forwarder = nullptr);
    ~DirectConnection();
    DirectConnection(const DirectConnection&) = delete;
    DirectConnection& operator=(const DirectConnection&) = delete;

    // Does nothing while a link thread runs. Port 0 starts nothing but the final Closed state
    // (port 0 is the stop request). reconnectSeconds below 1 still pauses minimumRetryPause.
    // Returns the generation of the link that runs afterwards (0: none could start).
    std::uint64_t StartDirectConnection(const std::string& host, int port, int reconnectSeconds);
    // Ends the link, connecting or connected, and returns promptly. Nothing happens when no
    // link thread runs.
    void StopDirectConnection();
    bool IsDirectConnected() const;
    bool IsDirectConnecting() const;  // a link thread runs and is not connected

    // Detections written and left unanswered this long, while the results program answered
    // before, are reported once as DirectLinkState::Unanswered (0: never). Needs a forwarder.
    void SetUnansweredAlarm(std::chrono::milliseconds after);

    // Queues text + CR LF, converted to Windows-1252. False when the link is not connected or the
    // queue is full (nothing is queued then); true when the line will be written in order.
    bool SendDirectLine(std::string_view text);

    // Without a forwarder: lines queued on the links that have ended but never handed to the
    // socket (a line the socket took only in part counts as not handed), oldest first; the list
    // is emptied. They may be sent again once the link is back. At most kMaxUnsentLines are kept (the
    // newest); the detections themselves stay in the result list whatever happens here.
    static constexpr std::size_t kMaxUnsentLines = 100000;
    std::vector<std::string> TakeUnsentLines();

    DirectLinkCounters Counters() const;

private:
    struct Session;

    void Run(Session& session);
    // Returns the reason the connected link ended; lost is false when it was asked to end.
    std::string Serve(Session& session, TcpSocket& socket, bool& lost, std::size_t& unsent);
    bool ReceiveLines(Session& session, int fd, std::string& line, bool& cutting, std::string& reason);
    void DeliverLine(Session& session, std::string& line, bool cut);
    std::size_t KeepUnsent(Session& session, const std::string& written, std::size_t writtenUpTo);
    void CheckAnswers(Session& session, std::optional<std::chrono::steady_clock::time_point>& alarmedSince,
                      int& timeoutMs);
    void NoteRequestsWritten(std::string_view requests);
    void Post(Session& session, const DirectLinkStateEvent& event);
    void PostFinal(Session& session, const DirectLinkStateEvent& event);
    void ReapFinished(std::vector<std::unique_ptr<Session>>& finished);

    StationEventSink& sink_;
    const DirectLinkTuning tuning_;
    DetectionForwarder* const forwarder_;
    Windows1252Encoder encoder_;
    std::atomic<std::int64_t> unansweredAlarmMs_{0};
    std::uint64_t lastGeneration_ = 0;  // guarded by mutex_

    mutable std::mutex mutex_;  // guards session_ and retired_ (never held across a wait)
    std::unique_ptr<Session> session_;
    std::vector<std::unique_ptr<Session>> retired_;  // stopped, their thread not yet joined

    std::mutex unsentMutex_;
    std::vector<std::string> unsent_;

    std::atomic<std::uint64_t> linesQueued_{0};
    std::atomic<std::uint64_t> linesRefused_{0};
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::atomic<std::uint64_t> linesReceived_{0};
    std::atomic<std::uint64_t> linesCut_{0};
};

}  // namespace winorvex
