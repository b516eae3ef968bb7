#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>

namespace winorvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct AddrInfoFree {
    void operator()(addrinfo* info) const { ::freeaddrinfo(info); }
};

bool SetNonBlocking(int fd, bool nonBlocking) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    const int wanted = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return wanted == flags || ::fcntl(fd, F_SETFL, wanted) == 0;
}

// poll() until the deadline has really passed: the remaining time is recomputed after a signal
// and rounded up, so a time-out never ends early.
int PollUntil(pollfd& pfd, SteadyClock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        const int waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        pfd.revents = 0;
        const int r = ::poll(&pfd, 1, waitMs);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 && waitMs > 0 && SteadyClock::now() < deadline) continue;
        return r;
    }
}

}  // namespace

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

int TcpSocket::Release() {
    return std::exchange(fd_, -1);
}

void TcpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ConnectStatus TcpSocket::Connect(const std::string& host, int port, int timeoutSeconds, TcpSocket& out) {
    out.Close();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return ConnectStatus::kResolveFailed;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> info(found);
    // A port outside the TCP range would silently wrap to another service.
    if (port <= 0 || port > 65535) return ConnectStatus::kConnectFailed;

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr = reinterpret_cast<const sockaddr_in*>(info->ai_addr)->sin_addr;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));

    TcpSocket candidate(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!candidate.IsOpen() || !SetNonBlocking(candidate.fd_, true)) return ConnectStatus::kConnectFailed;

    if (::connect(candidate.fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return ConnectStatus::kConnectFailed;
        const auto deadline = SteadyClock::now() + std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : 0);
        pollfd pfd{candidate.fd_, POLLOUT, 0};
        const int ready = PollUntil(pfd, deadline);
        if (ready <= 0) {
            // Nothing came back in time: give up the half-open attempt.
            ::shutdown(candidate.fd_, SHUT_WR);
            return ConnectStatus::kConnectFailed;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(candidate.fd_, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            return ConnectStatus::kConnectFailed;
        }
    }
    if (!SetNonBlocking(candidate.fd_, false)) return ConnectStatus::kConnectFailed;
    out = std::move(candidate);
    return ConnectStatus::kOk;
}

ssize_t TcpSocket::SendOnce(const void* data, std::size_t length) const {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
    }
}

ssize_t TcpSocket::SendAll(const void* data, std::size_t length) const {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = SendOnce(bytes + sent, length - sent);
        if (n <= 0) return -1;
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(length);
}

ssize_t TcpSocket::Receive(void* buffer, std::size_t capacity) const {
    if (fd_ < 0) return -1;
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, capacity, 0);
        if (n >= 0 || errno != EINTR) return n < 0 ? -1 : n;
    }
}

ssize_t TcpSocket::ReceiveWithin(void* buffer, std::size_t capacity, int timeoutMs) const {
    if (fd_ < 0) return -1;
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = PollUntil(pfd, SteadyClock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0));
    if (ready < 0) return -1;
    if (ready == 0) return kTimedOut;
    // Readable, hung up or in error: recv tells which.
    return Receive(buffer, capacity);
}

int TcpSocket::WaitReadable(int timeoutMs) const {
    if (fd_ < 0) return -1;
    pollfd pfd{fd_, POLLIN | POLLPRI, 0};
    const int ready = PollUntil(pfd, SteadyClock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0));
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    if (pfd.revents & (POLLIN | POLLPRI | POLLHUP)) return 1;
    return (pfd.revents & (POLLERR | POLLNVAL)) ? -1 : 0;
}

bool TcpSocket::Shutdown(int how) const {
    return fd_ >= 0 && ::shutdown(fd_, how) == 0;
}

}  // namespace winorvex
