#pragma once
// An open serial port and its reader thread, which moves every received byte into a CSerialBuffer
// while reception is started and discards it otherwise.
//
// States: 1 idle (constructed or shut down), 2 port open and reader thread running, 3 started
// (received data stays in the buffer), 4 stopped (received data is discarded).
//
// Threads: the reader thread fills the buffer; one taker (the box worker) calls ReadUntil; any
// other thread may write, start, stop and shut down. The reader thread sleeps in poll() on the
// port and on a wake-up descriptor, so Shutdown ends it at once. When the port fails (device
// unplugged: hang-up, read error) the thread ends and the failure is kept: ReadUntil then reports
// a lost link instead of waiting for data that will never come.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/unique_fd.h"
#include "platform/serial_port.h"
#include "reader/serial_buffer.h"

namespace winorvex {

class CSerialCommHelper {
public:
    enum State : int { kIdle = 1, kOpen = 2, kStarted = 3, kStopped = 4 };
    // ReadUntil results besides a count taken and 0 (time-out).
    static constexpr int kReadNotStarted = -1;
    static constexpr int kReadLinkLost = -2;
    // Bytes taken from the port per pass of the reader thread.
    static constexpr std::size_t kReadChunk = 255;
    // A write waits this long at most for room in the port's output queue.
    static constexpr std::chrono::milliseconds kWriteTimeout{2000};

    CSerialCommHelper() = default;
    ~CSerialCommHelper();
    CSerialCommHelper(const CSerialCommHelper&) = delete;
    CSerialCommHelper& operator=(const CSerialCommHelper&) = delete;

    // Opens the port (a port that was open is shut down first) and starts the reader thread:
    // state 2. French-only error texts naming the failed step: "Erreur de connexion au port %s : %s",
    // "Erreur GetCommState pour le port %s : %s", "Erreur setting time-outs pour le port %s : %s",
    // "Exception catched for Port %s".
    bool Init(const std::string& portName, int baudRate, SerialParity parity, SerialStopBits stopBits, int dataBits,
              std::string& error);
    void Start();
    void Stop();
    // Ends the reader thread, closes the port, empties the buffer: state 1. Wakes a waiting taker.
    void Shutdown();

    // Writes the text (up to its first zero byte). 0 when all of it went out; -1 when reception
    // is not started or the port refused it.
    int WriteText(std::string_view text);

    // Takes the received text up to and including the delimiter, or a piece of limit bytes when a
    // longer run arrives without one, into destination (limit + 1 bytes). Waits for it at most
    // timeout. Returns the count taken, 0 on time-out (nothing consumed), kReadNotStarted when
    // reception is not started (or stops meanwhile), kReadLinkLost once the port failed and
    // nothing whole is left to take.
    int ReadUntil(char* destination, std::size_t limit, char delimiter, std::chrono::milliseconds timeout);

    int CommState() const { return state_.load(); }
    bool IsConnected() const { return connected_.load(); }
    bool IsLinkLost() const { return linkLost_.load(); }
    // Bytes read from the port since Init, kept or discarded.
    std::uint64_t ReceivedCount() const { return received_.load(); }
    // Bytes dropped because the buffer was full, since construction.
    std::uint64_t DroppedCount() const { return buffer_.DroppedTotal(); }
    // Waits until some received byte waits to be taken, at most timeout.
    bool WaitForData(std::chrono::milliseconds timeout);
    // A ReadUntil with this delimiter and limit would return at once with something.
    bool HasWhole(char delimiter, std::size_t limit) const { return buffer_.HasWhole(delimiter, limit); }

private:
    void ShutdownLocked();
    // The reader thread. The port and the wake-up descriptor outlive it: Shutdown joins it before
    // letting them go.
    void ReaderLoop(std::shared_ptr<const SerialPort> port, int wakeFd, std::string portName);

    // Held by Init and Shutdown (also while Shutdown joins the reader thread, which never takes
    // it); guards the handles below. Writers only copy the port reference under it.
    std::mutex lifecycleMutex_;
    std::shared_ptr<const SerialPort> port_;
    UniqueFd wake_;
    std::thread thread_;

    std::atomic<int> state_{kIdle};
    std::atomic<bool> connected_{false};
    std::atomic<bool> linkLost_{false};
    std::atomic<std::uint64_t> received_{0};
    CSerialBuffer buffer_;
};

}  // namespace winorvex
