#pragma once
// The simulated reader on a serial line: a pseudo-terminal pair whose master end the simulator
// holds and whose slave path the station opens as its port. The line is wired to the reader's
// main port on loopback, so the one reader engine speaks on it with all its reads, replies and
// faults; a reader that drops or goes away simply falls silent on the line.
//
// The reader talks only while the station has the port open: when the station closes it, the
// loopback connection is closed (the engine stops) and whatever was under way is thrown away,
// as a real port would lose it. Bytes the station does not take in time wait in the line (its
// queue is bounded), which holds the reader back instead of losing lines.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "socket_util.h"

namespace winorvex::sim {

class PtyLink {
public:
    using NoteSink = std::function<void(const std::string&)>;

    explicit PtyLink(NoteSink note = {});
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Creates the pair (raw line) and starts wiring it to 127.0.0.1:main_port. False with a reason.
    bool Open(int main_port, std::string* error);
    void Stop();

    // "/dev/pts/N": the station's port name.
    const std::string& slave_path() const { return slave_path_; }
    // The station has the port open now.
    bool station_attached() const { return attached_.load(); }
    // Times the station opened the port.
    uint64_t attachments() const { return attachments_.load(); }

private:
    void Loop();
    // One round while the station has the port open; false once it closed it.
    bool Shuttle();
    void Detach();
    void ConnectReader();

    NoteSink note_;
    int main_port_ = 0;
    std::string slave_path_;
    UniqueFd master_;
    WakeFd wake_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> attached_{false};
    std::atomic<uint64_t> attachments_{0};

    // Owned by the loop thread.
    UniqueFd reader_;         // the loopback connection to the main port
    std::string to_station_;  // from the reader, not yet taken by the line
    std::string to_reader_;   // from the station, not yet sent to the reader
    std::chrono::steady_clock::time_point next_connect_{};
};

// The simulator's ready line with the serial port named after "ready":
// "orvex-box-sim ready serial=/dev/pts/N port=..."
std::string SerialReadyLine(const std::string& ready_line, const std::string& slave_path);

}  // namespace winorvex::sim
