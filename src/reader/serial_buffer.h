#pragma once
// The bytes received on a serial port and not yet taken as lines: a fixed 4096-byte buffer filled
// by the port's reader thread and emptied by the box worker, with the "data ready" signal that
// wakes a worker waiting for a line.
//
// At its limits nothing is written past the buffer and no byte is lost while the worker keeps up:
// a line longer than the taker's limit is handed out in pieces of that limit, so the buffer only
// fills when the worker lags behind the reader. Then the oldest bytes make room for the new ones
// (Append says how many), since the newest reads are the ones the race still needs.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace winorvex {

class CSerialBuffer {
public:
    static constexpr std::size_t kCapacity = 4096;
    using Clock = std::chrono::steady_clock;

    CSerialBuffer() = default;
    CSerialBuffer(const CSerialBuffer&) = delete;
    CSerialBuffer& operator=(const CSerialBuffer&) = delete;

    // Appends the text of data (up to its first zero byte: the link carries text only) and wakes
    // a waiting taker. Returns the number of older bytes dropped to make room.
    std::size_t Append(const char* data, std::size_t length);
    // Forgets everything, as when data arrives while reception is not started.
    void Clear();

    // Takes the text up to and including the first delimiter, or a piece of limit bytes when that
    // many wait without one, into destination (limit + 1 bytes, zero-terminated). When neither is
    // there yet, waits for new bytes until the deadline or until interrupted() holds (it is
    // evaluated under the buffer's lock, after every wake-up). Returns the number taken, 0 when
    // nothing was taken: nothing is consumed unless it is handed out whole.
    template <class Interrupted>
    std::size_t TakeUntil(char delimiter, char* destination, std::size_t limit, Clock::time_point deadline,
                          Interrupted interrupted) {
        std::unique_lock lock(mutex_);
        std::size_t taken = 0;
        dataReady_.wait_until(lock, deadline, [&] {
            taken = TakeLocked(delimiter, destination, limit);
            return taken > 0 || interrupted();
        });
        return taken;
    }

    // Wakes every waiting taker so that it looks at its interruption condition again. The lock is
    // taken on the way, so a taker that just tested that condition cannot miss the wake-up.
    void Wake();

    // Waits until some byte waits to be taken, at most until the deadline.
    bool WaitForUnread(Clock::time_point deadline);
    std::size_t Unread() const;
    // Whether TakeUntil would hand something out at once.
    bool HasWhole(char delimiter, std::size_t limit) const;
    std::uint64_t DroppedTotal() const;

private:
    std::size_t TakeLocked(char delimiter, char* destination, std::size_t limit);

    mutable std::mutex mutex_;
    std::condition_variable dataReady_;
    std::array<char, kCapacity> data_{};
    std::size_t written_ = 0;  // end of the written bytes
    std::size_t readPos_ = 0;  // first byte not yet taken
    std::uint64_t droppedTotal_ = 0;
};

}  // namespace winorvex
