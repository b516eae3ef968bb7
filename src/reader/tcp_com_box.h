#pragma once
// The transport of a reader reached over TCP.
//
// Descriptor lifecycle: the open connection is held through a shared pointer. ReadLine and Write
// take their own reference for the duration of the blocking call, so Close or Disconnect from
// another thread only shuts the connection down (which ends a blocked receive at once) and drops
// the transport's reference; the descriptor is closed by whichever side lets go last. No thread can
// therefore ever use a descriptor number that was closed and handed out again, and no lock is held
// while a call blocks on the network.
//
// Reading goes through an internal buffer filled by one recv() per chunk; the bytes after a
// returned line wait there for the next call and are dropped when the link is closed or reopened.
// A returned line lacks its line feed but keeps a carriage return before it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/tcp_socket.h"
#include "reader/com_box.h"

namespace winorvex {

class CTcpComBox : public CComBox {
public:
    static constexpr int kLineBufferSize = 4096;  // also the largest capacity ReadLine honours

    CTcpComBox() : CComBox(Kind::kTcp) {}
    ~CTcpComBox() override;

    // Waits at most GOrvexConnectionTimeout whole seconds. Errors: "Error gethostbyname",
    // "Unable to Connect".
    bool Connect(const BoxAddress& address, std::string& error) override;
    bool Disconnect() override;
    bool Close() override;
    bool IsOpen() const override;
    int ReadLine(char* buffer, int capacity) override;
    int WaitReadable(int milliseconds) override;
    bool HasBufferedLine() const override;
    int Write(const char* data, int length) override;

private:
    using SocketRef = std::shared_ptr<const TcpSocket>;

    // Installs a new connection (or none) and wakes whoever is blocked on the old one.
    void Replace(SocketRef next);
    // Closes only if the connection is still the given one (a reader ending on a stale socket
    // must not close a newer connection).
    void CloseIfCurrent(const SocketRef& expected);
    // The current connection, and whether the reader's buffered bytes still belong to it.
    SocketRef CurrentForReader();
    // Copies up to one line (or a capacity-1 piece) out of the buffer; -1 when more bytes are needed.
    int TakeBufferedLine(char* buffer, int capacity);

    mutable std::mutex mutex_;  // guards socket_ and generation_
    SocketRef socket_;
    std::uint64_t generation_ = 0;  // changes with every connection installed or dropped

    // Reader side: touched only by the thread inside ReadLine / WaitReadable.
    std::array<char, kLineBufferSize> pending_{};
    std::size_t pendingStart_ = 0;
    std::size_t pendingEnd_ = 0;
    std::uint64_t pendingGeneration_ = 0;
};

}  // namespace winorvex
