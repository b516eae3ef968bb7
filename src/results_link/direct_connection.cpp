#include "results_link/direct_connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "core/log.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "results_link/detection_forwarder.h"
#include "results_link/link_socket.h"
#include "results_link/results_messages.h"
#include "results_link/windows1252.h"

namespace winorvex {

using SteadyClock = std::chrono::steady_clock;

struct DirectConnection::Session {
    std::string host;
    int port = 0;
    int reconnectSeconds = 0;
    std::uint64_t generation = 0;
    WakeEvent wake;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{true};

    // Outgoing lines. connected is changed under outMutex too, so a line is either queued on a
    // link that will write it (or report it unsent) or refused: never silently left behind.
    std::mutex outMutex;
    std::atomic<bool> connected{false};
    std::string queued;
    bool refusalLogged = false;

    // Events: once silenced (stopped), the session posts nothing more.
    std::mutex postMutex;
    bool silenced = false;
    bool finalPosted = false;

    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;

    std::thread thread;
};

namespace {

DirectLinkStateEvent StateEvent(DirectLinkState state) {
    DirectLinkStateEvent event;
    event.state = state;
    return event;
}

const char* StopReason() {
    return Tr("arrêt demandé", "stop requested");
}

// Waits until the pause is over or the session is stopped.
void PauseUnlessStopped(const WakeEvent& wake, const std::atomic<bool>& stop, std::chrono::milliseconds pause) {
    const auto end = SteadyClock::now() + pause;
    while (!stop.load()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - SteadyClock::now()).count();
        if (left <= 0) return;
        pollfd pfd{wake.Fd(), POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) > 0) wake.Drain();
    }
}

}  // namespace

DirectConnection::DirectConnection(StationEventSink& sink, DirectLinkTuning tuning, DetectionForwarder* forwarder)
    : sink_(sink), tuning_(tuning), forwarder_(forwarder) {}

void DirectConnection::SetUnansweredAlarm(std::chrono::milliseconds after) {
    unansweredAlarmMs_.store(after.count());
}

DirectConnection::~DirectConnection() {
    StopDirectConnection();
    std::vector<std::unique_ptr<Session>> retired;
    {
        std::lock_guard lock(mutex_);
        retired.swap(retired_);
    }
    for (auto& session : retired) {
        if (session->thread.joinable()) session->thread.join();
    }
}

void DirectConnection::ReapFinished(std::vector<std::unique_ptr<Session>>& finished) {
    // Called with mutex_ held: moves the sessions whose thread has ended out, to join unlocked.
    auto it = std::partition(retired_.begin(), retired_.end(), [](const std::unique_ptr<Session>& s) {
        std::lock_guard lock(s->doneMutex);
        return !s->done;
    });
    for (auto moved = it; moved != retired_.end(); ++moved) finished.push_back(std::move(*moved));
    retired_.erase(it, retired_.end());
}

std::uint64_t DirectConnection::StartDirectConnection(const std::string& host, int port, int reconnectSeconds) {
    std::vector<std::unique_ptr<Session>> finished;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (session_ && session_->running.load()) return session_->generation;
        if (session_) retired_.push_back(std::move(session_));  // ended on its own
        ReapFinished(finished);
        auto session = std::make_unique<Session>();
        session->host = host;
        session->port = port;
        session->reconnectSeconds = reconnectSeconds;
        if (!session->wake.IsOpen()) {
            Log(0, Tr("## Connexion directe : ressources système épuisées",
                      "## Direct connection: out of system resources"));
            return 0;
        }
        session->generation = ++lastGeneration_;
        generation = session->generation;
        Session* raw = session.get();
        session->thread = std::thread([this, raw] { Run(*raw); });
        session_ = std::move(session);
    }
    for (auto& session : finished) session->thread.join();
    return generation;
}

void DirectConnection::StopDirectConnection() {
    std::unique_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        session = std::move(session_);
    }
    if (!session) return;
    session->stop.store(true);
    session->wake.Signal();
    bool ended = false;
    {
        std::unique_lock lock(session->doneMutex);
        ended = session->doneChanged.wait_for(lock, tuning_.stopWait, [&] { return session->done; });
    }
    {
        std::lock_guard lock(session->postMutex);
        session->silenced = true;
        if (!session->finalPosted) {
            // The thread is still resolving the host name: it ends alone, without a word.
            session->finalPosted = true;
            DirectLinkStateEvent event = StateEvent(DirectLinkState::Closed);
            event.reason = StopReason();
            event.generation = session->generation;
            sink_.OnDirectLinkState(event);
        }
    }
    if (ended) {
        session->thread.join();
        return;
    }
    std::lock_guard lock(mutex_);
    retired_.push_back(std::move(session));
}

bool DirectConnection::IsDirectConnected() const {
    std::lock_guard lock(mutex_);
    return session_ && session_->connected.load();
}

bool DirectConnection::IsDirectConnecting() const {
    std::lock_guard lock(mutex_);
    return session_ && session_->running.load() && !session_->connected.load();
}

bool DirectConnection::SendDirectLine(std::string_view text) {
    bool logRefusal = false;
    {
        std::lock_guard lock(mutex_);
        Session* session = session_.get();
        if (session == nullptr) return false;
        std::lock_guard out(session->outMutex);
        if (!session->connected.load()) return false;
        if (session->queued.size() + text.size() + 2 > tuning_.maxQueuedBytes) {
            linesRefused_.fetch_add(1, std::memory_order_relaxed);
            logRefusal = !std::exchange(session->refusalLogged, true);
        } else {
            const bool wasEmpty = session->queued.empty();
            encoder_.Append(session->queued, text);
            session->queued.append("\r\n");
            linesQueued_.fetch_add(1, std::memory_order_relaxed);
            // The link thread takes everything queued when it wakes: one signal per batch.
            if (wasEmpty) session->wake.Signal();
            return true;
        }
    }
    if (logRefusal) {
        Log(0, Tr("## KtORVEX ne prend plus les lignes envoyées : file d'envoi pleine",
                  "## KtORVEX is not taking the lines sent: send queue full"));
    }
    return false;
}

std::vector<std::string> DirectConnection::TakeUnsentLines() {
    std::lock_guard lock(unsentMutex_);
    return std::exchange(unsent_, {});
}

DirectLinkCounters DirectConnection::Counters() const {
    DirectLinkCounters counters;
    counters.linesQueued = linesQueued_.load();
    counters.linesRefused = linesRefused_.load();
    counters.bytesWritten = bytesWritten_.load();
    counters.linesReceived = linesReceived_.load();
    counters.linesCut = linesCut_.load();
    return counters;
}

void DirectConnection::Post(Session& session, const DirectLinkStateEvent& event) {
    DirectLinkStateEvent tagged = event;
    tagged.generation = session.generation;
    std::lock_guard lock(session.postMutex);
    if (!session.silenced) sink_.OnDirectLinkState(tagged);
}

void DirectConnection::PostFinal(Session& session, const DirectLinkStateEvent& event) {
    DirectLinkStateEvent tagged = event;
    tagged.generation = session.generation;
    std::lock_guard lock(session.postMutex);
    if (session.silenced || session.finalPosted) return;
    session.finalPosted = true;
    sink_.OnDirectLinkState(tagged);
}

void DirectConnection::Run(Session& session) {
    DirectLinkStateEvent final = StateEvent(DirectLinkState::Closed);
    if (session.port == 0) final.reason = Tr("port 0 : arrêt demandé", "port 0: stop requested");
    while (session.port != 0 && !session.stop.load()) {
        Post(session, StateEvent(DirectLinkState::Connecting));
        TcpSocket socket;
        std::string error;
        const LinkConnectResult result =
            ConnectInterruptible(session.host, session.port, tuning_.connectTimeout, session.wake, socket, error);
        if (session.stop.load() || result == LinkConnectResult::kStopped) {
            final.reason = StopReason();
            break;  // a socket obtained after the stop is given up
        }
        if (result == LinkConnectResult::kConnected) {
            final.reason = Serve(session, socket, final.lost, final.unsentLines);
            break;
        }
        DirectLinkStateEvent failed = StateEvent(DirectLinkState::Closed);
        failed.retrying = true;
        failed.reason = error;
        Post(session, failed);
        const auto pause = std::max<std::chrono::milliseconds>(
            std::chrono::seconds(std::max(session.reconnectSeconds, 0)), tuning_.minimumRetryPause);
        PauseUnlessStopped(session.wake, session.stop, pause);
    }
    if (final.reason.empty() && session.stop.load()) final.reason = StopReason();
    // Cleared before the last event, so a station that switches the link on again as soon as it
    // hears of the loss is not ignored.
    session.running.store(false);
    PostFinal(session, final);
    {
        std::lock_guard lock(session.doneMutex);
        session.done = true;
    }
    session.doneChanged.notify_all();
}

namespace {

// The answer each request gets ("NFO:<code>"), -1 for lines that get none of that kind.
int AnswerCodeOf(std::string_view request) {
    if (request == kPingRequest) return 20;
    static constexpr int kCodes[kInformationRequests.size()] = {24, 25, 5, 6, 27, 28, 7};
    for (std::size_t i = 0; i < kInformationRequests.size(); ++i) {
        if (request == kInformationRequests[i]) return kCodes[i];
    }
    return -1;
}

// Detection lines formatted per batch: enough to keep the socket busy, little under the list's lock.
constexpr std::size_t kBatchBytes = 32 * 1024;

}  // namespace

void DirectConnection::NoteRequestsWritten(std::string_view requests) {
    while (!requests.empty()) {
        const std::size_t end = requests.find("\r\n");
        const int code = AnswerCodeOf(requests.substr(0, end));
        if (code >= 0) forwarder_->OnRequestWritten(code);
        if (end == std::string_view::npos) break;
        requests.remove_prefix(end + 2);
    }
}

void DirectConnection::CheckAnswers(Session& session, std::optional<SteadyClock::time_point>& alarmedSince,
                                    int& timeoutMs) {
    const std::chrono::milliseconds bound(unansweredAlarmMs_.load());
    if (forwarder_ == nullptr || bound.count() <= 0) return;
    SteadyClock::time_point since;
    const bool awaiting = forwarder_->AwaitingAnswers(since);
    if (alarmedSince && (!awaiting || since != *alarmedSince)) {
        alarmedSince.reset();
        Log(0, Tr("+ KtORVEX répond de nouveau aux détections", "+ KtORVEX answers the detections again"));
    }
    if (!awaiting || alarmedSince) return;
    const auto now = SteadyClock::now();
    const auto due = since + bound;
    if (now >= due) {
        alarmedSince = since;
        DirectLinkStateEvent event = StateEvent(DirectLinkState::Unanswered);
        event.unansweredSeconds =
            static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - since).count());
        Post(session, event);
        return;
    }
    const int left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
    timeoutMs = timeoutMs < 0 ? left : std::min(timeoutMs, left);
}

std::string DirectConnection::Serve(Session& session, TcpSocket& socket, bool& lost, std::size_t& unsent) {
    const int fd = socket.Fd();
    if (tuning_.socketSendBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &tuning_.socketSendBuffer, sizeof tuning_.socketSendBuffer);
    }
    if (forwarder_ != nullptr) forwarder_->BeginLink(session.wake);
    {
        std::lock_guard lock(session.outMutex);
        session.connected.store(true);
    }
    Post(session, StateEvent(DirectLinkState::Connected));

    std::string reason;
    // The chunk being written: the request lines taken whole from the queue, or a batch of
    // detection lines (lineEnds: where each ends). Never both, so no line is cut by another.
    std::string writing;
    bool writingRequests = false;
    std::vector<std::size_t> lineEnds;
    lineEnds.reserve(1024);
    std::size_t linesDone = 0;
    std::size_t written = 0;
    auto lastProgress = SteadyClock::now();
    std::optional<SteadyClock::time_point> alarmedSince;
    std::string line;
    line.reserve(2048);
    bool cutting = false;
    lost = true;
    for (;;) {
        if (session.stop.load()) {
            lost = false;
            reason = StopReason();
            break;
        }
        if (written == writing.size()) {
            if (writingRequests && forwarder_ != nullptr) NoteRequestsWritten(writing);
            writing.clear();
            written = 0;
            lineEnds.clear();
            linesDone = 0;
            {
                std::lock_guard lock(session.outMutex);
                writing.swap(session.queued);
            }
            writingRequests = !writing.empty();
            if (!writingRequests && forwarder_ != nullptr) {
                forwarder_->FillBatch(writing, lineEnds, kBatchBytes, encoder_);
            }
            if (!writing.empty()) lastProgress = SteadyClock::now();
        }
        const bool pending = written < writing.size();
        int timeoutMs = -1;
        if (pending) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastProgress + tuning_.sendStallLimit -
                                                                           SteadyClock::now());
            if (left.count() <= 0) {
                reason = Format(
                    Tr("KtORVEX ne lit plus les données depuis %lld ms", "KtORVEX has taken no data for %lld ms"),
                    static_cast<long long>(tuning_.sendStallLimit.count()));
                break;
            }
            timeoutMs = static_cast<int>(left.count());
        }
        CheckAnswers(session, alarmedSince, timeoutMs);
        pollfd fds[2] = {{fd, static_cast<short>(POLLIN | (pending ? POLLOUT : 0)), 0}, {session.wake.Fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            reason = std::strerror(errno);
            break;
        }
        if (fds[1].revents & POLLIN) session.wake.Drain();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!ReceiveLines(session, fd, line, cutting, reason)) break;
        }
        if (pending && (fds[0].revents & POLLOUT)) {
            const ssize_t n =
                ::send(fd, writing.data() + written, writing.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                bytesWritten_.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
                lastProgress = SteadyClock::now();
                if (!writingRequests && forwarder_ != nullptr) {
                    const std::size_t before = linesDone;
                    while (linesDone < lineEnds.size() && lineEnds[linesDone] <= written) ++linesDone;
                    forwarder_->OnLinesWritten(linesDone - before, lastProgress);
                }
            } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                reason = Format(Tr("erreur d'envoi : %s", "send error: %s"), std::strerror(errno));
                break;
            }
        }
    }
    socket.Shutdown(SHUT_RDWR);
    socket.Close();
    if (forwarder_ != nullptr) {
        // Requests are not worth sending again; the detections are kept by the forwarder.
        const std::size_t notRead = forwarder_->EndLink();
        {
            std::lock_guard lock(session.outMutex);
            session.connected.store(false);
            session.queued.clear();
        }
        unsent = lost ? notRead : 0;
    } else {
        unsent = KeepUnsent(session, writingRequests ? writing : std::string(), writingRequests ? written : 0);
    }
    return reason;
}

bool DirectConnection::ReceiveLines(Session& session, int fd, std::string& line, bool& cutting, std::string& reason) {
    char buffer[8192];
    // A bounded number of reads per wake-up, so a talkative peer cannot starve the writing.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) {
            reason = Tr("connexion fermée par KtORVEX", "connection closed by KtORVEX");
            return false;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            reason = Format(Tr("erreur de lecture : %s", "read error: %s"), std::strerror(errno));
            return false;
        }
        std::string_view chunk(buffer, static_cast<std::size_t>(n));
        while (!chunk.empty()) {
            const std::size_t lf = chunk.find('\n');
            const std::string_view piece = chunk.substr(0, lf);
            if (!cutting) {
                const std::size_t room = tuning_.maxLineBytes - std::min(line.size(), tuning_.maxLineBytes);
                line.append(piece.substr(0, room));
                if (piece.size() > room) cutting = true;
            }
            if (lf == std::string_view::npos) break;
            DeliverLine(session, line, cutting);
            cutting = false;
            chunk.remove_prefix(lf + 1);
        }
        if (static_cast<std::size_t>(n) < sizeof buffer) return true;
    }
    return true;
}

void DirectConnection::DeliverLine(Session& session, std::string& line, bool cut) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (cut) {
        linesCut_.fetch_add(1, std::memory_order_relaxed);
        LogF(0,
             Tr("## Ligne reçue de KtORVEX trop longue, coupée à %zu octets",
                "## Line received from KtORVEX too long, cut to %zu bytes"),
             tuning_.maxLineBytes);
    }
    if (!line.empty()) {
        DirectLineEvent event;
        event.generation = session.generation;
        event.line = Windows1252ToUtf8(line);
        if (forwarder_ != nullptr) forwarder_->OnLineReceived(event.line, SteadyClock::now());
        linesReceived_.fetch_add(1, std::memory_order_relaxed);
        std::lock_guard lock(session.postMutex);
        if (!session.silenced) sink_.OnDirectLine(event);
    }
    line.clear();
}

std::size_t DirectConnection::KeepUnsent(Session& session, const std::string& writing, std::size_t written) {
    std::string rest;
    {
        std::lock_guard lock(session.outMutex);
        session.connected.store(false);
        rest.swap(session.queued);
    }
    // A line the socket took only in part is kept whole: the results program cannot decode a part.
    std::size_t from = 0;
    if (written > 0 && written < writing.size()) {
        const std::size_t lf = writing.rfind('\n', written - 1);
        from = lf == std::string::npos ? 0 : lf + 1;
    } else if (written >= writing.size()) {
        from = writing.size();
    }
    std::string all = writing.substr(from);
    all += rest;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find("\r\n", start);
        if (end == std::string::npos) end = all.size();
        lines.emplace_back(all, start, end - start);
        start = end + 2;
    }
    std::size_t forgotten = 0;
    {
        std::lock_guard lock(unsentMutex_);
        unsent_.insert(unsent_.end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
        if (unsent_.size() > kMaxUnsentLines) {
            forgotten = unsent_.size() - kMaxUnsentLines;
            unsent_.erase(unsent_.begin(), unsent_.begin() + static_cast<std::ptrdiff_t>(forgotten));
        }
    }
    if (forgotten > 0) {
        LogF(0,
             Tr("## Connexion directe : %zu lignes non envoyées oubliées (les plus anciennes)",
                "## Direct connection: %zu unsent lines forgotten (the oldest)"),
             forgotten);
    }
    return lines.size();
}

}  // namespace winorvex
