#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "line_client.h"

namespace winorvex::sim::test {

using Clock = std::chrono::steady_clock;

LineClient::~LineClient() {
    Close();
}

void LineClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    closed_ = false;
    buffer_.clear();
}

bool LineClient::Connect(int port, std::chrono::milliseconds timeout) {
    Close();
    const auto deadline = Clock::now() + timeout;
    do {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            fd_ = fd;
            return true;
        }
        ::close(fd);
        pollfd none{-1, 0, 0};
        if (Clock::now() >= deadline) break;
        ::poll(&none, 0, 10);  // a refused connection: try again shortly, within the deadline
    } while (Clock::now() < deadline);
    return false;
}

bool LineClient::Send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool LineClient::Fill(Clock::time_point deadline) {
    if (fd_ < 0 || closed_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[65536];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        closed_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

bool LineClient::ReadLine(std::string* line, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto lf = buffer_.find('\n');
        if (lf != std::string::npos) {
            line->assign(buffer_, 0, lf);
            buffer_.erase(0, lf + 1);
            return true;
        }
        if (!Fill(deadline)) return false;
    }
}

bool LineClient::ReadUntil(const std::string& prefix, std::string* line, std::vector<std::string>* skipped,
                           std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (!ReadLine(line, left)) return false;
        if (line->rfind(prefix, 0) == 0) return true;
        if (skipped) skipped->push_back(*line);
    }
    return false;
}

bool LineClient::WaitClosed(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!closed_ && Fill(deadline)) buffer_.clear();
    return closed_;
}

std::string LineClient::ReadAll(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Fill(deadline)) {
    }
    std::string all;
    all.swap(buffer_);
    return all;
}

bool LineClient::SilentFor(std::chrono::milliseconds quiet) {
    const std::size_t before = buffer_.size();
    Fill(Clock::now() + quiet);
    return buffer_.size() == before && !closed_;
}

std::string CommandFrame(const std::string& head_and_data) {
    unsigned sum = 0;
    for (std::size_t i = 2; i < head_and_data.size(); ++i) sum += static_cast<unsigned char>(head_and_data[i]);
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02x", sum % 256);
    return head_and_data + checksum + "\r\n";
}

std::string SideRequest(int port, const std::string& request) {
    LineClient client;
    if (!client.Connect(port) || !client.Send(request)) return {};
    return client.ReadAll(std::chrono::seconds(3));
}

bool HasValidChecksum(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.pop_back();
    if (line.size() < 4 || (line.rfind("aa", 0) != 0 && line.rfind("ab", 0) != 0)) return false;
    if (line.rfind("aa", 0) == 0) {
        const std::string tail = line.substr(line.size() - 2);
        if (tail == "FS" || tail == "LS") line.resize(line.size() - 2);
    }
    const std::string written = line.substr(line.size() - 2);
    line.resize(line.size() - 2);
    unsigned sum = 0;
    for (std::size_t i = 2; i < line.size(); ++i) sum += static_cast<unsigned char>(line[i]);
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02x", sum % 256);
    return written == expected;
}

}  // namespace winorvex::sim::test
