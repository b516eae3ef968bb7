#pragma once
// A listening TCP socket (IPv4) for the loopback services of the tools and the tests.
#include <string>

#include "platform/tcp_socket.h"

namespace winorvex {

class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(TcpListener&& other) noexcept;
    TcpListener& operator=(TcpListener&& other) noexcept;
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds address ("127.0.0.1", "0.0.0.0" ...) and port (0 picks a free one) and listens.
    // error receives the failing call's description.
    bool Listen(const std::string& address, int port, int backlog, std::string& error);
    bool IsListening() const { return fd_ >= 0; }
    // The bound port (useful after port 0), or 0.
    int Port() const { return port_; }
    // Waits at most timeoutMs for a connection; an empty socket on time-out or error.
    TcpSocket Accept(int timeoutMs) const;
    void Close();

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace winorvex
