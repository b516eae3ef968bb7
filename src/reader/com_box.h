#pragma once
// The transport of one reader ("box"): whatever carries its lines (a TCP connection, a serial
// port) behind line reading, raw writing, connecting and closing. Where it connects is the slot's
// BoxAddress, handed over at each connection; the transport keeps no configuration of its own.
//
// Threads: the box's worker thread is the only caller of ReadLine, WaitReadable and
// HasBufferedLine; the interface thread connects, writes commands and calls Disconnect to end a
// blocked ReadLine. Implementations keep every operation safe under that use; the closed-on-request
// flag is an atomic because one thread sets it while the other reads it.
#include <atomic>
#include <string>

#include "reader/box_address.h"

namespace winorvex {

class CComBox {
public:
    enum class Kind { kTcp, kSerial };

    explicit CComBox(Kind kind) : kind_(kind) {}
    virtual ~CComBox() = default;
    CComBox(const CComBox&) = delete;
    CComBox& operator=(const CComBox&) = delete;

    // Opens the link to the address (a link that was open is closed first); on failure error
    // receives the reason. Clears IsClosedOnRequest on success.
    virtual bool Connect(const BoxAddress& address, std::string& error) = 0;
    // Closes at the program's own request: IsClosedOnRequest becomes true and a ReadLine blocked
    // in another thread returns at once.
    virtual bool Disconnect() = 0;
    // Closes the link if it is open.
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;

    // Reads one line ended by a line feed into buffer (capacity bytes, zero-terminated). Returns
    // the length, 0 for an empty line, capacity-1 for each piece of a longer line, negative on
    // error or when the link ended (the transport is then closed).
    virtual int ReadLine(char* buffer, int capacity) = 0;
    // 1 input waiting, 0 nothing within milliseconds, -1 not open or in error.
    virtual int WaitReadable(int milliseconds) = 0;
    // A whole line already waits in the transport's own buffer, so ReadLine returns without
    // blocking.
    virtual bool HasBufferedLine() const = 0;
    // Sends the bytes as they are; returns the number sent, or -1.
    virtual int Write(const char* data, int length) = 0;

    bool IsSerial() const { return kind_ == Kind::kSerial; }
    void SetClosedOnRequest(bool closed) { closedOnRequest_.store(closed); }
    bool IsClosedOnRequest() const { return closedOnRequest_.load(); }

private:
    const Kind kind_;
    std::atomic<bool> closedOnRequest_{false};
};

}  // namespace winorvex
