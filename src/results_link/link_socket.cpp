#include "results_link/link_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct AddrInfoFree {
    void operator()(addrinfo* info) const { ::freeaddrinfo(info); }
};

}  // namespace

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void WakeEvent::Signal() const {
    const std::uint64_t one = 1;
    // Non-blocking: a counter already near its limit is readable anyway, which is all we need.
    [[maybe_unused]] const ssize_t n = ::write(fd_.Get(), &one, sizeof one);
}

void WakeEvent::Drain() const {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_.Get(), &value, sizeof value);
}

LinkConnectResult ConnectInterruptible(const std::string& host, int port, std::chrono::milliseconds timeout,
                                       const WakeEvent& wake, TcpSocket& out, std::string& error) {
    out.Close();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = host.empty() ? EAI_NONAME : ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (lookup != 0 || found == nullptr) {
        error = Format(Tr("nom d'hôte inconnu : %s", "unknown host name: %s"), host.c_str());
        return LinkConnectResult::kResolveFailed;
    }
    const std::unique_ptr<addrinfo, AddrInfoFree> info(found);
    if (port <= 0 || port > 65535) {
        error = Format(Tr("port invalide : %d", "invalid port: %d"), port);
        return LinkConnectResult::kFailed;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr = reinterpret_cast<const sockaddr_in*>(info->ai_addr)->sin_addr;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));

    TcpSocket candidate(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!candidate.IsOpen()) {
        error = std::strerror(errno);
        return LinkConnectResult::kFailed;
    }
    if (::connect(candidate.Fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        out = std::move(candidate);
        return LinkConnectResult::kConnected;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        error = std::strerror(errno);
        return LinkConnectResult::kFailed;
    }
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) {
            candidate.Shutdown(SHUT_WR);
            error = Tr("pas de réponse dans le délai", "no answer in time");
            return LinkConnectResult::kFailed;
        }
        pollfd fds[2] = {{candidate.Fd(), POLLOUT, 0}, {wake.Fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            error = std::strerror(errno);
            return LinkConnectResult::kFailed;
        }
        if (fds[1].revents & POLLIN) return LinkConnectResult::kStopped;
        if (ready > 0 && fds[0].revents != 0) break;
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    if (::getsockopt(candidate.Fd(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0 || soError != 0) {
        error = std::strerror(soError != 0 ? soError : errno);
        return LinkConnectResult::kFailed;
    }
    out = std::move(candidate);
    return LinkConnectResult::kConnected;
}

}  // namespace winorvex
