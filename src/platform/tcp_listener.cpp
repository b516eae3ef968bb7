#include "platform/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace winorvex {

TcpListener::~TcpListener() {
    Close();
}

TcpListener::TcpListener(TcpListener&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), port_(std::exchange(other.port_, 0)) {}

TcpListener& TcpListener::operator=(TcpListener&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        port_ = std::exchange(other.port_, 0);
    }
    return *this;
}

void TcpListener::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    port_ = 0;
}

bool TcpListener::Listen(const std::string& address, int port, int backlog, std::string& error) {
    Close();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        error = "invalid address " + address;
        return false;
    }
    TcpSocket owner(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!owner.IsOpen()) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int yes = 1;
    ::setsockopt(owner.Fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(owner.Fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        error = std::string("bind: ") + std::strerror(errno);
        return false;
    }
    if (::listen(owner.Fd(), backlog) != 0) {
        error = std::string("listen: ") + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(owner.Fd(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = std::string("getsockname: ") + std::strerror(errno);
        return false;
    }
    port_ = ntohs(addr.sin_port);
    fd_ = owner.Release();
    return true;
}

TcpSocket TcpListener::Accept(int timeoutMs) const {
    if (fd_ < 0) return TcpSocket();
    pollfd pfd{fd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, timeoutMs > 0 ? timeoutMs : 0);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return TcpSocket();
    return TcpSocket(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
}

}  // namespace winorvex
