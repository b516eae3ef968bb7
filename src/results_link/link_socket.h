#pragma once
// The socket pieces of the direct connection that the platform layer's blocking helpers do not
// give: a wake-up another thread can signal, and a connect that such a wake-up ends at once.
#include <chrono>
#include <string>

#include "core/unique_fd.h"
#include "platform/tcp_socket.h"

namespace winorvex {

// An eventfd: any thread signals, the link thread polls it next to its socket.
class WakeEvent {
public:
    WakeEvent();
    bool IsOpen() const { return fd_.IsOpen(); }
    int Fd() const { return fd_.Get(); }
    void Signal() const;
    void Drain() const;

private:
    UniqueFd fd_;
};

enum class LinkConnectResult {
    kConnected,
    kResolveFailed,
    kFailed,   // refused, unreachable, or no answer within the time-out
    kStopped,  // the wake-up came first
};

// Resolves host (IPv4, first address; the look-up itself cannot be interrupted, it is quick for
// numeric addresses and names of the hosts file), connects without blocking and waits at most
// timeout for the connection or for the wake-up. On success out holds the socket, left in
// non-blocking mode. error receives a short reason for the log on failure.
LinkConnectResult ConnectInterruptible(const std::string& host, int port, std::chrono::milliseconds timeout,
                                       const WakeEvent& wake, TcpSocket& out, std::string& error);

}  // namespace winorvex
