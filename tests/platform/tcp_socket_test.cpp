#include "platform/tcp_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/tcp_listener.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using std::chrono::steady_clock;

TcpListener Listen(int backlog = 8) {
    TcpListener listener;
    std::string error;
    EXPECT_TRUE(listener.Listen("127.0.0.1", 0, backlog, error)) << error;
    EXPECT_GT(listener.Port(), 0);
    return listener;
}

TEST(TcpSocket, ConnectsAndCarriesBytesBothWays) {
    TcpListener listener = Listen();
    TcpSocket client;
    ASSERT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port(), 2, client), ConnectStatus::kOk);
    TcpSocket server = listener.Accept(5000);
    ASSERT_TRUE(server.IsOpen());

    const std::string hello = "ab00000222\r\n";
    EXPECT_EQ(client.SendAll(hello.data(), hello.size()), static_cast<ssize_t>(hello.size()));
    char buffer[64];
    const ssize_t n = server.ReceiveWithin(buffer, sizeof buffer, 5000);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n)), hello);

    // Back in blocking mode after the connection: a receive with nothing to read waits.
    EXPECT_EQ(client.WaitReadable(0), 0);
    EXPECT_EQ(server.SendOnce("x", 1), 1);
    EXPECT_EQ(client.WaitReadable(5000), 1);
    EXPECT_EQ(client.Receive(buffer, sizeof buffer), 1);

    // The peer's close reads as end of stream, and is "readable".
    server.Close();
    EXPECT_EQ(client.WaitReadable(5000), 1);
    EXPECT_EQ(client.Receive(buffer, sizeof buffer), 0);
}

TEST(TcpSocket, HostNameResolvesThroughTheSystem) {
    TcpListener listener = Listen();
    TcpSocket client;
    EXPECT_EQ(TcpSocket::Connect("localhost", listener.Port(), 2, client), ConnectStatus::kOk);
    EXPECT_TRUE(client.IsOpen());
}

TEST(TcpSocket, ResolutionAndRangeFailures) {
    TcpSocket client;
    EXPECT_EQ(TcpSocket::Connect("no-such-reader.invalid", 10000, 1, client), ConnectStatus::kResolveFailed);
    EXPECT_EQ(TcpSocket::Connect("", 10000, 1, client), ConnectStatus::kResolveFailed);
    // Out of range ports must not wrap around to some other service.
    TcpListener listener = Listen();
    EXPECT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port() + 65536, 1, client), ConnectStatus::kConnectFailed);
    EXPECT_EQ(TcpSocket::Connect("127.0.0.1", 0, 1, client), ConnectStatus::kConnectFailed);
    EXPECT_FALSE(client.IsOpen());
}

TEST(TcpSocket, RefusedConnectionFailsWithoutWaitingForTheTimeOut) {
    const int closedPort = test::FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    TcpSocket client;
    const auto start = steady_clock::now();
    EXPECT_EQ(TcpSocket::Connect("127.0.0.1", closedPort, 30, client), ConnectStatus::kConnectFailed);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(client.IsOpen());
}

TEST(TcpSocket, SilentHostTimesOutAfterTheWholeSeconds) {
    // A listener whose single-place queue is taken drops further connection requests unanswered.
    TcpListener listener = Listen(0);
    TcpSocket filler;
    ASSERT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port(), 2, filler), ConnectStatus::kOk);

    TcpSocket client;
    const auto start = steady_clock::now();
    const ConnectStatus status = TcpSocket::Connect("127.0.0.1", listener.Port(), 1, client);
    const auto elapsed = steady_clock::now() - start;
    if (status == ConnectStatus::kOk) GTEST_SKIP() << "this system answers connections beyond the backlog";
    EXPECT_EQ(status, ConnectStatus::kConnectFailed);
    EXPECT_GE(elapsed, std::chrono::seconds(1));
    EXPECT_FALSE(client.IsOpen());
}

TEST(TcpSocket, ShutdownFromAnotherThreadEndsABlockedReceive) {
    TcpListener listener = Listen();
    TcpSocket client;
    ASSERT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port(), 2, client), ConnectStatus::kOk);
    TcpSocket server = listener.Accept(5000);

    auto blocked = std::async(std::launch::async, [&client] {
        char buffer[16];
        return client.Receive(buffer, sizeof buffer);
    });
    EXPECT_TRUE(client.Shutdown(SHUT_RDWR));
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LE(blocked.get(), 0);
}

TEST(TcpSocket, ReceiveWithinGivesUpOrDelivers) {
    TcpListener listener = Listen();
    TcpSocket client;
    ASSERT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port(), 2, client), ConnectStatus::kOk);
    TcpSocket server = listener.Accept(5000);
    char buffer[16];
    EXPECT_EQ(client.ReceiveWithin(buffer, sizeof buffer, 50), TcpSocket::kTimedOut);
    server.SendAll("ok", 2);
    EXPECT_EQ(client.ReceiveWithin(buffer, sizeof buffer, 5000), 2);
}

TEST(TcpSocket, ClosedSocketRefusesEveryOperation) {
    TcpSocket none;
    char buffer[4];
    EXPECT_EQ(none.SendOnce("x", 1), -1);
    EXPECT_EQ(none.SendAll("x", 1), -1);
    EXPECT_EQ(none.Receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(none.ReceiveWithin(buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(none.WaitReadable(10), -1);
    EXPECT_FALSE(none.Shutdown(SHUT_RDWR));
}

TEST(TcpSocket, SendToAResetPeerFailsWithoutSignal) {
    TcpListener listener = Listen();
    TcpSocket client;
    ASSERT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port(), 2, client), ConnectStatus::kOk);
    {
        TcpSocket server = listener.Accept(5000);
        const linger resetOnClose{1, 0};
        ::setsockopt(server.Fd(), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
    }  // closed with a reset
    ASSERT_EQ(client.WaitReadable(5000), 1);
    // Without MSG_NOSIGNAL this would kill the test with SIGPIPE.
    EXPECT_EQ(client.SendAll("data", 4), -1);
}

TEST(TcpSocket, MovesKeepOneOwner) {
    TcpListener listener = Listen();
    TcpSocket first;
    ASSERT_EQ(TcpSocket::Connect("127.0.0.1", listener.Port(), 2, first), ConnectStatus::kOk);
    const int fd = first.Fd();
    TcpSocket second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(second.Fd(), fd);
    TcpSocket third;
    third = std::move(second);
    EXPECT_EQ(third.Fd(), fd);
    EXPECT_FALSE(second.IsOpen());
}

TEST(TcpListener, AcceptTimesOutAndRejectsBadAddresses) {
    TcpListener listener = Listen();
    EXPECT_FALSE(listener.Accept(20).IsOpen());

    TcpListener bad;
    std::string error;
    EXPECT_FALSE(bad.Listen("not-an-address", 0, 1, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(bad.IsListening());
    EXPECT_FALSE(bad.Accept(10).IsOpen());
}

}  // namespace
}  // namespace winorvex
