#include "main_port.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace winorvex::sim {

namespace {

using namespace std::chrono_literals;

// Lines are produced while less than this is waiting, and at most this much per round: big
// enough for large writes, small enough that a command reply is not queued behind megabytes.
constexpr std::size_t kOutputBatch = 64 * 1024;
constexpr std::size_t kMaxWrite = 1 << 20;
constexpr std::size_t kMaxCommandLine = 4096;
constexpr auto kMaxPollWait = 100ms;
constexpr auto kRelistenRetry = 50ms;

}  // namespace

MainPort::MainPort(std::unique_ptr<ReaderEngine> engine, std::unique_ptr<LatencyLog> latency, NoteSink note)
    : engine_(std::move(engine)), latency_(std::move(latency)), note_(std::move(note)) {}

MainPort::~MainPort() {
    Stop();
}

bool MainPort::Listen(int port, std::string* error) {
    listener_ = ListenLoopback(port, &port_, error);
    return listener_.valid();
}

void MainPort::Start() {
    if (thread_.joinable()) return;
    stop_ = false;
    tasks_.SetRunning(true);
    thread_ = std::thread([this] { Loop(); });
}

void MainPort::Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    tasks_.Wake();
    thread_.join();
    CloseClient();
    listener_.reset();
    if (latency_) latency_->Flush();
}

std::string MainPort::OnLoop(std::function<std::string()> f) {
    auto answer = tasks_.Call(std::move(f));
    return answer ? *answer : std::string("error: simulator not running");
}

std::string MainPort::AppendToClient(std::function<void(std::string&)> append) {
    // Captured by value: a caller that gave up waiting must not leave the loop a dangling task.
    return OnLoop([this, append = std::move(append)] {
        if (!client_.valid()) return std::string("error: no client connected");
        append(out_);
        return std::string("ok");
    });
}

std::string MainPort::Drop() {
    return OnLoop([this] {
        if (!client_.valid()) return std::string("error: no client connected");
        CloseClient();
        return std::string("ok");
    });
}

std::string MainPort::Stall(std::chrono::milliseconds duration) {
    return OnLoop([this, duration] {
        stall_until_ = Clock::now() + duration;
        stalled_ = true;
        return std::string("ok");
    });
}

std::string MainPort::Garbage(int lines) {
    return AppendToClient([this, lines](std::string& out) { engine_->AppendGarbage(out, lines); });
}

std::string MainPort::Overlong(std::size_t length) {
    return AppendToClient([this, length](std::string& out) { engine_->AppendOverlong(out, length); });
}

std::string MainPort::LoneLineFeed() {
    return AppendToClient([](std::string& out) { ReaderEngine::AppendLoneLineFeed(out); });
}

std::string MainPort::Away(std::chrono::milliseconds duration) {
    return OnLoop([this, duration] {
        if (powered_off_) return std::string("error: powered off");
        CloseClient();
        listener_.reset();
        away_ = true;
        away_until_ = Clock::now() + duration;
        return std::string("ok");
    });
}

std::string MainPort::Pause() {
    return OnLoop([this] {
        engine_->Pause();
        return std::string("ok");
    });
}

std::string MainPort::Resume() {
    return OnLoop([this] {
        engine_->Resume(Clock::now());
        return std::string("ok");
    });
}

std::string MainPort::AddReads(uint64_t count) {
    return OnLoop([this, count] {
        engine_->AddReads(count);
        return std::string("ok");
    });
}

std::string MainPort::SetRate(double per_second) {
    return OnLoop([this, per_second] {
        engine_->SetRate(per_second, Clock::now());
        return std::string("ok");
    });
}

std::string MainPort::PowerOn() {
    return OnLoop([this] {
        if (!powered_off_) return std::string("ok");
        std::string error;
        int bound = 0;
        listener_ = ListenLoopback(port_, &bound, &error);
        if (!listener_.valid()) return "error: " + error;
        powered_off_ = false;
        away_ = false;
        return std::string("ok");
    });
}

std::optional<MainPortStats> MainPort::Stats() {
    return tasks_.Call([this] {
        MainPortStats s;
        s.engine = engine_->Stats();
        s.clients = clients_;
        s.connected = client_.valid();
        s.powered_off = powered_off_;
        return s;
    });
}

void MainPort::CloseClient() {
    if (!client_.valid()) return;
    client_.reset();
    out_.clear();
    out_head_ = 0;
    in_.clear();
    in_overflow_ = false;
    engine_->OnDisconnected();
}

void MainPort::PowerOff() {
    CloseClient();
    listener_.reset();
    away_ = false;
    powered_off_ = true;
}

void MainPort::AcceptPending() {
    for (int i = 0; i < 16; ++i) {
        UniqueFd fd = AcceptClient(listener_.get());
        if (!fd.valid()) return;
        SetNonBlocking(fd.get());
        if (client_.valid() && note_) note_("new client replaces the connected one");
        CloseClient();
        client_ = std::move(fd);
        ++clients_;
        engine_->OnConnected(Clock::now());
    }
}

void MainPort::ReadClient() {
    char buffer[16 * 1024];
    for (int round = 0; round < 64 && client_.valid(); ++round) {
        const ssize_t n = ::recv(client_.get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            CloseClient();
            return;
        }
        std::string_view data(buffer, static_cast<std::size_t>(n));
        while (!data.empty() && client_.valid()) {
            const auto lf = data.find('\n');
            const std::string_view piece = data.substr(0, lf);
            if (!in_overflow_) {
                in_.append(piece);
                if (in_.size() > kMaxCommandLine) {
                    if (note_) note_("ignored an over-long received line");
                    in_.clear();
                    in_overflow_ = true;
                }
            }
            if (lf == std::string_view::npos) break;
            data.remove_prefix(lf + 1);
            if (in_overflow_) {
                in_overflow_ = false;
                continue;
            }
            const std::string line = std::move(in_);
            in_.clear();
            if (engine_->HandleLine(line, out_, Clock::now()) == EngineAction::kPowerOff) PowerOff();
        }
    }
}

void MainPort::FlushOutput() {
    if (latency_ && latency_->enabled()) {
        uint64_t first = 0, end = 0;
        if (engine_->TakeUnstamped(&first, &end)) latency_->Stamp(first, end, SteadyNowNs());
    }
    while (pending() > 0 && client_.valid()) {
        const std::size_t chunk = std::min(pending(), kMaxWrite);
        const ssize_t n = ::send(client_.get(), out_.data() + out_head_, chunk, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            CloseClient();
            return;
        }
        out_head_ += static_cast<std::size_t>(n);
    }
    if (out_head_ == out_.size()) {
        out_.clear();
        out_head_ = 0;
    } else if (out_head_ > kOutputBatch && out_head_ * 2 > out_.size()) {
        out_.erase(0, out_head_);
        out_head_ = 0;
    }
}

void MainPort::Loop() {
    out_.reserve(2 * kOutputBatch);
    while (!stop_) {
        auto now = Clock::now();
        if (away_ && !powered_off_ && now >= away_until_) {
            std::string error;
            int bound = 0;
            listener_ = ListenLoopback(port_, &bound, &error);
            if (listener_.valid()) {
                away_ = false;
            } else {
                away_until_ = now + kRelistenRetry;
                if (note_) note_("cannot listen again yet: " + error);
            }
        }
        if (stalled_ && now >= stall_until_) {
            stalled_ = false;
            engine_->RestartPacing(now);
        }

        Clock::time_point next = Clock::time_point::max();
        bool produced = false;
        if (client_.valid() && !stalled_ && pending() < kOutputBatch) {
            const std::size_t before = pending();
            next = engine_->Produce(out_, kOutputBatch, now);
            produced = pending() != before;
        }
        if (client_.valid() && !stalled_ && pending() > 0) FlushOutput();

        now = Clock::now();
        auto wait = kMaxPollWait;
        const auto until = [&](Clock::time_point t) {
            if (t == Clock::time_point::max()) return;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - now);
            wait = std::clamp(left, std::chrono::milliseconds(0), wait);
        };
        const bool output_waiting = client_.valid() && !stalled_ && pending() > 0;
        // With output waiting the loop sleeps until the link takes more; otherwise until the
        // next line falls due. A due time that produced nothing gets a minimal pause, never a spin.
        // Tasks run below may replace the listener or the client: the checks after poll() make
        // sure a stale readiness is never taken for the new descriptor's.
        if (!output_waiting) until(next);
        if (stalled_) until(stall_until_);
        if (away_) until(away_until_);
        if (wait.count() == 0 && !produced && !output_waiting) wait = 1ms;

        constexpr nfds_t kAbsent = 3;
        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {tasks_.wake_fd(), POLLIN, 0};
        const nfds_t listener_index = listener_.valid() ? count : kAbsent;
        if (listener_.valid()) fds[count++] = {listener_.get(), POLLIN, 0};
        const nfds_t client_index = client_.valid() ? count : kAbsent;
        if (client_.valid()) {
            fds[count++] = {client_.get(), static_cast<short>(POLLIN | (output_waiting ? POLLOUT : 0)), 0};
        }
        const int ready = ::poll(fds, count, static_cast<int>(wait.count()));
        if (ready < 0 && errno != EINTR) {
            if (note_) note_(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) tasks_.RunPending();
        if (listener_index != kAbsent && listener_.valid() && (fds[listener_index].revents & POLLIN)) AcceptPending();
        if (client_index != kAbsent && client_.valid() && fds[client_index].fd == client_.get()) {
            const short events = fds[client_index].revents;
            if (events & (POLLIN | POLLHUP | POLLERR)) ReadClient();
        }
    }
    tasks_.SetRunning(false);
    tasks_.RunPending();
}

}  // namespace winorvex::sim
