#pragma once
// Loopback stand-ins for a reader in the transport and protocol tests: a listener on 127.0.0.1,
// the accepted peer socket, and a one-shot service thread for the side requests.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"
#include "reader/tcp_com_box.h"

namespace winorvex::test {

inline TcpListener ListenOnLoopback(int backlog = 8) {
    TcpListener listener;
    std::string error;
    EXPECT_TRUE(listener.Listen("127.0.0.1", 0, backlog, error)) << error;
    return listener;
}

// Points the transport at the listener, connects it and returns the reader side of the link.
inline TcpSocket ConnectToListener(CTcpComBox& box, const TcpListener& listener, const std::string& detectorId = "31") {
    std::string error;
    EXPECT_TRUE(box.Connect(BoxAddress{detectorId, "127.0.0.1", listener.Port()}, error)) << error;
    TcpSocket peer = listener.Accept(5000);
    EXPECT_TRUE(peer.IsOpen());
    return peer;
}

inline void SendText(const TcpSocket& peer, const std::string& text) {
    ASSERT_EQ(peer.SendAll(text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Collects what the peer receives until `expected` bytes came, the link ends or 5 s pass.
inline std::string ReceiveBytes(const TcpSocket& peer, std::size_t expected) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    char buffer[512];
    while (received.size() < expected && std::chrono::steady_clock::now() < deadline) {
        const ssize_t n = peer.ReceiveWithin(buffer, sizeof buffer, 100);
        if (n == TcpSocket::kTimedOut) continue;
        if (n <= 0) break;
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received;
}

// Accepts one connection on its own thread, hands it to `serve` and records the request it read.
class OneShotService {
public:
    // serve(peer, request) runs after the first chunk of the request arrived.
    using Serve = std::function<void(const TcpSocket& peer, const std::string& request)>;

    explicit OneShotService(Serve serve) : listener_(ListenOnLoopback()) {
        thread_ = std::thread([this, serve = std::move(serve)] {
            TcpSocket peer = listener_.Accept(5000);
            if (!peer.IsOpen()) return;
            char buffer[2048];
            const ssize_t n = peer.ReceiveWithin(buffer, sizeof buffer, 5000);
            std::string request;
            if (n > 0) request.assign(buffer, static_cast<std::size_t>(n));
            {
                std::lock_guard lock(mutex_);
                request_ = request;
            }
            serve(peer, request);
        });
    }
    ~OneShotService() {
        if (thread_.joinable()) thread_.join();
    }
    OneShotService(const OneShotService&) = delete;
    OneShotService& operator=(const OneShotService&) = delete;

    int Port() const { return listener_.Port(); }
    // Waits for the service to finish, then gives the request it read.
    std::string Request() {
        if (thread_.joinable()) thread_.join();
        std::lock_guard lock(mutex_);
        return request_;
    }

private:
    TcpListener listener_;
    std::thread thread_;
    std::mutex mutex_;
    std::string request_;
};

// Answers with a fixed text and closes.
inline OneShotService::Serve Answer(std::string reply) {
    return [reply = std::move(reply)](const TcpSocket& peer, const std::string&) {
        peer.SendAll(reply.data(), reply.size());
    };
}

}  // namespace winorvex::test
