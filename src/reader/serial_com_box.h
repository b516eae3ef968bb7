#pragma once
// The transport of a reader wired to a serial port. The box host text is the port name ("COM3",
// or a device path such as "/dev/ttyUSB0"), the box port value is the speed; the speed only
// serves the has-address test and the descriptions: the port always opens at 9600 baud, 8N1.
//
// Lines are taken from the buffer that the port's reader thread fills. A line keeps its line
// feed (and any carriage return before it); the line recognition strips them. A line longer than
// the caller's buffer (at most kLineBufferSize) comes back in pieces of capacity - 1 bytes.
//
// When the device goes away (unplugged, hung up) ReadLine returns a negative value without the
// closed-on-request flag, so the worker sees a lost link and starts its reconnection.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "reader/com_box.h"
#include "reader/serial_comm_helper.h"

namespace winorvex {

class CSerialComBox : public CComBox, public CSerialCommHelper {
public:
    static constexpr const char* kDefaultPortName = "COM1";
    static constexpr int kBaudRate = 9600;
    // What GetHandle reads while the port is open (there is no descriptor to hand out).
    static constexpr int kOpenMarker = 8559;
    // The largest piece ReadLine hands out is one less than this.
    static constexpr int kLineBufferSize = 1024;
    // ReadLine looks at the closed-on-request flag at least this often.
    static constexpr std::chrono::milliseconds kReadSlice{10};

    CSerialComBox() = default;
    ~CSerialComBox() override;

    bool Disconnect() override;
    bool Close() override;
    int ReadLine(char* buffer, int capacity) override;
    int WaitReadable(int milliseconds) override;
    // "[%s:%d %s]": port name after its last '.', speed, detector identifier.
    std::string GetDescription() const override;
    // The requested length once written, -1 when the port is not open or refused the bytes.
    int Write(const char* data, int length) override;
    bool HasAddress() const override;
    bool Open(const std::string& detectorId, const std::string& host, int port, std::string& error) override;
    // Opens the device that the port name stands for (a port that was open is closed first);
    // the error texts are those of CSerialCommHelper::Init.
    bool Connect(std::string& error) override;
    bool IsConfigured() const override;
    bool IsActive() const override;
    bool IsOpen() const override;
    // "%s-%d-%s" with the values of the description, the port name without its folders.
    std::string GetFileTag() const override;
    void SetParameters(const std::string& detectorId, const std::string& host, int port) override;
    void GetParameters(std::string& detectorId, std::string& host, int& port) const override;
    void SetHandle(int handle) override;
    // kOpenMarker while open, 0 when closed.
    void GetHandle(int& handle) const override;
    bool IsSerial() const override { return true; }
    bool HasBufferedLine() const override;

    // Whether a box host text calls for the serial transport: "COM" in any case followed by
    // digits only, or a device path. A TCP host name that merely contains the letters
    // (telecom.example, ELITECOMPACT) stays TCP.
    static bool IsSerialHost(const std::string& host);
    // The device a port name stands for: "COMn" (n >= 1, any case) is /dev/ttyS(n-1), a path
    // under /dev/ is used as it is; empty for anything else.
    static std::string DevicePathFor(const std::string& portName);

private:
    mutable std::mutex parametersMutex_;
    std::string portName_ = kDefaultPortName;
    int speed_ = 0;
    std::atomic<int> openMarker_{0};
};

}  // namespace winorvex
