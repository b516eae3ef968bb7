#include "reader/logging_detail.h"

#include <gtest/gtest.h>

#include <string>

#include "core/texts.h"

namespace winorvex {
namespace {

// Head, a sub-code byte, the seven counters at their positions, a spare byte and a checksum.
std::string DetailLine(const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                       const std::string& e, const std::string& f, const std::string& g) {
    return "ab000c4b07" + a + b + c + d + e + f + g + "00" + "5e";
}

class LanguageGuard {
public:
    explicit LanguageGuard(Language language) : saved_(CurrentLanguage()) { SetLanguage(language); }
    ~LanguageGuard() { SetLanguage(saved_); }

private:
    Language saved_;
};

TEST(LoggingDetail, CountersAtTheirPositionsAndDerivedCounts) {
    CLoggingDetail detail;
    const std::string line = DetailLine("02", "0010", "01", "0005", "0a", "10", "0100");
    ASSERT_EQ(line.size(), 34u);
    ASSERT_TRUE(detail.Parse(line));
    EXPECT_EQ(detail.A, 2);
    EXPECT_EQ(detail.B, 16);
    EXPECT_EQ(detail.C, 1);
    EXPECT_EQ(detail.D, 5);
    EXPECT_EQ(detail.E, 10);
    EXPECT_EQ(detail.F, 16);
    EXPECT_EQ(detail.G, 256);
    EXPECT_EQ(detail.Recorded(), 2 * 256 + 16);
    EXPECT_EQ(detail.PlayedBack(), 256 * 1 + 5);
    EXPECT_EQ(detail.NotYetPlayedBack(), (2 - 1) * 256 + 16 - 5);
    EXPECT_EQ(detail.FreeSpace(), (16 - 2) * 256 - 16);
    EXPECT_EQ(detail.CountersText(), "A:2, B:16, C:1, D:5, E:10, F:16, G:256");

    // Everything played back: nothing left.
    ASSERT_TRUE(detail.Parse(DetailLine("03", "0020", "03", "0020", "00", "ff", "0400")));
    EXPECT_EQ(detail.NotYetPlayedBack(), 0);
    // Upper-case digits and a 13-byte reply read the same way.
    ASSERT_TRUE(detail.Parse(DetailLine("0A", "00FF", "00", "0000", "00", "FF", "0001") + "00"));
    EXPECT_EQ(detail.Recorded(), 10 + 255);
}

TEST(LoggingDetail, ShortOrMalformedLinesLeaveEveryCounterAtZero) {
    CLoggingDetail detail;
    ASSERT_TRUE(detail.Parse(DetailLine("02", "0010", "01", "0005", "0a", "10", "0100")));
    const std::string full = DetailLine("02", "0010", "01", "0005", "0a", "10", "0100");
    EXPECT_FALSE(detail.Parse(full.substr(0, 33)));
    EXPECT_EQ(detail.CountersText(), "A:0, B:0, C:0, D:0, E:0, F:0, G:0");
    EXPECT_EQ(detail.NotYetPlayedBack(), 0);

    ASSERT_TRUE(detail.Parse(full));
    EXPECT_FALSE(detail.Parse(DetailLine("02", "00g0", "01", "0005", "0a", "10", "0100")));
    EXPECT_EQ(detail.A, 0);
    EXPECT_EQ(detail.Recorded(), 0);
    EXPECT_FALSE(detail.Parse(""));
}

TEST(LoggingDetail, TextsInBothLanguages) {
    CLoggingDetail detail;
    ASSERT_TRUE(detail.Parse(DetailLine("02", "0010", "01", "0005", "0a", "10", "0100")));
    {
        LanguageGuard english(Language::English);
        EXPECT_EQ(detail.SummaryText(), "Recorded: 528 - Not yet played back:267");
        const auto lines = detail.DetailLines();
        EXPECT_EQ(lines[0], "Detections recorded: 528");
        EXPECT_EQ(lines[1], "Detections played back: 261");
        EXPECT_EQ(lines[2], "Detections not yet played back: 267");
        EXPECT_EQ(lines[3], "Free space: 3568");
    }
    {
        LanguageGuard french(Language::French);
        EXPECT_EQ(detail.SummaryText(), "Enregistré : 528 - Non encore restitué :267");
        const auto lines = detail.DetailLines();
        EXPECT_EQ(lines[0], "Détections enregistrées : 528");
        EXPECT_EQ(lines[2], "Détections restantes : 267");
        EXPECT_EQ(lines[3], "Espace libre : 3568");
    }
}

TEST(LiteClock, DecodesDateTimeAndHexHundredths) {
    CChrono readerTime;
    CChrono timeOfDay;
    // YYMMDD, weekday, HHMMSS, hundredths 0x1e = 30, one more byte.
    ASSERT_TRUE(DecodeLiteClock("ab000902240518061430051e00", readerTime, timeOfDay));
    EXPECT_EQ(readerTime.FormatDateShort(), "18/05/2024");
    EXPECT_EQ(readerTime.FormatAbsClockHundredths(), "14:30:05.30");
    EXPECT_EQ(timeOfDay.Seconds(), 14 * 3600 + 30 * 60 + 5);
    EXPECT_EQ(timeOfDay.Hundredths(), 30);
}

TEST(LiteClock, FailuresLeaveBothValuesAlone) {
    const CChrono before(1234, 560);
    CChrono readerTime = before;
    CChrono timeOfDay = before;
    EXPECT_FALSE(DecodeLiteClock("ab000902240518061430", readerTime, timeOfDay));        // too short
    EXPECT_FALSE(DecodeLiteClock("ab000902240518061430051g00", readerTime, timeOfDay));  // hundredths not hex
    EXPECT_FALSE(DecodeLiteClock("ab000902241318061430051e00", readerTime, timeOfDay));  // month 13
    EXPECT_FALSE(DecodeLiteClock("ab00090224051806xx30051e00", readerTime, timeOfDay));  // time not digits
    EXPECT_EQ(readerTime, before);
    EXPECT_EQ(timeOfDay, before);
}

TEST(ClearingProgress, PercentOfTheLastSixCharacters) {
    EXPECT_EQ(DecodeClearingProgress("ab00034bd02040c3"), 50);
    EXPECT_EQ(DecodeClearingProgress("ab00034bd04040c3"), 100);
    EXPECT_EQ(DecodeClearingProgress("ab00034bd00140c3"), 1);  // 100 / 64, truncated
    EXPECT_EQ(DecodeClearingProgress("2040c3"), 50);
    // A total of zero, a malformed or short tail: unknown, never a division by zero.
    EXPECT_EQ(DecodeClearingProgress("ab00034bd02000c3"), kClearingUnknown);
    EXPECT_EQ(DecodeClearingProgress("ab00034bd0zz40c3"), kClearingUnknown);
    EXPECT_EQ(DecodeClearingProgress("40c3"), kClearingUnknown);
}

}  // namespace
}  // namespace winorvex
