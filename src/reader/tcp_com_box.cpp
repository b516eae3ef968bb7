#include "reader/tcp_com_box.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/station_settings.h"

namespace winorvex {

CTcpComBox::~CTcpComBox() {
    Replace(nullptr);
}

void CTcpComBox::Replace(SocketRef next) {
    SocketRef previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::exchange(socket_, std::move(next));
        ++generation_;
    }
    // Outside the lock: shutdown never blocks, and a reader or writer still holding the old
    // connection gets an error at once; the last one to let go closes the descriptor.
    if (previous) previous->Shutdown(SHUT_RDWR);
}

void CTcpComBox::CloseIfCurrent(const SocketRef& expected) {
    SocketRef previous;
    {
        std::lock_guard lock(mutex_);
        if (socket_ != expected) return;
        previous = std::exchange(socket_, nullptr);
        ++generation_;
    }
    if (previous) previous->Shutdown(SHUT_RDWR);
}

bool CTcpComBox::Disconnect() {
    SetClosedOnRequest(true);
    Replace(nullptr);
    return true;
}

bool CTcpComBox::Close() {
    Replace(nullptr);
    return true;
}

CTcpComBox::SocketRef CTcpComBox::CurrentForReader() {
    std::lock_guard lock(mutex_);
    if (pendingGeneration_ != generation_) {
        pendingStart_ = pendingEnd_ = 0;
        pendingGeneration_ = generation_;
    }
    return socket_;
}

int CTcpComBox::TakeBufferedLine(char* buffer, int capacity) {
    const std::size_t available = pendingEnd_ - pendingStart_;
    const std::size_t pieceLimit = static_cast<std::size_t>(capacity - 1);
    const std::size_t scan = std::min(available, pieceLimit);
    const char* start = pending_.data() + pendingStart_;
    const auto* lineFeed = static_cast<const char*>(std::memchr(start, '\n', scan));
    std::size_t length;
    std::size_t consumed;
    if (lineFeed != nullptr) {
        length = static_cast<std::size_t>(lineFeed - start);
        consumed = length + 1;
    } else if (available >= pieceLimit) {
        // A line longer than the caller's buffer comes back in pieces.
        length = pieceLimit;
        consumed = pieceLimit;
    } else {
        return -1;
    }
    std::memcpy(buffer, start, length);
    buffer[length] = '\0';
    pendingStart_ += consumed;
    if (pendingStart_ == pendingEnd_) pendingStart_ = pendingEnd_ = 0;
    return static_cast<int>(length);
}

int CTcpComBox::ReadLine(char* buffer, int capacity) {
    if (buffer == nullptr || capacity < 2) return -1;
    capacity = std::min(capacity, kLineBufferSize);
    buffer[0] = '\0';
    const SocketRef socket = CurrentForReader();
    if (!socket) return -1;

    for (;;) {
        const int taken = TakeBufferedLine(buffer, capacity);
        if (taken >= 0) return taken;

        // Not a whole line yet: keep what we have at the front and receive the next chunk. The
        // buffer is larger than any piece, so there is always room after compaction.
        if (pendingStart_ > 0) {
            std::memmove(pending_.data(), pending_.data() + pendingStart_, pendingEnd_ - pendingStart_);
            pendingEnd_ -= pendingStart_;
            pendingStart_ = 0;
        }
        const ssize_t received = socket->Receive(pending_.data() + pendingEnd_, pending_.size() - pendingEnd_);
        if (received <= 0) {
            CloseIfCurrent(socket);
            pendingStart_ = pendingEnd_ = 0;
            return received < 0 ? static_cast<int>(received) : -1;
        }
        {
            // Closed or reopened meanwhile (Disconnect from another thread): these bytes belong to
            // a link that no longer exists.
            std::lock_guard lock(mutex_);
            if (socket_ != socket) {
                pendingStart_ = pendingEnd_ = 0;
                return -1;
            }
        }
        pendingEnd_ += static_cast<std::size_t>(received);
    }
}

bool CTcpComBox::HasBufferedLine() const {
    // Bytes of a link closed meanwhile may still sit here; the next ReadLine drops them, so at
    // worst one pause is skipped.
    const std::size_t available = pendingEnd_ - pendingStart_;
    return available > 0 && std::memchr(pending_.data() + pendingStart_, '\n', available) != nullptr;
}

int CTcpComBox::WaitReadable(int milliseconds) {
    const SocketRef socket = CurrentForReader();
    if (!socket) return -1;
    if (pendingEnd_ > pendingStart_) return 1;
    return socket->WaitReadable(milliseconds);
}

int CTcpComBox::Write(const char* data, int length) {
    SocketRef socket;
    {
        std::lock_guard lock(mutex_);
        socket = socket_;
    }
    if (!socket || data == nullptr || length < 0) return -1;
    return static_cast<int>(socket->SendAll(data, static_cast<std::size_t>(length)));
}

bool CTcpComBox::IsOpen() const {
    std::lock_guard lock(mutex_);
    return socket_ != nullptr;
}

bool CTcpComBox::Connect(const BoxAddress& address, std::string& error) {
    Replace(nullptr);

    TcpSocket connection;
    switch (TcpSocket::Connect(address.host, address.port, Settings().connectionTimeout.load(), connection)) {
        case ConnectStatus::kResolveFailed:
            error = "Error gethostbyname";
            return false;
        case ConnectStatus::kConnectFailed:
            error = "Unable to Connect";
            return false;
        case ConnectStatus::kOk:
            break;
    }
    Replace(std::make_shared<const TcpSocket>(std::move(connection)));
    SetClosedOnRequest(false);
    return true;
}

}  // namespace winorvex
