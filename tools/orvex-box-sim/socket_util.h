#pragma once
// Small POSIX socket helpers shared by the simulator's listeners: owned descriptors, loopback
// listeners, bounded waits and complete sends.
#include <chrono>
#include <string>
#include <string_view>

namespace winorvex::sim {

// Owns one file descriptor; closes it on destruction or reset.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Listens on 127.0.0.1:port (0 = any free port). On success returns the listener and stores the
// bound port; on failure returns an invalid descriptor and fills the error text.
UniqueFd ListenLoopback(int port, int* bound_port, std::string* error);

// Accepts one pending connection (non-blocking listener); invalid when none was pending.
UniqueFd AcceptClient(int listener);

bool SetNonBlocking(int fd);

// A level-triggered wake-up: once Signal() is called, the descriptor stays readable until Drain().
class WakeFd {
public:
    WakeFd();
    int fd() const { return fd_.get(); }
    bool valid() const { return fd_.valid(); }
    void Signal() const;
    void Drain() const;

private:
    UniqueFd fd_;
};

// Sends the whole text on a blocking or non-blocking socket, waiting at most `timeout` overall.
bool SendAll(int fd, std::string_view data, std::chrono::milliseconds timeout);

// Reads from `fd` until a line feed arrives, `max_bytes` are held, the peer closes or the
// deadline passes; returns what was read (the line feed included when it came).
std::string ReadRequest(int fd, std::size_t max_bytes, std::chrono::milliseconds timeout, int stop_fd);

}  // namespace winorvex::sim
