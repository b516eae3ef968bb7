#pragma once
// A serial port through termios: opened for reading and writing, exclusively, raw, no flow control,
// non-blocking. The descriptor is owned; the port closes on destruction.
//
// Works as well on a pseudo-terminal slave (what the tests and the reader simulator use): the
// modem-line requests that a pseudo-terminal refuses (DTR) are best effort.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace winorvex {

enum class SerialParity { kNone, kOdd, kEven };
enum class SerialStopBits { kOne, kTwo };

struct SerialLineSettings {
    int baudRate = 9600;
    SerialParity parity = SerialParity::kNone;
    SerialStopBits stopBits = SerialStopBits::kOne;
    int dataBits = 8;  // 5 to 8
};

// Which step of opening a port failed, so that the caller can name it.
enum class SerialOpenStep {
    kNone,
    kOpen,          // the device itself: missing, busy (locked by another program), no permission
    kLineSettings,  // reading or writing the line settings (also: not a terminal device)
    kTimeouts,      // the read time-outs
};

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens path with the given line settings, DTR on, input waiting from before discarded. A port
    // already open is closed first. On failure step and errorCode (an errno value) tell why, and
    // nothing stays open. A device that another program holds fails with EBUSY.
    bool Open(const std::string& path, const SerialLineSettings& settings, SerialOpenStep& step, int& errorCode);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // One non-blocking read: the count read, 0 when the device is gone (hang-up), -1 with errno
    // set otherwise (EAGAIN when nothing is waiting).
    ssize_t Read(char* buffer, std::size_t capacity) const;
    // Writes every byte, waiting for room in the output queue at most timeout in all. Returns the
    // number written (short when the time ran out), or -1 on an error before anything was written.
    ssize_t WriteAll(const char* data, std::size_t length, std::chrono::milliseconds timeout) const;

private:
    int fd_ = -1;
};

// The system's text for an errno value, as the operator sees it in error messages:
// [#code]= "message" (trailing characters other than letters and digits removed).
std::string SystemErrorText(int code);

}  // namespace winorvex
