#pragma once
// The reader's main TCP port: one client at a time (a newcomer replaces it), the reader engine's
// lines written in large non-blocking writes, received command lines handed to the engine, and the
// link faults a test can ask for. Everything runs on one thread; other threads go through Call().
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "latency_log.h"
#include "loop_tasks.h"
#include "reader_engine.h"
#include "socket_util.h"

namespace winorvex::sim {

struct MainPortStats {
    EngineStats engine;
    uint64_t clients = 0;  // connections accepted so far
    bool connected = false;
    bool powered_off = false;
};

class MainPort {
public:
    using NoteSink = std::function<void(const std::string&)>;

    MainPort(std::unique_ptr<ReaderEngine> engine, std::unique_ptr<LatencyLog> latency, NoteSink note);
    ~MainPort();
    MainPort(const MainPort&) = delete;
    MainPort& operator=(const MainPort&) = delete;

    // Binds the listener (0 = any free port) in the caller's thread so the port is known at once.
    bool Listen(int port, std::string* error);
    void Start();
    void Stop();
    int port() const { return port_; }
    bool powered_off() const { return powered_off_.load(); }

    // Faults and controls, each run on the loop thread; "ok" or "error: ...".
    std::string Drop();
    std::string Stall(std::chrono::milliseconds duration);
    std::string Garbage(int lines);
    std::string Overlong(std::size_t length);
    std::string LoneLineFeed();
    std::string Away(std::chrono::milliseconds duration);
    std::string Pause();
    std::string Resume();
    std::string AddReads(uint64_t count);
    std::string SetRate(double per_second);
    std::string PowerOn();
    std::optional<MainPortStats> Stats();

private:
    using Clock = std::chrono::steady_clock;

    void Loop();
    std::string OnLoop(std::function<std::string()> f);
    std::string AppendToClient(std::function<void(std::string&)> append);
    void AcceptPending();
    void ReadClient();
    void FlushOutput();
    void CloseClient();
    void PowerOff();
    std::size_t pending() const { return out_.size() - out_head_; }

    std::unique_ptr<ReaderEngine> engine_;
    std::unique_ptr<LatencyLog> latency_;
    NoteSink note_;
    LoopTasks tasks_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> powered_off_{false};
    int port_ = 0;

    // Owned by the loop thread once started.
    UniqueFd listener_;
    UniqueFd client_;
    std::string out_;
    std::size_t out_head_ = 0;
    std::string in_;
    bool in_overflow_ = false;
    bool away_ = false;
    Clock::time_point away_until_{};
    Clock::time_point stall_until_{};
    bool stalled_ = false;
    uint64_t clients_ = 0;
};

}  // namespace winorvex::sim
