#include "reader/serial_buffer.h"

#include <algorithm>
#include <cstring>

namespace winorvex {

std::size_t CSerialBuffer::Append(const char* data, std::size_t length) {
    const auto* zero = static_cast<const char*>(std::memchr(data, '\0', length));
    if (zero != nullptr) length = static_cast<std::size_t>(zero - data);
    if (length == 0) return 0;

    std::size_t dropped = 0;
    {
        std::lock_guard lock(mutex_);
        if (length >= kCapacity) {
            // More than the whole buffer at once: only its newest part can stay.
            dropped = (written_ - readPos_) + (length - kCapacity);
            data += length - kCapacity;
            length = kCapacity;
            readPos_ = written_ = 0;
        } else if (written_ + length > kCapacity) {
            // Move what waits to the front; if that is still not enough, the oldest bytes go.
            std::size_t unread = written_ - readPos_;
            if (unread + length > kCapacity) {
                dropped = unread + length - kCapacity;
                readPos_ += dropped;
                unread -= dropped;
            }
            std::memmove(data_.data(), data_.data() + readPos_, unread);
            readPos_ = 0;
            written_ = unread;
        }
        std::memcpy(data_.data() + written_, data, length);
        written_ += length;
        droppedTotal_ += dropped;
    }
    dataReady_.notify_all();
    return dropped;
}

void CSerialBuffer::Clear() {
    std::lock_guard lock(mutex_);
    readPos_ = written_ = 0;
}

std::size_t CSerialBuffer::TakeLocked(char delimiter, char* destination, std::size_t limit) {
    const std::size_t unread = written_ - readPos_;
    if (unread == 0 || limit == 0) return 0;
    const char* start = data_.data() + readPos_;
    const std::size_t scan = std::min(unread, limit);
    const auto* found = static_cast<const char*>(std::memchr(start, delimiter, scan));
    std::size_t length;
    if (found != nullptr) {
        length = static_cast<std::size_t>(found - start) + 1;
    } else if (unread >= limit) {
        length = limit;
    } else {
        return 0;
    }
    std::memcpy(destination, start, length);
    destination[length] = '\0';
    readPos_ += length;
    if (readPos_ == written_) readPos_ = written_ = 0;
    return length;
}

void CSerialBuffer::Wake() {
    { std::lock_guard lock(mutex_); }
    dataReady_.notify_all();
}

bool CSerialBuffer::WaitForUnread(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return dataReady_.wait_until(lock, deadline, [this] { return written_ > readPos_; });
}

std::size_t CSerialBuffer::Unread() const {
    std::lock_guard lock(mutex_);
    return written_ - readPos_;
}

bool CSerialBuffer::HasWhole(char delimiter, std::size_t limit) const {
    std::lock_guard lock(mutex_);
    const std::size_t unread = written_ - readPos_;
    if (unread == 0 || limit == 0) return false;
    return unread >= limit || std::memchr(data_.data() + readPos_, delimiter, unread) != nullptr;
}

std::uint64_t CSerialBuffer::DroppedTotal() const {
    std::lock_guard lock(mutex_);
    return droppedTotal_;
}

}  // namespace winorvex
