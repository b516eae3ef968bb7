#include "reader/tcp_com_box.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>

#include "core/station_settings.h"
#include "loopback_peer.h"
#include "reader/orvex_box.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using test::ConnectToListener;
using test::ListenOnLoopback;
using test::SendText;

struct ReadResult {
    int count;
    std::string text;
};

ReadResult Read(CTcpComBox& box, int capacity = 1024) {
    std::string buffer(static_cast<std::size_t>(capacity), '#');
    const int count = box.ReadLine(buffer.data(), capacity);
    // What the caller sees is the zero-terminated text.
    return {count, std::string(buffer.c_str())};
}

TEST(TcpComBoxRead, LinesEndAtLineFeedsOnlyAndArriveOneByOne) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    TcpSocket peer = ConnectToListener(box, listener);

    // Two lines and the start of a third in one segment, an empty line among them.
    SendText(peer, "ab00000121\r\naa0102\n\nthi");
    ReadResult r = Read(box);
    EXPECT_EQ(r.count, 11);
    EXPECT_EQ(r.text, "ab00000121\r");
    r = Read(box);
    EXPECT_EQ(r.count, 6);
    EXPECT_EQ(r.text, "aa0102");
    r = Read(box);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.text, "");

    // The held-back start joins the bytes that complete it.
    SendText(peer, "rd\rline\n");
    r = Read(box);
    EXPECT_EQ(r.count, 10);
    EXPECT_EQ(r.text, "third\rline");
    EXPECT_TRUE(box.IsOpen());
}

TEST(TcpComBoxRead, LongLinesComeBackInPiecesOfCapacityMinusOne) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    TcpSocket peer = ConnectToListener(box, listener);

    std::string longLine(2000, 'x');
    longLine[0] = 'a';
    longLine[1023] = 'b';  // first character of the second piece
    SendText(peer, longLine + "\n");
    ReadResult r = Read(box);
    ASSERT_EQ(r.count, 1023);
    EXPECT_EQ(r.text, longLine.substr(0, 1023));
    r = Read(box);
    ASSERT_EQ(r.count, 977);
    EXPECT_EQ(r.text, longLine.substr(1023));

    // A line exactly one piece long leaves its line feed for the next call, as an empty line.
    SendText(peer, std::string(15, 'y') + "\nnext\n");
    r = Read(box, 16);
    EXPECT_EQ(r.count, 15);
    EXPECT_EQ(Read(box, 16).count, 0);
    EXPECT_EQ(Read(box, 16).text, "next");

    // Capacities above the internal buffer are held to it; a capacity without room for a
    // character is refused.
    const std::string huge(5000, 'z');
    SendText(peer, huge + "\n");
    std::string big(8192, '\0');
    EXPECT_EQ(box.ReadLine(big.data(), 8192), CTcpComBox::kLineBufferSize - 1);
    char tiny[1];
    EXPECT_LT(box.ReadLine(tiny, 1), 0);
    EXPECT_LT(box.ReadLine(nullptr, 10), 0);
}

TEST(TcpComBoxRead, PeerCloseEndsTheReadAndClosesTheTransport) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    {
        TcpSocket peer = ConnectToListener(box, listener);
        SendText(peer, "complete\nunfinished");
    }
    EXPECT_EQ(Read(box).text, "complete");
    // The unfinished line is lost with the link.
    EXPECT_LT(Read(box).count, 0);
    EXPECT_FALSE(box.IsOpen());
    EXPECT_FALSE(box.IsClosedOnRequest());
    EXPECT_LT(Read(box).count, 0);
}

TEST(TcpComBoxRead, DisconnectFromAnotherThreadEndsABlockedReadAndReconnectStartsClean) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    TcpSocket peer = ConnectToListener(box, listener);
    SendText(peer, "first\nleft-over");
    EXPECT_EQ(Read(box).text, "first");

    auto reader = std::async(std::launch::async, [&box] { return Read(box); });
    // Writing from this thread meanwhile is allowed.
    EXPECT_EQ(box.Write("ab\r\n", 4), 4);
    EXPECT_TRUE(box.Disconnect());
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LT(reader.get().count, 0);
    EXPECT_TRUE(box.IsClosedOnRequest());
    EXPECT_FALSE(box.IsOpen());
    EXPECT_EQ(box.Write("x", 1), -1);

    // A new connection clears the flag and never returns the old link's bytes.
    TcpSocket second = ConnectToListener(box, listener);
    EXPECT_FALSE(box.IsClosedOnRequest());
    SendText(second, "fresh\n");
    EXPECT_EQ(Read(box).text, "fresh");
}

TEST(TcpComBoxRead, CloseFromAnotherThreadIsNotARequest) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    TcpSocket peer = ConnectToListener(box, listener);
    auto reader = std::async(std::launch::async, [&box] { return Read(box); });
    box.Close();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LT(reader.get().count, 0);
    EXPECT_FALSE(box.IsClosedOnRequest());
}

TEST(TcpComBoxRead, WaitReadableSeesBufferedAndIncomingInput) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    EXPECT_EQ(box.WaitReadable(10), -1);
    TcpSocket peer = ConnectToListener(box, listener);
    EXPECT_EQ(box.WaitReadable(20), 0);
    SendText(peer, "one\ntwo\n");
    EXPECT_EQ(box.WaitReadable(5000), 1);
    EXPECT_EQ(Read(box).text, "one");
    // "two" sits in the transport's own buffer, not in the socket any more.
    EXPECT_EQ(box.WaitReadable(0), 1);
    EXPECT_EQ(Read(box).text, "two");
}

TEST(TcpComBoxWrite, SendsTheBytesUnchanged) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    EXPECT_EQ(box.Write("ab", 2), -1);
    TcpSocket peer = ConnectToListener(box, listener);
    const std::string frame = "ab00000222\r\n";
    EXPECT_EQ(box.Write(frame.data(), static_cast<int>(frame.size())), static_cast<int>(frame.size()));
    EXPECT_EQ(test::ReceiveBytes(peer, frame.size()), frame);
    EXPECT_EQ(box.Write(frame.data(), -1), -1);
}

TEST(TcpComBoxConnect, FailuresLeaveNothingOpen) {
    CTcpComBox box;
    std::string error;

    EXPECT_FALSE(box.Connect(BoxAddress{"31", "no-such-reader.invalid", 10000}, error));
    EXPECT_EQ(error, "Error gethostbyname");
    EXPECT_FALSE(box.IsOpen());

    const int closedPort = test::FreeLoopbackPort();
    error.clear();
    EXPECT_FALSE(box.Connect(BoxAddress{"31", "127.0.0.1", closedPort}, error));
    EXPECT_EQ(error, "Unable to Connect");
    EXPECT_FALSE(box.IsOpen());
}

TEST(TcpComBoxConnect, ReconnectReplacesTheOpenLink) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    TcpSocket first = ConnectToListener(box, listener);
    TcpSocket second = ConnectToListener(box, listener);
    // The first link was shut when the second was made.
    char buffer[8];
    EXPECT_EQ(first.ReceiveWithin(buffer, sizeof buffer, 5000), 0);
    SendText(second, "ok\n");
    EXPECT_EQ(Read(box).text, "ok");
}

TEST(TcpComBoxIdentity, DescriptionTagAndConfiguration) {
    COrvexBox box;
    // A fresh slot: loop-back host, port 10000, detector 31, over TCP.
    EXPECT_EQ(box.Address().host, "localhost");
    EXPECT_EQ(box.Address().port, 10000);
    EXPECT_EQ(box.Address().Description(), "[localhost:10000 31]");
    EXPECT_TRUE(box.IsConfigured());
    EXPECT_FALSE(box.IsSerial());

    box.SetAddress(BoxAddress{"31", "192.168.0.50", 10000});
    EXPECT_EQ(box.Address().Description(), "[50:10000 31]");
    EXPECT_EQ(box.Address().FileTag(), "50-10000-31");
    box.SetAddress(BoxAddress{"C31", "reader", 10001});
    EXPECT_EQ(box.Address().Description(), "[reader:10001 C31]");
    EXPECT_EQ(box.Address().FileTag(), "reader-10001-C31");
    box.SetAddress(BoxAddress{"31", "box.", 10000});
    EXPECT_EQ(box.Address().Description(), "[:10000 31]");
    EXPECT_EQ(box.Address(), (BoxAddress{"31", "box.", 10000}));

    box.SetAddress(BoxAddress{"31", "", 10000});
    EXPECT_TRUE(box.HasAddress());
    EXPECT_FALSE(box.IsConfigured());
    box.SetAddress(BoxAddress{"31", "reader", 0});
    EXPECT_FALSE(box.HasAddress());
    EXPECT_FALSE(box.IsConfigured());

    box.SetAddress(BoxAddress{"31", std::string(300, 'h'), 10000});
    EXPECT_EQ(box.Address().host.size(), BoxAddress::kMaxHostLength);
    // A port name is not a host name: it is kept whole.
    const std::string longPath = "/dev/" + std::string(300, 'p');
    box.SetAddress(BoxAddress{"31", longPath, 9600});
    EXPECT_EQ(box.Address().host, longPath);

    // The worker's reconnection counts as activity although nothing is open.
    box.SetReconnecting(true);
    EXPECT_TRUE(box.IsActive());
    EXPECT_FALSE(box.IsOpen());
}

}  // namespace
}  // namespace winorvex
