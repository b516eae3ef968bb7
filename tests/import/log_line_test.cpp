// Classification and decoding of reader-log lines.
#include "import/log_line.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "import/import_test_helpers.h"
#include "import/log_tag_read.h"

namespace winorvex::import_test {
namespace {

TEST(ClassifyLogLine, KindsOfReplies) {
    struct Case {
        const char* body;
        int kind;
    };
    const Case cases[] = {{"000902240518063012000000", kLogLineClockReply},
                          {"00000121", kLogLineClockSetAck},
                          {"00004b", kLogLineLoggingAck},
                          {"00014b00", kLogLineLoggingReply},
                          {"000f0a0000", kLogLineStatsReply},
                          {"000c4b07", kLogLineUnhandled},  // a live logging detail is of no use in a log
                          {"00034bd050", kLogLineUnhandled},
                          {"00", kLogLineUnhandled}};
    for (const Case& c : cases) {
        LogLine line;
        const std::string text = Reply(c.body);
        ASSERT_TRUE(ClassifyLogLine(text, line)) << c.body;
        EXPECT_EQ(line.kind, c.kind) << c.body;
        EXPECT_EQ(line.fullLine, TrimLogLine(text));
    }
}

TEST(ClassifyLogLine, TagReadsWithMarkersAndBadFraming) {
    LogLine line;
    const std::string fs = TagLine("058000000001", "240518", "100000", 0, "FS");
    ASSERT_TRUE(ClassifyLogLine(fs, line));
    EXPECT_EQ(line.kind, kLogLineTagRead);
    EXPECT_EQ(line.seenMarker, 1);
    EXPECT_EQ(line.text, TagText("058000000001", "240518", "100000", 0));

    // An uppercase checksum, a short line, an empty line, an unknown prefix: no reader line,
    // and nothing logged (a log holds far more of them than a live link).
    SetLogWindowAttached(true);
    DrainLogWindowQueue();
    std::string upper = TagLine("058000000001", "240518", "100003", 0);
    const std::size_t at = upper.size() - 4;
    upper[at] = static_cast<char>(std::toupper(upper[at]));
    upper[at + 1] = static_cast<char>(std::toupper(upper[at + 1]));
    ASSERT_NE(upper, TagLine("058000000001", "240518", "100003", 0)) << "pick a chip whose checksum has letters";
    EXPECT_FALSE(ClassifyLogLine(upper, line));
    EXPECT_FALSE(ClassifyLogLine("aab\r\n", line));
    EXPECT_EQ(line.text, "aab");
    EXPECT_FALSE(ClassifyLogLine("ab0", line));
    EXPECT_FALSE(ClassifyLogLine("   \r\n", line));
    EXPECT_FALSE(ClassifyLogLine("hello world", line));
    EXPECT_EQ(line.text, "hello world");
    // Four characters are enough to be framed: "ab" + a checksum of nothing.
    EXPECT_TRUE(ClassifyLogLine("ab00", line));
    EXPECT_TRUE(DrainLogWindowQueue().empty());
    SetLogWindowAttached(false);
}

class DecodeLogTagReadTest : public ::testing::Test {
protected:
    LogDecodeContext context_{20240520, false, nullptr};
    LogTagRead read_;
};

TEST_F(DecodeLogTagReadTest, CenturyFromTheYearAndNoDateAfterToday) {
    context_.today = 20991231;
    ASSERT_TRUE(DecodeLogTagRead(TagText("058000000001", "990518", "100000", 0), context_, read_));
    EXPECT_EQ(read_.Date(), "19990518");
    EXPECT_EQ(read_.absoluteTime, Stamp("19990518", "100000"));

    // 2069: after today, and past the 32-bit seconds anyway.
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "690518", "100000", 0), context_, read_));
    EXPECT_EQ(read_.Date(), "20690518");
    context_.today = 20240520;

    EXPECT_TRUE(DecodeLogTagRead(TagText("058000000001", "240520", "235959", 99), context_, read_));
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240521", "000000", 0), context_, read_))
        << "tomorrow is no genuine reader date";
}

TEST_F(DecodeLogTagReadTest, ADayPastTheMonthsEndRollsOverAsALiveReadDoes) {
    struct Case {
        const char* shortDate;
        const char* date;
    };
    for (const Case& c : {Case{"240230", "20240301"}, Case{"230229", "20230301"}, Case{"240229", "20240229"},
                          Case{"240431", "20240501"}, Case{"231231", "20231231"}, Case{"240231", "20240302"}}) {
        ASSERT_TRUE(DecodeLogTagRead(TagText("058000000001", c.shortDate, "101500", 0x32), context_, read_))
            << c.shortDate;
        EXPECT_EQ(read_.Date(), c.date) << c.shortDate;
        EXPECT_EQ(read_.absoluteTime, Stamp(c.date, "101500", 50)) << c.shortDate;
        EXPECT_EQ(read_.dailyTime, CChrono(10 * 3600 + 15 * 60, 500)) << c.shortDate;
    }
    // Rolled past today, the read is dated tomorrow.
    context_.today = 20240301;
    EXPECT_TRUE(DecodeLogTagRead(TagText("058000000001", "240230", "101500", 0), context_, read_));
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240231", "101500", 0), context_, read_));
    EXPECT_EQ(read_.Date(), "20240302");
}

TEST_F(DecodeLogTagReadTest, TimesWithoutDayOffset) {
    ASSERT_TRUE(DecodeLogTagRead(TagText("058000000001", "240519", "011502", 0x19), context_, read_));
    EXPECT_EQ(read_.dailyTime, CChrono(1 * 3600 + 15 * 60 + 2, 250));
    EXPECT_EQ(read_.absoluteTime, Stamp("20240519", "011502", 25));
    EXPECT_EQ(read_.Identifier(), "058000000001");
    EXPECT_FALSE(read_.unknownChip);
}

TEST_F(DecodeLogTagReadTest, BadFieldsFail) {
    const std::string good = TagText("058000000001", "240518", "100000", 0);
    EXPECT_FALSE(DecodeLogTagRead(good.substr(0, 33), context_, read_)) << "cut line";
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "241318", "100000", 0), context_, read_)) << "month 13";
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240232", "100000", 0), context_, read_)) << "day 32";
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240500", "100000", 0), context_, read_)) << "day 0";
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240518", "246000", 0), context_, read_));
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "2405-8", "100000", 0), context_, read_));
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240518", "10 000", 0), context_, read_));
    EXPECT_FALSE(DecodeLogTagRead(TagText("058000000001", "240518", "100000", 100), context_, read_)) << "hex 64";
    std::string nul = good;
    nul[28] = '\0';
    EXPECT_FALSE(DecodeLogTagRead(nul, context_, read_));
}

TEST_F(DecodeLogTagReadTest, TranslationMarksUnknownChips) {
    const auto chips = Chips({{"058000000001", 501}});
    context_.translate = true;
    context_.chips = chips.get();
    ASSERT_TRUE(DecodeLogTagRead(TagText("058000000001", "240518", "100000", 0), context_, read_));
    EXPECT_EQ(read_.Identifier(), "501");
    EXPECT_FALSE(read_.unknownChip);
    ASSERT_TRUE(DecodeLogTagRead(TagText("0580000000FF", "240518", "100000", 0), context_, read_));
    EXPECT_EQ(read_.Identifier(), "0580000000FF");
    EXPECT_TRUE(read_.unknownChip);

    const auto empty = Chips({});
    context_.chips = empty.get();
    ASSERT_TRUE(DecodeLogTagRead(TagText("058000000001", "240518", "100000", 0), context_, read_))
        << "an empty table does not refuse the read";
    EXPECT_TRUE(read_.unknownChip);
    EXPECT_EQ(read_.Identifier(), "058000000001");
}

TEST(ParseMarkerLine, FieldsAndShortLines) {
    COrvexMarker marker;
    ASSERT_TRUE(ParseMarkerLine("KMark-20240518103000:Start wave 2", marker));
    EXPECT_EQ(marker.date, "20240518");
    EXPECT_EQ(marker.time, "103000");
    EXPECT_EQ(marker.label, "Start wave 2");
    ASSERT_TRUE(ParseMarkerLine("KMark-20240518103000:", marker));
    EXPECT_EQ(marker.label, "");
    EXPECT_FALSE(ParseMarkerLine("KMark-20240518103000", marker)) << "no separator";
    EXPECT_FALSE(ParseMarkerLine("KMark-2024", marker));
    EXPECT_FALSE(ParseMarkerLine("KMark-2024o518103000:x", marker));
    EXPECT_FALSE(ParseMarkerLine("KMark-20240518 03000:x", marker));
    EXPECT_FALSE(ParseMarkerLine("kmark-20240518103000:x", marker));
    EXPECT_FALSE(ParseMarkerLine("KMark-20240232103000:x", marker)) << "day 32";
    // A day past the month's end is taken as the reads are, rolled over where it is used.
    ASSERT_TRUE(ParseMarkerLine("KMark-20240230103000:x", marker));
    EXPECT_EQ(marker.date, "20240230");
}

}  // namespace
}  // namespace winorvex::import_test
