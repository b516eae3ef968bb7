#pragma once
// The recorded detections on their way to the results program, and how far it is known to have
// read them.
//
// Nothing is copied: the forwarder keeps the positions of the forwarded records in the result
// list, in recording order, and the link thread formats the lines from the list itself when the
// socket can take them. So every box's detections leave in recording order, a backlog waits in
// front of the new lines instead of mixing with them, and nothing is ever refused for want of
// room.
//
// The results program answers every "AddRixClock" with a runner record carrying NUMBER and TIME,
// in order: the answers are the mark of what it has read. A link that ends leaves the next one
// to start after the last answered detection, or, on a link where no detection was answered,
// after the detections written before the last request that was answered (a results program
// reads in order, so it read those); with BResendWhileDisconnected the next link sends again
// everything recorded from there on.
//
// Threads: box workers call OnRecorded under the result list's lock (it never waits for the link
// thread: it only appends a position and signals); the link thread calls the rest, taking the
// list's lock only to format or match a few lines, never across a socket call. The station
// thread calls SetResend and Counters.
//
// An answer is looked up by its NUMBER among the written, unanswered lines, however many the
// results program left unanswered before it: each bib's lines are chained in order as they are
// formatted, so a match costs the same far behind as near, and the chains are pruned as the mark
// moves on (only what is written and unanswered on the link is held).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory_resource>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winorvex {

class WakeEvent;
class Windows1252Encoder;

struct ForwarderCounters {
    std::size_t forwarded = 0;  // detections handed to the forwarder since the list was last cleared
    std::size_t answered = 0;   // of those, known to be read by the results program
    std::size_t waiting = 0;    // not yet written to the current link (the backlog)
};

class DetectionForwarder {
public:
    // How many written, unanswered detections of one bib an answer's TIME is compared with; past
    // them the first of that bib is taken (it was read all the same).
    static constexpr std::size_t kAnswerWindow = 4096;
    using Clock = std::chrono::steady_clock;

    DetectionForwarder() = default;
    DetectionForwarder(const DetectionForwarder&) = delete;
    DetectionForwarder& operator=(const DetectionForwarder&) = delete;

    // Under the result list's lock: the record at this position (from 0) is for the results program.
    void OnRecorded(std::size_t position);

    // BResendWhileDisconnected: a new link starts where the results program stopped reading, not
    // with the detections recorded after it connected.
    void SetResend(bool resend);
    bool Resend() const;

    // ---- the link thread -----------------------------------------------------------------
    // A link is connected; wake is signalled when a detection waits (until EndLink).
    void BeginLink(const WakeEvent& wake);
    // Appends the next waiting lines ("AddRixClock(...)" in Windows-1252 with CR LF) to out,
    // stopping once out holds maxBytes; lineEnds gets each line's end offset in out. Returns the
    // number of lines appended.
    std::size_t FillBatch(std::string& out, std::vector<std::size_t>& lineEnds, std::size_t maxBytes,
                          Windows1252Encoder& encoder);
    // The next `count` lines of the batches are wholly in the socket.
    void OnLinesWritten(std::size_t count, Clock::time_point now);
    // A request line answered by "NFO:<answerCode>" is wholly in the socket.
    void OnRequestWritten(int answerCode);
    // A line from the results program (UTF-8, without its line end).
    void OnLineReceived(std::string_view line, Clock::time_point now);
    // True while detections written on this link wait for an answer and the results program
    // answered detections on it before; since: the last answer (or the first write after one).
    bool AwaitingAnswers(Clock::time_point& since) const;
    // The link ended. Returns the number of detections not known to be read.
    std::size_t EndLink();

    ForwarderCounters Counters() const;

private:
    struct Request {
        int answerCode = 0;
        std::size_t written = 0;  // detections wholly written before it
    };
    // A formatted line's bib, and the next formatted line with the same one.
    struct Sent {
        int number = 0;
        std::uint32_t next = kNoLine;
    };
    // The first and last formatted lines of one bib not yet passed by the pruning.
    struct Chain {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
    };
    static constexpr std::uint32_t kNoLine = UINT32_MAX;
    // Passed lines taken out of the chains per batch or answer: more than an answer moves the
    // mark on average, so the pruning keeps up without one long stop under the lock.
    static constexpr std::size_t kPruneSteps = 2 * kAnswerWindow;

    void ResetLocked(std::uint64_t generation);
    void ClearChainsLocked(std::size_t from);
    void ChainLocked(int number);
    void PruneLocked(std::size_t steps);
    Sent& SentAt(std::size_t index) { return sent_[index - sentBase_]; }
    bool MatchAnswer(int number, std::string_view time, Clock::time_point now);

    mutable std::mutex mutex_;
    bool resend_ = false;
    std::uint64_t generation_ = 0;      // of the result list the positions belong to
    std::vector<std::uint32_t> order_;  // positions of the forwarded records, in recording order
    const WakeEvent* wake_ = nullptr;   // the connected link's, or none
    bool wakePending_ = false;          // signalled, not yet taken by FillBatch
    bool linked_ = false;
    std::size_t cursor_ = 0;        // next index of order_ to format
    std::size_t written_ = 0;       // indices below are wholly in the socket
    std::size_t answered_ = 0;      // indices below are known to be read
    std::size_t receivedMark_ = 0;  // indices below were written before an answered request
    std::size_t resume_ = 0;        // where the next link starts when resending
    bool answersOnLink_ = false;
    Clock::time_point waitingSince_{};
    std::deque<Request> requests_;  // written on this link, not answered yet
    // From sentBase_ to cursor_: the formatted lines' bibs; chains_ leads from each bib to its
    // first line at or after pruned_ (indices below pruned_ are left out of every chain).
    std::vector<Sent> sent_;
    std::size_t sentBase_ = 0;
    std::size_t pruned_ = 0;
    // The chains come and go with the bibs: their nodes are kept for the next ones.
    std::pmr::unsynchronized_pool_resource chainPool_;
    std::pmr::unordered_map<int, Chain> chains_{&chainPool_};
};

}  // namespace winorvex
