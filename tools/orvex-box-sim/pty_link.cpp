#include "pty_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace winorvex::sim {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How much each direction holds before it stops taking more from its source.
constexpr std::size_t kMaxPending = 64 * 1024;
constexpr auto kReconnectDelay = 100ms;
// While nobody has the port open the master only reports the hang-up: look again this often.
constexpr auto kDetachedPoll = 20ms;
constexpr auto kMaxWait = 100ms;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Reads what is there into `into` (at most up to kMaxPending); false when the source is gone.
bool ReadInto(int fd, std::string& into, bool is_socket) {
    char buffer[16 * 1024];
    const std::size_t room = kMaxPending - std::min(kMaxPending, into.size());
    if (room == 0) return true;
    const ssize_t n = is_socket ? ::recv(fd, buffer, std::min(room, sizeof buffer), 0)
                                : ::read(fd, buffer, std::min(room, sizeof buffer));
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

// Writes what the destination takes now and drops it from `from`; false when it is gone.
bool WriteFrom(int fd, std::string& from, bool is_socket) {
    const ssize_t n =
        is_socket ? ::send(fd, from.data(), from.size(), MSG_NOSIGNAL) : ::write(fd, from.data(), from.size());
    if (n > 0) {
        from.erase(0, static_cast<std::size_t>(n));
        return true;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

}  // namespace

PtyLink::PtyLink(NoteSink note) : note_(std::move(note)) {}

PtyLink::~PtyLink() {
    Stop();
}

bool PtyLink::Open(int main_port, std::string* error) {
    if (thread_.joinable()) return true;
    main_port_ = main_port;
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char name[128] = {};
    if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
        ::ptsname_r(master.get(), name, sizeof name) != 0) {
        if (error) *error = ErrnoText("pseudo-terminal");
        return false;
    }
    // A raw line: the station's bytes must reach the reader as they are, never echoed back.
    termios tio{};
    bool raw = ::tcgetattr(master.get(), &tio) == 0;
    if (raw) {
        ::cfmakeraw(&tio);
        raw = ::tcsetattr(master.get(), TCSANOW, &tio) == 0;
    }
    if (!raw) {
        if (error) *error = ErrnoText("pseudo-terminal settings");
        return false;
    }
    // Opened and closed once, the slave leaves the master reporting a hang-up for as long as
    // nobody has the port open: that is how the loop sees the station come and go.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        if (error) *error = ErrnoText(name);
        return false;
    }
    ::close(slave);
    if (!SetNonBlocking(master.get())) {
        if (error) *error = ErrnoText("pseudo-terminal mode");
        return false;
    }
    slave_path_ = name;
    master_ = std::move(master);
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void PtyLink::Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    wake_.Signal();
    thread_.join();
    Detach();
    master_.reset();
}

void PtyLink::Loop() {
    while (!stop_) {
        if (!attached_) {
            pollfd line{master_.get(), POLLIN, 0};
            if (::poll(&line, 1, 0) >= 0 && (line.revents & POLLHUP) != 0) {
                pollfd wake{wake_.fd(), POLLIN, 0};
                if (::poll(&wake, 1, static_cast<int>(kDetachedPoll.count())) > 0) wake_.Drain();
                continue;
            }
            attached_ = true;
            ++attachments_;
            next_connect_ = Clock::now();
            if (note_) note_("the station opened " + slave_path_);
        }
        if (!Shuttle()) {
            Detach();
            if (note_) note_("the station closed " + slave_path_);
        }
    }
}

void PtyLink::ConnectReader() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(main_port_));
    // On loopback a connect either succeeds or is refused at once.
    if (fd.valid() && ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        SetNonBlocking(fd.get())) {
        reader_ = std::move(fd);
        return;
    }
    // The reader is away or powered off: the line stays silent until it is back.
    next_connect_ = Clock::now() + kReconnectDelay;
}

bool PtyLink::Shuttle() {
    auto now = Clock::now();
    if (!reader_.valid() && now >= next_connect_) ConnectReader();

    pollfd fds[3];
    fds[0] = {wake_.fd(), POLLIN, 0};
    const auto line_events =
        static_cast<short>((to_reader_.size() < kMaxPending ? POLLIN : 0) | (!to_station_.empty() ? POLLOUT : 0));
    fds[1] = {master_.get(), line_events, 0};
    nfds_t count = 2;
    if (reader_.valid()) {
        const auto reader_events =
            static_cast<short>((to_station_.size() < kMaxPending ? POLLIN : 0) | (!to_reader_.empty() ? POLLOUT : 0));
        fds[count++] = {reader_.get(), reader_events, 0};
    }
    auto wait = kMaxWait;
    if (!reader_.valid()) {
        now = Clock::now();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next_connect_ - now);
        wait = std::clamp(left, 0ms, kMaxWait);
    }
    const int ready = ::poll(fds, count, static_cast<int>(wait.count()));
    if (ready <= 0) return true;
    if (fds[0].revents != 0) {
        wake_.Drain();
        return true;
    }

    const short line = fds[1].revents;
    if ((line & (POLLHUP | POLLERR | POLLNVAL)) != 0) return false;
    if ((line & POLLIN) != 0 && !ReadInto(master_.get(), to_reader_, false)) return false;
    if ((line & POLLOUT) != 0 && !WriteFrom(master_.get(), to_station_, false)) return false;

    if (count == 3) {
        const short link = fds[2].revents;
        bool gone = (link & (POLLERR | POLLNVAL)) != 0;
        if (!gone && (link & (POLLIN | POLLHUP)) != 0) gone = !ReadInto(reader_.get(), to_station_, true);
        if (!gone && (link & POLLOUT) != 0) gone = !WriteFrom(reader_.get(), to_reader_, true);
        if (gone) {
            // What the reader said before it went still reaches the station.
            reader_.reset();
            to_reader_.clear();
            next_connect_ = Clock::now() + kReconnectDelay;
        }
    }
    return true;
}

void PtyLink::Detach() {
    attached_ = false;
    reader_.reset();
    to_station_.clear();
    to_reader_.clear();
    if (master_.valid()) ::tcflush(master_.get(), TCIOFLUSH);
}

std::string SerialReadyLine(const std::string& ready_line, const std::string& slave_path) {
    const std::string marker = " ready";
    const auto at = ready_line.find(marker);
    std::string line = ready_line;
    if (at == std::string::npos) return line + " serial=" + slave_path;
    line.insert(at + marker.size(), " serial=" + slave_path);
    return line;
}

}  // namespace winorvex::sim
