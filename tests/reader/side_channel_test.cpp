#include "reader/side_channel.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "box_fixture.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "loopback_peer.h"
#include "reader/orvex_box.h"

namespace winorvex {
namespace {

using test::Answer;
using test::OneShotService;

// A serial link stand-in: the side service does not exist behind a serial port.
class SerialStandIn : public CComBox {
public:
    SerialStandIn() : CComBox(Kind::kSerial) {}
    bool Connect(const BoxAddress&, std::string&) override { return true; }
    bool Disconnect() override { return true; }
    bool Close() override { return true; }
    bool IsOpen() const override { return true; }
    int ReadLine(char*, int) override { return -1; }
    int WaitReadable(int) override { return -1; }
    bool HasBufferedLine() const override { return false; }
    int Write(const char*, int length) override { return length; }
};

class SideChannelTest : public test::BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        box_.SetAddress(BoxAddress{"31", "127.0.0.1", 10000});
    }
    COrvexBox box_;
};

TEST_F(SideChannelTest, ClockReplyGivesTheReaderClock) {
    OneShotService service(Answer("aa000902240518061430051e00ab\r\n"));
    box_.SetSidePort(service.Port());
    std::string clock;
    std::string error;
    EXPECT_EQ(box_.GetClockElite(clock, error), kSideOk);
    EXPECT_EQ(clock, "20240518143005");
    EXPECT_EQ(error, "Ok");
    EXPECT_EQ(service.Request(), "ab00000222\n");
}

TEST_F(SideChannelTest, ClockSettingSendsLocalDateAndTime) {
    OneShotService service(Answer("ab00000121\r\n"));
    box_.SetSidePort(service.Port());
    std::string error;
    EXPECT_EQ(box_.SetClockElite(error), kSideOk);
    EXPECT_EQ(error, "Ok");
    EXPECT_TRUE(std::regex_match(service.Request(), std::regex("ab000701[0-9]{6}00[0-9]{6}00\n"))) << service.Request();
}

TEST_F(SideChannelTest, MarkerAndHistoryRequests) {
    {
        // Anything after the expected start still counts as success.
        OneShotService service(Answer("marker_inserted at 14:30\r\n"));
        box_.SetSidePort(service.Port());
        std::string error;
        EXPECT_EQ(box_.InsertMarkerElite("KMark-20240518-143005:Finish", error), kSideOk);
        EXPECT_EQ(service.Request(), "insert_marker.KMark-20240518-143005:Finish\r\n");
    }
    {
        OneShotService service(Answer("history_cleared"));
        box_.SetSidePort(service.Port());
        std::string error;
        EXPECT_EQ(box_.ClearHistoryElite(error), kSideOk);
        EXPECT_EQ(service.Request(), "clear_history\n");
    }
}

TEST_F(SideChannelTest, AnotherAnswerIsReturnedAsTheError) {
    {
        OneShotService service(Answer("busy\r\n"));
        box_.SetSidePort(service.Port());
        std::string error;
        EXPECT_EQ(box_.ClearHistoryElite(error), kSideOtherReply);
        EXPECT_EQ(error, "busy\r\n");
    }
    {
        // The right start, but no room for a date and a time.
        OneShotService service(Answer("aa000902"));
        box_.SetSidePort(service.Port());
        std::string clock = "unchanged";
        std::string error;
        EXPECT_EQ(box_.GetClockElite(clock, error), kSideOtherReply);
        EXPECT_EQ(error, "aa000902");
        EXPECT_EQ(clock, "unchanged");
    }
}

TEST_F(SideChannelTest, NoServiceMeansNotPossible) {
    box_.SetSidePort(test::FreeLoopbackPort());
    std::string error;
    EXPECT_EQ(box_.ClearHistoryElite(error), kSideUnavailable);
    EXPECT_EQ(error, "Unable to Connect");

    box_.SetAddress(BoxAddress{"31", "no-such-reader.invalid", 10000});
    std::string clock;
    EXPECT_EQ(box_.GetClockElite(clock, error), kSideUnavailable);
    EXPECT_EQ(error, "Error gethostbyname");
}

TEST_F(SideChannelTest, ServiceThatNeverAnswersIsGivenUp) {
    // The service keeps the connection open until the station lets go.
    OneShotService service([](const TcpSocket& peer, const std::string&) {
        char buffer[16];
        peer.ReceiveWithin(buffer, sizeof buffer, 5000);
    });
    box_.SetSidePort(service.Port());
    box_.SetSideReplyTimeoutMs(200);
    std::string error;
    EXPECT_EQ(box_.InsertMarkerElite("label", error), kSideUnreadable);
    EXPECT_NE(error.find("No answer on 99999 socket"), std::string::npos) << error;
}

TEST_F(SideChannelTest, ServiceThatClosesWithoutAnswerIsUnreadable) {
    OneShotService service([](const TcpSocket&, const std::string&) {});
    box_.SetSidePort(service.Port());
    std::string error;
    EXPECT_EQ(box_.ClearHistoryElite(error), kSideUnreadable);
    EXPECT_EQ(error, "Can't read on 99999 socket");
}

TEST_F(SideChannelTest, SerialBoxesHaveNoSideService) {
    OneShotService service(Answer("history_cleared"));
    box_.SetSidePort(service.Port());
    box_.SetTransport(std::make_unique<SerialStandIn>());
    std::string error = "untouched";
    std::string clock;
    EXPECT_EQ(box_.GetClockElite(clock, error), kSideUnavailable);
    EXPECT_EQ(box_.SetClockElite(error), kSideUnavailable);
    EXPECT_EQ(box_.ClearHistoryElite(error), kSideUnavailable);
    EXPECT_EQ(box_.InsertMarkerElite("x", error), kSideUnavailable);
    EXPECT_EQ(error, "untouched");
    // Nothing reached the service: the serial box never connected to it.
    box_.SetTransport(std::make_unique<CTcpComBox>());
    box_.SetAddress(BoxAddress{"31", "127.0.0.1", 10000});
    EXPECT_EQ(box_.ClearHistoryElite(error), kSideOk);
    EXPECT_EQ(service.Request(), "clear_history\n");
}

TEST(SideChannelRequests, ClockSettingRequestLayout) {
    std::tm local{};
    local.tm_year = 124;
    local.tm_mon = 4;
    local.tm_mday = 8;
    local.tm_hour = 9;
    local.tm_min = 3;
    local.tm_sec = 7;
    EXPECT_EQ(EliteSetClockRequest(local), "ab0007012405080009030700\n");
    std::string clock;
    EXPECT_TRUE(EliteClockText("aa000902991231052359590000", clock));
    EXPECT_EQ(clock, "20991231235959");
}

}  // namespace
}  // namespace winorvex
