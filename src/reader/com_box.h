#pragma once
// The transport of one reader ("box"): whatever carries its lines (a TCP connection, a serial
// port) behind line reading, raw writing, connection set-up and tear-down.
//
// Threads: the box's worker thread is the only caller of ReadLine (and WaitReadable); the
// interface thread configures, connects, writes commands and calls Disconnect to end a blocked
// ReadLine. Implementations keep every operation safe under that use; the flags below are atomics
// because one thread sets them while the other reads them.
#include <atomic>
#include <mutex>
#include <string>

namespace winorvex {

class CComBox {
public:
    static constexpr const char* kDefaultDetectorId = "31";

    CComBox() = default;
    virtual ~CComBox() = default;
    CComBox(const CComBox&) = delete;
    CComBox& operator=(const CComBox&) = delete;

    // Closes at the program's own request: IsClosedOnRequest becomes true and a ReadLine blocked
    // in another thread returns a negative value at once.
    virtual bool Disconnect() = 0;
    // Closes the link if it is open.
    virtual bool Close() = 0;
    // Reads one line ended by a line feed into buffer (capacity bytes, zero-terminated, the line
    // feed not stored, a carriage return before it kept). Returns the length, 0 for an empty line,
    // capacity-1 for each piece of a longer line, negative on error or when the link ended (the
    // transport is then closed).
    virtual int ReadLine(char* buffer, int capacity) = 0;
    // 1 input waiting, 0 nothing within milliseconds, -1 not open or in error.
    virtual int WaitReadable(int milliseconds) = 0;
    // Short text naming the link, e.g. "[50:10000 31]".
    virtual std::string GetDescription() const = 0;
    // Sends the bytes as they are; returns the number sent, or -1.
    virtual int Write(const char* data, int length) = 0;
    // A port (or speed) is set.
    virtual bool HasAddress() const = 0;

    virtual void SetReconnecting(bool reconnecting) { reconnecting_.store(reconnecting); }
    virtual bool IsReconnecting() const { return reconnecting_.load(); }
    virtual void SetClosedOnRequest(bool closed) { closedOnRequest_.store(closed); }
    virtual bool IsClosedOnRequest() const { return closedOnRequest_.load(); }

    // Stores the three parameters, then Connect.
    virtual bool Open(const std::string& detectorId, const std::string& host, int port, std::string& error) = 0;
    // Opens the link; on failure error receives the reason. Clears IsClosedOnRequest on success.
    virtual bool Connect(std::string& error) = 0;
    virtual bool IsConfigured() const = 0;
    // Open, or being reopened by the worker.
    virtual bool IsActive() const = 0;
    virtual bool IsOpen() const = 0;
    // Tag for file names, e.g. "50-10000-31".
    virtual std::string GetFileTag() const = 0;
    // host is the host name or address for TCP, the port name for serial; port is the TCP port or
    // the serial speed. No connection is made.
    virtual void SetParameters(const std::string& detectorId, const std::string& host, int port) = 0;
    virtual void GetParameters(std::string& detectorId, std::string& host, int& port) const = 0;
    // The raw handle of the open link (a descriptor, or a marker for serial), -1 when none.
    virtual void SetHandle(int handle) = 0;
    virtual void GetHandle(int& handle) const = 0;
    virtual bool IsSerial() const = 0;
    // A whole line already waits in the transport's own buffer, so ReadLine returns without
    // blocking. Reader thread only.
    virtual bool HasBufferedLine() const { return false; }

protected:
    // The detector identifier is only used in descriptions and file tags; it is never sent.
    std::string DetectorId() const {
        std::lock_guard lock(detectorMutex_);
        return detectorId_;
    }
    void SetDetectorId(const std::string& detectorId) {
        std::lock_guard lock(detectorMutex_);
        detectorId_ = detectorId;
    }

    // Text after the last '.', or the whole text without '.'.
    static std::string HostTail(const std::string& host) {
        const auto dot = host.rfind('.');
        return dot == std::string::npos ? host : host.substr(dot + 1);
    }

private:
    mutable std::mutex detectorMutex_;
    std::string detectorId_ = kDefaultDetectorId;
    std::atomic<bool> closedOnRequest_{false};
    std::atomic<bool> reconnecting_{false};
};

}  // namespace winorvex
