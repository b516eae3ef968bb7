#pragma once
// A simulated reader on loopback: the main port with its reader engine, the ELITE side channel
// and the control channel, started and stopped together. Usable in-process by tests; the
// executable is a thin shell around it.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "control_server.h"
#include "main_port.h"
#include "options.h"
#include "reader_clock.h"
#include "reader_log.h"
#include "side_channel.h"

namespace winorvex::sim {

class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Binds every port and starts the threads. False with a reason when something cannot start.
    bool Start(std::string* error);
    void Stop();
    bool running() const { return main_ != nullptr; }

    int port() const;
    int side_port() const;     // 0 for a Lite reader
    int control_port() const;  // 0 without a control channel
    // "orvex-box-sim ready port=P side=S control=C"
    std::string ReadyLine() const;

    // Link faults and controls; "ok" or "error: ...".
    std::string Drop();
    std::string Stall(std::chrono::milliseconds duration);
    std::string Garbage(int lines);
    std::string Overlong(std::size_t length);
    std::string LoneLineFeed();
    std::string Away(std::chrono::milliseconds duration);
    std::string Pause();
    std::string Resume();
    std::string SendReads(uint64_t count);
    std::string SetRate(double per_second);
    std::string PowerOn();
    std::optional<MainPortStats> Stats();
    uint64_t side_requests() const;

    // One command of the control language, as the control channel and standard input give it.
    std::string Execute(std::string_view command_line);

    bool quit_requested() const;
    // Waits until "quit" was given or the time passed.
    bool WaitForQuit(std::chrono::milliseconds timeout);

    ReaderClock& clock() { return clock_; }

private:
    void Note(const std::string& text) const;

    Options options_;
    ReaderClock clock_;
    ReaderLog log_;
    std::unique_ptr<MainPort> main_;
    std::unique_ptr<SideChannel> side_;
    std::unique_ptr<ControlServer> control_;
    mutable std::mutex quit_mutex_;
    std::condition_variable quit_cv_;
    bool quit_ = false;
};

}  // namespace winorvex::sim
