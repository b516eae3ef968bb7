#include "export/handicaps.h"

#include "export/distribution.h"
#include "export/pass_stats.h"
#include "export/time_texts.h"
#include "export_fixture.h"

namespace winorvex::test {
namespace {

using HandicapsTest = ExportFixture;

TEST_F(HandicapsTest, TimesAreReadWithoutSign) {
    CChrono value;
    EXPECT_TRUE(ParseNonNegativeClock("00:45:10", value));
    EXPECT_EQ(value, CChrono(2710, 0));
    EXPECT_FALSE(ParseNonNegativeClock("-1:00:00", value));
    // ParseClock alone reads this as plus thirty minutes.
    EXPECT_FALSE(ParseNonNegativeClock("-0:30:00", value));
    EXPECT_FALSE(ParseNonNegativeClock("", value));
    EXPECT_FALSE(ParseNonNegativeClock("10:00", value));
    EXPECT_EQ(value, CChrono(2710, 0));
}

TEST_F(HandicapsTest, PassingTimeTexts) {
    const CChrono handicap = Clock("09:30:20.25");
    EXPECT_EQ(DisplayTimeText(Clock("10:15:30.25"), handicap, DisplayMode::TimeOfDay), "10:15:30.25");
    EXPECT_EQ(DisplayTimeText(Clock("10:15:30.25"), handicap, DisplayMode::PassingTime), "00:45:10.00");
    EXPECT_EQ(DisplayTimeText(Clock("10:15:30.35"), handicap, DisplayMode::Compact), "4511");
    EXPECT_EQ(DisplayTimeText(handicap, handicap, DisplayMode::Compact), "");
    // Earlier than the handicap: a minus sign and the size of the difference.
    EXPECT_EQ(DisplayTimeText(Clock("09:00:00.00"), handicap, DisplayMode::PassingTime), "-00:30:20.25");
    EXPECT_EQ(DisplayTimeText(Clock("09:00:00.00"), handicap, DisplayMode::Compact), "-3021");
    // No time of day (absolute clock): no passing time.
    EXPECT_EQ(DisplayTimeText(CChrono(), handicap, DisplayMode::PassingTime), "");
    EXPECT_STREQ(DisplayModeText(DisplayModeFromSetting(7)), "Temps format LOGICA");
    EXPECT_STREQ(DisplayModeText(DisplayModeFromSetting(-1)), "Temps format LOGICA");
    EXPECT_STREQ(DisplayModeText(DisplayModeFromSetting(1)), "Temps de passages");
}

TEST_F(HandicapsTest, ReSettingGivesTheNewHandicapAndWritesItAtOnce) {
    CStatLineEntry line;
    line.detector = "12";
    line.firstBib = "125";
    line.firstTime = Clock("10:15:30.25");
    const CDlgRecalageModel model = MakeRecalageModel(line);
    EXPECT_EQ(model.PassNumberText(), "1");
    EXPECT_EQ(model.BibText(), "125");
    EXPECT_EQ(model.TimeOfDayText(), "10:15:30.25");
    EXPECT_EQ(model.InitialPassingTimeText(), "10:15:30.25");

    ScriptedPrompt prompt;
    const auto handicap = model.Accept("00:45:10", prompt);
    ASSERT_TRUE(handicap.has_value());
    EXPECT_EQ(handicap->FormatDailyHundredths(), "09:30:20.25");
    EXPECT_TRUE(prompt.events.empty());
    ApplyHandicap(line, *handicap);
    EXPECT_EQ(line.handicap, *handicap);
    FlushSettings();
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "Handicap-12", ""), "09:30:20.25");
    EXPECT_EQ(ReadHandicap("12"), *handicap);
    EXPECT_EQ(MakeRecalageModel(line).InitialPassingTimeText(), "00:45:10.00");
}

TEST_F(HandicapsTest, ReSettingRefusesTextsThatGiveNoHandicap) {
    const CDlgRecalageModel model(2, "7", Clock("10:00:00"), CChrono());
    for (const char* text : {"abc", "10:00", "-0:10:00", "10:00:00.01", "11:00:00"}) {
        ScriptedPrompt prompt;
        EXPECT_FALSE(model.Accept(text, prompt).has_value()) << text;
        ASSERT_EQ(prompt.events.size(), 1u) << text;
        EXPECT_EQ(prompt.events[0], std::string("warn:") + InvalidPassingTimeMessage());
    }
    ScriptedPrompt prompt;
    const auto zero = model.Accept("10:00:00", prompt);
    ASSERT_TRUE(zero.has_value());
    EXPECT_FALSE(zero->IsSet());
    EXPECT_EQ(model.PassNumberText(), "2");
}

TEST_F(HandicapsTest, ResetAsksThenWritesZeroAtOnce) {
    WriteHandicap("12", Clock("09:00:00"));
    CStatLineEntry line;
    line.detector = "12";
    line.handicap = Clock("09:00:00");
    ScriptedPrompt no;
    no.answer = false;
    EXPECT_FALSE(RequestHandicapReset(no, line));
    EXPECT_EQ(no.events, (std::vector<std::string>{"ask:Do you really want to reset detector handicap to 0?"}));
    EXPECT_EQ(ReadHandicap("12"), Clock("09:00:00"));

    SetLanguage(Language::French);
    ScriptedPrompt yes;
    EXPECT_TRUE(RequestHandicapReset(yes, line));
    EXPECT_EQ(yes.events, (std::vector<std::string>{"ask:Voulez vous vraiment remettre à 0 le handicap ?"}));
    EXPECT_FALSE(line.handicap.IsSet());
    FlushSettings();
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "Handicap-12", ""), "00:00:00.00");
}

TEST_F(HandicapsTest, HandEditedHandicapsCountAsZeroAndAreLoggedOnce) {
    SetExportSetting("Handicap-A", "abc");
    SetExportSetting("Handicap-B", "-01:00:00");
    EXPECT_FALSE(ReadHandicap("A").IsSet());
    EXPECT_FALSE(ReadHandicap("A").IsSet());
    EXPECT_FALSE(ReadHandicap("B").IsSet());
    EXPECT_FALSE(ReadHandicap("none").IsSet());
    const std::string log = LogText();
    EXPECT_EQ(Occurrences(log, "### Invalid handicap [Handicap-A] = \"abc\": 00:00:00.00 used"), 1u);
    EXPECT_EQ(Occurrences(log, "[Handicap-B]"), 1u);
    EXPECT_EQ(Occurrences(log, "Handicap-none"), 0u);
}

TEST_F(HandicapsTest, DistributionRowsInTheThreeModes) {
    EXPECT_EQ(DistributionHeadings()[0], "Det.");
    EXPECT_EQ(DistributionHeadings()[3], "Best time");
    SetLanguage(Language::French);
    const auto french = DistributionHeadings();
    EXPECT_EQ(french, (std::array<std::string, 6>{"Dét.", "MaxPass", "Nb", "Meill. Temps", "Dossard", "Handicap"}));

    CStatLineEntry line;
    line.detector = "12";
    line.maxPass = 3;
    line.detections = 7;
    line.firstBib = "125";
    line.firstTime = Clock("10:15:30.25");
    line.handicap = Clock("09:30:20.25");
    EXPECT_EQ(MakeDistributionRow(line, DisplayMode::TimeOfDay).cells,
              (std::array<std::string, 6>{"12", "3", "7", "10:15:30.25", "125", "09:30:20.25"}));
    EXPECT_EQ(MakeDistributionRow(line, DisplayMode::PassingTime).cells[3], "00:45:10.00");
    EXPECT_EQ(MakeDistributionRow(line, DisplayMode::Compact).cells[3], "4510");
}

}  // namespace
}  // namespace winorvex::test
