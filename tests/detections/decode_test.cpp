#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "detections/tag_read.h"
#include "tag_line_helpers.h"

namespace winorvex {
namespace {

using filters_test::Contains;
using filters_test::DrainLogTexts;
using filters_test::TagText;

constexpr const char* kChip = "0580031A2B3C";
constexpr const char* kCaution = "### Caution: Box and Computer dates seem incompatible!";

std::int32_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<std::int32_t>(std::mktime(&t));
}

class DecodeTagReadTest : public filters_test::StationStateTest {
protected:
    DecodedRead read_;
};

TEST_F(DecodeTagReadTest, FirstRaceDayKeepsTheTimeOfDay) {
    ASSERT_TRUE(DecodeTagRead(TagText(kChip, "240518", "101530", 25), read_)) << read_.error;
    EXPECT_EQ(read_.Identifier(), kChip);
    EXPECT_EQ(read_.Chip(), kChip);
    EXPECT_FALSE(read_.translated);
    EXPECT_EQ(read_.dailyTime, CChrono(10 * 3600 + 15 * 60 + 30, 250));
    EXPECT_EQ(read_.absoluteTime, CChrono(LocalSeconds(2024, 5, 18, 10, 15, 30), 250));
    EXPECT_EQ(read_.raceDayIndex, 0);
    EXPECT_TRUE(read_.error.empty());
    EXPECT_FALSE(Contains(DrainLogTexts(), kCaution));
}

TEST_F(DecodeTagReadTest, LaterRaceDaysAddTwentyFourHoursEach) {
    ASSERT_TRUE(DecodeTagRead(TagText(kChip, "240519", "001500", 25), read_));
    EXPECT_EQ(read_.dailyTime, CChrono(24 * 3600 + 15 * 60, 250));
    EXPECT_EQ(read_.absoluteTime, CChrono(LocalSeconds(2024, 5, 19, 0, 15, 0), 250));

    ASSERT_TRUE(DecodeTagRead(TagText(kChip, "240521", "235959", 99), read_));
    EXPECT_EQ(read_.dailyTime, CChrono(72 * 3600 + 23 * 3600 + 59 * 60 + 59, 990));
    EXPECT_EQ(read_.raceDayIndex, 3);
    EXPECT_FALSE(Contains(DrainLogTexts(), kCaution));
}

TEST_F(DecodeTagReadTest, DateOutsideTheRaceDaysWarnsButKeepsTheRead) {
    ASSERT_TRUE(DecodeTagRead(TagText(kChip, "240517", "235900", 3), read_));
    EXPECT_EQ(read_.dailyTime, CChrono(23 * 3600 + 59 * 60, 30));
    EXPECT_EQ(read_.raceDayIndex, -1);
    const auto logged = DrainLogTexts();
    EXPECT_TRUE(Contains(logged, kCaution));

    SetLanguage(Language::French);
    ASSERT_TRUE(DecodeTagRead(TagText(kChip, "240522", "000000", 0), read_));
    EXPECT_TRUE(Contains(DrainLogTexts(), "### Attention: Incompatibilité de date boîtier / ordinateur !"));
}

TEST_F(DecodeTagReadTest, UnreadableStampsAreRejectedWithTheLine) {
    const std::string badStamps[] = {
        TagText(kChip, "241318", "101530", 0),  // month 13
        TagText(kChip, "240518", "241530", 0),  // hour 24
        TagText(kChip, "240518", "106030", 0),  // minute 60
        TagText(kChip, "2405x8", "101530", 0),
        TagText(kChip, "240518", "101530", 0).substr(0, 30),  // cut inside the time
        TagText(kChip, "240518", "101530", 0).substr(0, 33),  // one hundredths digit
        TagText(kChip, "240518", "101530", 100),              // 0x64: a hundredth too many
        TagText(kChip, "240518", "101530", 0xff),
        "aa" + std::string(32, 'z'),
        "aa",
        "",
    };
    for (const std::string& line : badStamps) {
        EXPECT_FALSE(DecodeTagRead(line, read_)) << line;
        EXPECT_EQ(read_.error, "Invalid time string chAbs: [" + line + "]");
        EXPECT_FALSE(read_.absoluteTime.IsSet());
        EXPECT_FALSE(read_.dailyTime.IsSet());
    }
    std::string nonHex = TagText(kChip, "240518", "101530", 0);
    nonHex[33] = 'g';
    EXPECT_FALSE(DecodeTagRead(nonHex, read_));

    SetLanguage(Language::French);
    EXPECT_FALSE(DecodeTagRead(badStamps[0], read_));
    EXPECT_EQ(read_.error, "Chaine temps invalide chAbs: [" + badStamps[0] + "]");
}

TEST_F(DecodeTagReadTest, TranslationGivesTheBibOrFollowsTheUnknownChipSetting) {
    Settings().sendNumbers = 1;
    // Translation on and no table: refused without a reason text.
    EXPECT_FALSE(DecodeTagRead(TagText(kChip, "240518", "101530", 0), read_));
    EXPECT_TRUE(read_.error.empty());

    LoadChips("12 0580031A2B3C\n");
    ASSERT_TRUE(DecodeTagRead(TagText(kChip, "240518", "101530", 0), read_));
    EXPECT_EQ(read_.Identifier(), "12");
    EXPECT_EQ(read_.Chip(), kChip);
    EXPECT_TRUE(read_.translated);
    EXPECT_EQ(read_.bib, 12);

    ASSERT_TRUE(DecodeTagRead(TagText("FFFFFFFFFFFF", "240518", "101530", 0), read_));
    EXPECT_EQ(read_.Identifier(), "FFFFFFFFFFFF");
    EXPECT_FALSE(read_.translated);

    Settings().ignoreUnknownTags = 1;
    EXPECT_FALSE(DecodeTagRead(TagText("FFFFFFFFFFFF", "240518", "101530", 0), read_));
    EXPECT_EQ(read_.error, "## Unknown chip [FFFFFFFFFFFF]. Detection discarded");
    SetLanguage(Language::French);
    EXPECT_FALSE(DecodeTagRead(TagText("FFFFFFFFFFFF", "240518", "101530", 0), read_));
    EXPECT_EQ(read_.error, "## Puce inconnue [FFFFFFFFFFFF] Détection ignorée");
}

TEST_F(DecodeTagReadTest, TranslationOffIgnoresTheTable) {
    EXPECT_TRUE(DecodeTagRead(TagText(kChip, "240518", "101530", 0), read_));
    LoadChips("12 0580031A2B3C\n");
    Settings().ignoreUnknownTags = 1;
    ASSERT_TRUE(DecodeTagRead(TagText("FFFFFFFFFFFF", "240518", "101530", 0), read_));
    EXPECT_EQ(read_.Identifier(), "FFFFFFFFFFFF");
}

}  // namespace
}  // namespace winorvex
