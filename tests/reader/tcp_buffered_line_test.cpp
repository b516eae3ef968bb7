// The TCP transport tells whether a whole line already waits in its buffer, so that the worker
// reads a burst on without pausing between its lines.
#include <gtest/gtest.h>

#include "reader/loopback_peer.h"
#include "reader/tcp_com_box.h"

namespace winorvex::test {
namespace {

TEST(TcpBufferedLine, SeesOnlyWholeLinesAlreadyReceived) {
    TcpListener listener = ListenOnLoopback();
    CTcpComBox box;
    EXPECT_FALSE(box.HasBufferedLine());
    TcpSocket peer = ConnectToListener(box, listener);
    SendText(peer, "first\r\nsecond\nthi");

    char buffer[64];
    ASSERT_EQ(box.ReadLine(buffer, sizeof buffer), 6);
    EXPECT_TRUE(box.HasBufferedLine());
    ASSERT_EQ(box.ReadLine(buffer, sizeof buffer), 6);
    EXPECT_STREQ(buffer, "second");
    EXPECT_FALSE(box.HasBufferedLine()) << "\"thi\" is not a line yet";

    SendText(peer, "rd\n");
    ASSERT_EQ(box.ReadLine(buffer, sizeof buffer), 5);
    EXPECT_FALSE(box.HasBufferedLine());
}

}  // namespace
}  // namespace winorvex::test
