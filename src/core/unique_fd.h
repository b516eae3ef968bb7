#pragma once
// Owns one POSIX file descriptor and closes it when it goes.
#include <unistd.h>

#include <cstddef>
#include <utility>

namespace winorvex {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes now and reports whether the close itself succeeded (a late write error shows here).
    bool Close() {
        if (fd_ < 0) return true;
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0;
    }
    void Reset() { Close(); }

private:
    int fd_ = -1;
};

// Writes the buffer, going on after short writes and interruptions. Returns the number of bytes
// written: all of them, or fewer with errno set (a full disk may cut a write short; the part
// written is reported so a caller never writes it twice).
std::size_t WriteFully(int fd, const char* data, std::size_t length);
// True when the whole buffer was written; errno set otherwise.
inline bool WriteAll(int fd, const char* data, std::size_t length) {
    return WriteFully(fd, data, length) == length;
}

}  // namespace winorvex
