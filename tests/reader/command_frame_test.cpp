#include "reader/command_frame.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace winorvex {
namespace {

std::string Frame(int code, const std::string& data = "") {
    std::string frame;
    EXPECT_TRUE(BuildCommandFrame(code, data, frame)) << code;
    return frame;
}

TEST(CommandFrame, GoldenFrames) {
    EXPECT_EQ(Frame(kCommandLiteClockRequest), "ab00000222");
    EXPECT_EQ(Frame(kCommandRecordStart), "ab00024b000119");
    EXPECT_EQ(Frame(kCommandPowerOff), "ab0000492d");
    // The length field of "Get Log Info" reads ff with no data; the checksum still covers it.
    EXPECT_EQ(Frame(kCommandGetLogInfo), "ab00ff4bc2");
    EXPECT_EQ(Frame(kCommandGetPeriodicLogInfo), "ab00034b07010586");
}

TEST(CommandFrame, DataJoinsTheChecksumExceptForTheClockRequest) {
    EXPECT_EQ(Frame(kCommandLiteClockSetting, "24051806143005"), "ab00070124051806143005ef");
    // The clock request takes no data even when some is passed.
    EXPECT_EQ(Frame(kCommandLiteClockRequest, "1234"), "ab00000222");
}

TEST(CommandFrame, OnlyKnownCodesMakeFrames) {
    std::string frame = "untouched";
    EXPECT_FALSE(BuildCommandFrame(16, "", frame));
    EXPECT_FALSE(BuildCommandFrame(-1, "", frame));
    EXPECT_FALSE(BuildCommandFrame(98, "", frame));
    EXPECT_EQ(frame, "untouched");
    EXPECT_EQ(CommandFrameHead(16), nullptr);
    for (int code = 0; code <= 15; ++code) EXPECT_NE(CommandFrameHead(code), nullptr) << code;
    EXPECT_STREQ(CommandFrameHead(2), "ab000104");
    EXPECT_STREQ(CommandName(kCommandClearLogBuffer), "Clear Log buffer");
    EXPECT_STREQ(CommandName(16), "");
}

TEST(CommandFrame, LiteClockDataCarriesWeekdayFromSunday) {
    std::tm saturday{};
    saturday.tm_year = 124;  // 2024
    saturday.tm_mon = 4;
    saturday.tm_mday = 18;
    saturday.tm_wday = 6;
    saturday.tm_hour = 14;
    saturday.tm_min = 30;
    saturday.tm_sec = 5;
    EXPECT_EQ(LiteClockData(saturday), "24051806143005");

    std::tm sunday = saturday;
    sunday.tm_year = 100;  // 2000: the year keeps two digits
    sunday.tm_mday = 19;
    sunday.tm_wday = 0;
    sunday.tm_hour = 0;
    EXPECT_EQ(LiteClockData(sunday), "00051900003005");
}

}  // namespace
}  // namespace winorvex
