#include "socket_util.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace winorvex::sim {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

UniqueFd ListenLoopback(int port, int* bound_port, std::string* error) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    // The listener is closed and reopened on the same port by "away"; without this the port
    // would stay blocked by the previous connections' TIME_WAIT entries.
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (error) *error = "bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return {};
    }
    if (::listen(fd.get(), 16) != 0 || !SetNonBlocking(fd.get())) {
        if (error) *error = std::string("listen: ") + std::strerror(errno);
        return {};
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (error) *error = std::string("getsockname: ") + std::strerror(errno);
        return {};
    }
    if (bound_port) *bound_port = ntohs(addr.sin_port);
    return fd;
}

UniqueFd AcceptClient(int listener) {
    UniqueFd fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (fd.valid()) {
        // A reader sends each read the moment it happens; without this a slow trickle of reads
        // would wait for the station's acknowledgements and show up as latency in the station.
        const int one = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

WakeFd::WakeFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void WakeFd::Signal() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void WakeFd::Drain() const {
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_.get(), &value, sizeof value);
}

namespace {

int RemainingMs(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool SendAll(int fd, std::string_view data, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int left = RemainingMs(end);
            if (left == 0 || ::poll(&p, 1, left) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

std::string ReadRequest(int fd, std::size_t max_bytes, std::chrono::milliseconds timeout, int stop_fd) {
    std::string request;
    const auto end = std::chrono::steady_clock::now() + timeout;
    char chunk[512];
    while (request.size() < max_bytes) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        const int left = RemainingMs(end);
        if (left == 0) break;
        const int ready = ::poll(p, stop_fd >= 0 ? 2 : 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (stop_fd >= 0 && (p[1].revents & POLLIN))) break;
        const std::size_t want = std::min(sizeof chunk, max_bytes - request.size());
        const ssize_t n = ::recv(fd, chunk, want, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        request.append(chunk, static_cast<std::size_t>(n));
        if (std::memchr(chunk, '\n', static_cast<std::size_t>(n)) != nullptr) break;
    }
    return request;
}

}  // namespace winorvex::sim
