#include "control_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace winorvex::sim {

namespace {

constexpr std::size_t kMaxClients = 8;
constexpr std::size_t kMaxCommandLine = 1024;
constexpr auto kAnswerTimeout = std::chrono::seconds(2);

}  // namespace

ControlServer::~ControlServer() {
    Stop();
}

bool ControlServer::Listen(int port, std::string* error) {
    listener_ = ListenLoopback(port, &port_, error);
    return listener_.valid();
}

void ControlServer::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
}

void ControlServer::Stop() {
    if (!thread_.joinable()) return;
    stop_.Signal();
    thread_.join();
    stop_.Drain();
    listener_.reset();
}

bool ControlServer::ServeClient(Client& client) {
    char buffer[1024];
    const ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return false;
    client.pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t lf;
    while ((lf = client.pending.find('\n')) != std::string::npos) {
        const std::string line = client.pending.substr(0, lf);
        client.pending.erase(0, lf + 1);
        const std::string answer = handler_(line) + "\n";
        if (!SendAll(client.fd.get(), answer, kAnswerTimeout)) return false;
    }
    if (client.pending.size() > kMaxCommandLine) {
        SendAll(client.fd.get(), "error: line too long\n", kAnswerTimeout);
        return false;
    }
    return true;
}

void ControlServer::Loop() {
    std::vector<Client> clients;
    std::vector<pollfd> fds;
    while (true) {
        fds.clear();
        fds.push_back({stop_.fd(), POLLIN, 0});
        fds.push_back({listener_.get(), POLLIN, 0});
        for (const Client& c : clients) fds.push_back({c.fd.get(), POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), 500);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) return;
        // Serve the existing clients first: the indexes of `fds` follow `clients` as it was.
        for (std::size_t i = clients.size(); i-- > 0;) {
            if (fds[i + 2].revents == 0) continue;
            if (!ServeClient(clients[i])) clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (fds[1].revents & POLLIN) {
            UniqueFd fd = AcceptClient(listener_.get());
            if (fd.valid()) {
                SetNonBlocking(fd.get());
                if (clients.size() >= kMaxClients) {
                    SendAll(fd.get(), "error: too many control clients\n", kAnswerTimeout);
                } else {
                    clients.push_back({std::move(fd), {}});
                }
            }
        }
    }
}

}  // namespace winorvex::sim
