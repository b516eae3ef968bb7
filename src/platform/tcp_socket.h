#pragma once
// A connected TCP stream socket (IPv4) owning its descriptor. The lowest layer: no settings, no
// logging, no texts; callers turn the outcomes into their own messages.
//
// Thread use: one thread may receive while another sends or calls Shutdown (which ends a blocked
// receive at once). Closing is the owner's business; a descriptor is never closed while another
// thread may still use it, which is why owners that share a socket across threads hold it through
// a std::shared_ptr and let the last holder close it.
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace winorvex {

enum class ConnectStatus {
    kOk,
    kResolveFailed,  // the host name has no IPv4 address
    kConnectFailed,  // refused, unreachable, or no answer within the time-out
};

class TcpSocket {
public:
    TcpSocket() = default;
    // Takes ownership of an open descriptor (or -1 for none).
    explicit TcpSocket(int fd) : fd_(fd) {}
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves host (IPv4, first address), connects without blocking and waits at most
    // timeoutSeconds whole seconds for the connection; a refusal fails at once. On success the
    // socket is back in blocking mode and owned by out (any socket out held before is closed).
    static ConnectStatus Connect(const std::string& host, int port, int timeoutSeconds, TcpSocket& out);

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // Gives the descriptor up without closing it.
    int Release();
    void Close();

    // One send call (retried only when interrupted before sending anything); never raises SIGPIPE.
    // Returns the bytes sent or -1.
    ssize_t SendOnce(const void* data, std::size_t length) const;
    // Sends everything unless an error occurs; returns length, or -1.
    ssize_t SendAll(const void* data, std::size_t length) const;
    // One blocking receive: bytes received, 0 when the peer closed, -1 on error.
    ssize_t Receive(void* buffer, std::size_t capacity) const;
    // Like Receive, but gives up after timeoutMs: returns kTimedOut then.
    static constexpr ssize_t kTimedOut = -2;
    ssize_t ReceiveWithin(void* buffer, std::size_t capacity, int timeoutMs) const;
    // 1 readable (data or end of stream), 0 nothing within timeoutMs, -1 error on the socket.
    int WaitReadable(int timeoutMs) const;
    // shutdown(2); safe while another thread is blocked on this socket.
    bool Shutdown(int how) const;

private:
    int fd_ = -1;
};

}  // namespace winorvex
