#pragma once
// The transport of a reader wired to a serial port. The address's host text is the port name
// ("COM3", or a device path such as "/dev/ttyUSB0"), its port value the speed; the speed only
// serves the has-address test and the descriptions: the port always opens at 9600 baud, 8N1.
//
// Lines are taken from the buffer that the port's reader thread fills. A line keeps its line
// feed (and any carriage return before it); the line recognition strips them. A line longer than
// the caller's buffer (at most kLineBufferSize) comes back in pieces of capacity - 1 bytes.
//
// When the device goes away (unplugged, hung up) ReadLine returns a negative value without the
// closed-on-request flag, so the worker sees a lost link and starts its reconnection.
#include <chrono>
#include <string>

#include "reader/com_box.h"
#include "reader/serial_comm_helper.h"

namespace winorvex {

class CSerialComBox : public CComBox, public CSerialCommHelper {
public:
    static constexpr int kBaudRate = 9600;
    // The largest piece ReadLine hands out is one less than this.
    static constexpr int kLineBufferSize = 1024;
    // ReadLine looks at the closed-on-request flag at least this often.
    static constexpr std::chrono::milliseconds kReadSlice{10};

    CSerialComBox() : CComBox(Kind::kSerial) {}
    ~CSerialComBox() override;

    // Opens the device that the address's port name stands for; the error texts are those of
    // CSerialCommHelper::Init.
    bool Connect(const BoxAddress& address, std::string& error) override;
    bool Disconnect() override;
    bool Close() override;
    bool IsOpen() const override;
    int ReadLine(char* buffer, int capacity) override;
    int WaitReadable(int milliseconds) override;
    bool HasBufferedLine() const override;
    // The requested length once written, -1 when the port is not open or refused the bytes.
    int Write(const char* data, int length) override;

    static bool IsSerialHost(const std::string& host) { return BoxAddress::IsSerialHost(host); }
    // The device a port name stands for: "COMn" (n >= 1, any case) is /dev/ttyS(n-1), a path
    // under /dev/ is used as it is; empty for anything else.
    static std::string DevicePathFor(const std::string& portName);
};

}  // namespace winorvex
