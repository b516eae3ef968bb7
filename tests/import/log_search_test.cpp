// The search of a reader log: the window, the day summaries, the purge, translation, markers,
// abnormal events and the closing lines.
#include "import/log_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/texts.h"
#include "import/import_test_helpers.h"
#include "support/test_support.h"

namespace winorvex::import_test {
namespace {

constexpr const char* kChipA = "058000000001";
constexpr const char* kChipB = "058000000002";

class LogSearchTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::English); }
    void TearDown() override { SetLanguage(Language::French); }

    LogSearchResult Run(const LogSearchRequest& request) {
        observer_ = RecordingObserver{};
        sounds_.Clear();
        return SearchReaderLog(request, settings_, observer_, &sounds_);
    }
    LogSearchResult RunDay(const std::string& log) {
        const std::string path = scratch_.WriteFile("reader.log", log);
        return Run(WholeDay(path));
    }
    LogSearchRequest Window(const std::string& log, const char* start, const char* end) {
        LogSearchRequest request = WholeDay(scratch_.WriteFile("reader.log", log));
        request.start = Stamp("20240518", start);
        request.end = Stamp("20240518", end);
        return request;
    }

    test::ScratchDir scratch_;
    LogSearchSettings settings_ = PlainSettings();
    RecordingObserver observer_;
    RecordingStationEvents sounds_;
};

TEST_F(LogSearchTest, WindowOfOneInstantKeepsOnlyItsFirstHundredth) {
    const std::string log = TagLine(kChipA, "240518", "095959", 99) + TagLine(kChipA, "240518", "100000", 0) +
                            TagLine(kChipB, "240518", "100000", 1) + TagLine(kChipB, "240518", "100001", 0);
    const LogSearchResult result = Run(Window(log, "100000", "100000"));
    ASSERT_TRUE(result.searched);
    ASSERT_EQ(result.found.size(), 1u);
    EXPECT_EQ(result.found[0].Identifier(), kChipA);
    EXPECT_EQ(result.found[0].dailyTime, CChrono(10 * 3600, 0));
    EXPECT_EQ(result.decodedReads, 4u) << "every decoded read counts for the day";
}

TEST_F(LogSearchTest, EndBeforeStartFindsNothing) {
    const std::string log = TagLine(kChipA, "240518", "090000", 0) + TagLine(kChipA, "240518", "110000", 0) +
                            "KMark-20240518100000:middle\r\n";
    settings_.extendedStatus = true;
    const LogSearchResult result = Run(Window(log, "120000", "080000"));
    ASSERT_TRUE(result.searched);
    EXPECT_TRUE(result.found.empty());
    EXPECT_TRUE(result.markers.empty());
    EXPECT_TRUE(observer_.Has("* No suitable detection found in selected time range"));
}

TEST_F(LogSearchTest, PurgeComparesEachReadWithTheOneBefore) {
    // .00, .03, .06 of one chip: .03 is 30 ms after .00, .06 30 ms after .03 (dropped or not).
    // Two chips at one instant are both kept; a read 60 ms after a kept one stays.
    const std::string log = TagLine(kChipA, "240518", "100000", 0) + TagLine(kChipA, "240518", "100000", 3) +
                            TagLine(kChipB, "240518", "100000", 3) + TagLine(kChipA, "240518", "100000", 6) +
                            TagLine(kChipB, "240518", "100000", 9) + TagLine(kChipB, "240518", "100000", 9);
    const LogSearchResult result = RunDay(log);
    ASSERT_EQ(result.foundBeforePurge, 6u);
    ASSERT_EQ(result.found.size(), 3u);
    EXPECT_EQ(result.found[0].Identifier(), kChipA);
    EXPECT_EQ(result.found[0].absoluteTime, Stamp("20240518", "100000", 0));
    EXPECT_EQ(result.found[1].Identifier(), kChipB);
    EXPECT_EQ(result.found[1].absoluteTime, Stamp("20240518", "100000", 3));
    EXPECT_EQ(result.found[2].Identifier(), kChipB);
    EXPECT_EQ(result.found[2].absoluteTime, Stamp("20240518", "100000", 9));
    EXPECT_TRUE(observer_.Has("* 6 detections before purge"));
    EXPECT_TRUE(observer_.Has("* 3 detections after purge (50 ms)"));
}

TEST_F(LogSearchTest, PurgeThresholdIsTheWholeGap) {
    // 1500 ms: a read 1.2 s after the last is a repeat, 1.6 s after is not.
    settings_.msDelta = 1500;
    const std::string log = TagLine(kChipA, "240518", "100000", 0) + TagLine(kChipA, "240518", "100001", 20) +
                            TagLine(kChipA, "240518", "100002", 80);
    EXPECT_EQ(RunDay(log).found.size(), 2u);
    settings_.msDelta = 0;
    EXPECT_EQ(RunDay(log + log).found.size(), 6u) << "no purge, exact repeats included";
}

TEST_F(LogSearchTest, TranslationWithAnEmptyTable) {
    const std::string log = TagLine(kChipA, "240518", "100000", 0) + TagLine(kChipB, "240518", "100010", 0);
    settings_.translate = true;
    settings_.chips = Chips({});

    settings_.ignoreUnknownTags = true;
    LogSearchResult result = RunDay(log);
    EXPECT_TRUE(result.found.empty());
    EXPECT_EQ(result.rejectedUnknown, 2u);
    EXPECT_TRUE(observer_.Has("+ Unknown chip [058000000001]. Detection discarded!"));
    EXPECT_TRUE(observer_.Has("* 2 detections rejected: unknown chips"));
    EXPECT_TRUE(observer_.Has("* 2 chips not found in ORVEXTABLE.DTB:   058000000001  058000000002"));
    EXPECT_EQ(sounds_.Sounds(), std::vector<StationSound>{StationSound::Warning});

    settings_.ignoreUnknownTags = false;
    result = RunDay(log);
    ASSERT_EQ(result.found.size(), 2u);
    EXPECT_EQ(result.found[0].Identifier(), kChipA);
    EXPECT_EQ(result.found[1].Identifier(), kChipB);
    EXPECT_EQ(observer_.CountStarting("* 2 detections rejected"), 0);
    EXPECT_TRUE(observer_.Has("* 2 suitable detections found in selected time range"));
}

TEST_F(LogSearchTest, TranslatedBibsAndFirstFourUnknownChips) {
    settings_.translate = true;
    settings_.chips = Chips({{kChipA, 501}});
    std::string log = TagLine(kChipA, "240518", "100000", 0);
    for (int i = 3; i <= 8; ++i) {
        const std::string chip = "05800000000" + std::to_string(i);
        log += TagLine(chip, "240518", "100000", 0) + TagLine(chip, "240518", "110000", 0);
    }
    const LogSearchResult result = RunDay(log);
    ASSERT_EQ(result.found.size(), 13u);
    EXPECT_EQ(result.found[6].Identifier(), "501") << "bytewise after the chips read at the same instant";
    EXPECT_EQ(result.unknownChips.size(), 6u) << "each chip once";
    EXPECT_TRUE(
        observer_.Has("* 6 chips not found in ORVEXTABLE.DTB:   058000000003  058000000004  058000000005  "
                      "058000000006  ..."));
}

TEST_F(LogSearchTest, TwoDaysSummaries) {
    const std::string log = TagLine(kChipA, "240518", "230000", 0) + TagLine(kChipB, "240518", "235930", 50) +
                            TagLine(kChipA, "240519", "000105", 0) + TagLine(kChipB, "240519", "013000", 0) +
                            TagLine(kChipA, "240519", "021545", 99);
    const LogSearchResult result = RunDay(log);
    const std::vector<std::string> expected = {
        "+++ Importing ELITE detections file " + scratch_.str() + "/reader.log",
        "* Sam 18 Mai 2024 - First detection at 23:00:00",
        "* Sam 18 Mai 2024 - First detection at 23:00:00, last detection at 23:59:30. Total 2 detections",
        "* Dim 19 Mai 2024 - First detection at 00:01:05",
        "* Dim 19 Mai 2024 - First detection at 00:01:05, last detection at 02:15:45. Total 3 detections",
        "* 2 suitable detections found in selected time range",
        "* 2 detections before purge",
        "* 2 detections after purge (50 ms)",
    };
    EXPECT_EQ(observer_.information, expected);
    EXPECT_EQ(result.found.size(), 2u) << "only the picked date's window";
    EXPECT_TRUE(sounds_.Sounds().empty());
}

TEST_F(LogSearchTest, AReadOnADayThatDoesNotExistCountsForTheDayItRollsInto) {
    const std::string log = TagLine(kChipA, "240229", "235900", 0) + TagLine(kChipA, "240230", "080000", 0) +
                            TagLine(kChipB, "240301", "090000", 0);
    LogSearchRequest request = WholeDay(scratch_.WriteFile("reader.log", log));
    request.midnight = Stamp("20240301", "000000");
    request.start = request.midnight;
    request.end = Stamp("20240301", "235959");
    const LogSearchResult result = Run(request);
    ASSERT_EQ(result.found.size(), 2u);
    EXPECT_EQ(result.found[0].absoluteTime, Stamp("20240301", "080000"));
    EXPECT_EQ(result.decodedReads, 3u);
    EXPECT_TRUE(
        observer_.Has("* Ven 01 Mars 2024 - First detection at 08:00:00, last detection at 09:00:00. Total 2 "
                      "detections"));
    EXPECT_EQ(result.abnormalEvents, 0u);
}

TEST_F(LogSearchTest, FrenchPlurals) {
    SetLanguage(Language::French);
    settings_.translate = true;
    settings_.ignoreUnknownTags = true;
    RunDay(TagLine(kChipA, "240518", "100000", 0) + TagLine(kChipB, "240518", "100000", 0));
    EXPECT_TRUE(observer_.Has("* 2 détections rejetées : puces inconnues"));
    EXPECT_TRUE(observer_.Has("* 2 puces non trouvées dans la table de correspondance :   058000000001  058000000002"));
    EXPECT_TRUE(observer_.Has("+ Puce inconnue [058000000001] ! Détection ignorée"));
    settings_.translate = false;
    RunDay(TagLine(kChipA, "240518", "100000", 0));
    EXPECT_TRUE(observer_.Has("* 1 détection pertinente trouvée dans la période sélectionnée"));
}

TEST_F(LogSearchTest, MarkersOnlyInExtendedStatusModeAndStrictlyInside) {
    const std::string log =
        "KMark-20240518090000:too early\r\n"
        "KMark-20240518100000:at the start\r\n"
        "KMark-20240518103000:wave 2\r\n"
        "KMark-20240517103000:other day\r\n"
        "KMark-20240518120000:at the end\r\n"
        "KMark-2024051812\r\n" +
        TagLine(kChipA, "240518", "103001", 0);
    LogSearchResult result = Run(Window(log, "100000", "120000"));
    EXPECT_TRUE(result.markers.empty());
    EXPECT_EQ(result.abnormalEvents, 0u) << "markers outside the mode are simply skipped";

    settings_.extendedStatus = true;
    result = Run(Window(log, "100000", "120000"));
    ASSERT_EQ(result.markers.size(), 1u);
    EXPECT_EQ(result.markers[0].label, "wave 2");
    EXPECT_EQ(result.markers[0].time, "103000");
    EXPECT_TRUE(observer_.Has("+ WinORVEX Marker: wave 2"));
    EXPECT_EQ(result.abnormalEvents, 1u);
    EXPECT_TRUE(observer_.Has("+ Box fileBox invalid input: KMark-2024051812"));
}

TEST_F(LogSearchTest, AbnormalEventsShownOnlyWhenAsked) {
    std::string bad = TagLine(kChipA, "240518", "100000", 0);
    bad[10] = '9';  // checksum no longer matches
    const std::string log = bad + Reply("000c4b07") + Reply("000902240518") + Reply("00000121") + "aa" +
                            TagText(kChipA, "240518", "100000", 0).substr(2, 20) + "\r\n" +
                            TagLine(kChipA, "241318", "100000", 0) + "junk\r\n" + "\r\n" +
                            TagLine(kChipA, "240518", "100000", 0);
    settings_.showAbnormalEvents = false;
    LogSearchResult result = RunDay(log);
    EXPECT_EQ(result.found.size(), 1u);
    EXPECT_EQ(result.abnormalEvents, 6u);
    EXPECT_EQ(observer_.CountStarting("+ "), 0);

    settings_.showAbnormalEvents = true;
    result = RunDay(log);
    EXPECT_EQ(result.abnormalEvents, 6u);
    EXPECT_EQ(observer_.CountStarting("+ Box fileBox invalid input: "), 4);  // bad checksum, cut, junk, empty
    EXPECT_TRUE(observer_.Has("+ Box fileBox command unknown or not processed: " + Reply("000c4b07").substr(0, 12)));
    EXPECT_EQ(observer_.CountStarting("+ Invalid detection: "), 1);
}

TEST_F(LogSearchTest, LongLinesBinaryAndNulBytes) {
    std::string log = std::string(5000, 'x') + "\n";
    log += std::string("aa\0\0\xff\xfe binary", 13) + "\r\n";
    log += std::string(511, 'y');  // exactly one piece, then a lone line end
    log += "\n";
    log += TagLine(kChipA, "240518", "100000", 0);
    log += std::string(600, '\0');
    log += TagLine(kChipB, "240518", "100001", 0);
    const LogSearchResult result = RunDay(log);
    ASSERT_TRUE(result.searched);
    // The NULs have no line end of their own: the last read is glued to them and lost as noise.
    ASSERT_EQ(result.found.size(), 1u);
    EXPECT_EQ(result.found[0].Identifier(), kChipA);
    // 5001 bytes: nine pieces of 511 and one of 402 with its line end; 600 NULs and the last
    // line: one piece of 511 and one of the rest.
    EXPECT_EQ(result.lines, 10u + 1u + 2u + 1u + 2u);
    EXPECT_EQ(result.abnormalEvents, 10u + 1u + 2u + 2u);
}

TEST_F(LogSearchTest, CancelStopsAndSaysSo) {
    std::string log;
    for (int i = 0; i < 1000; ++i) log += TagLine(kChipA, "240518", "100000", i % 100);
    observer_.cancelAfterChecks = 2;
    const std::string path = scratch_.WriteFile("reader.log", log);
    RecordingObserver observer;
    observer.cancelAfterChecks = 2;
    const LogSearchResult result = SearchReaderLog(WholeDay(path), settings_, observer, nullptr);
    EXPECT_TRUE(result.searched);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.lines, 300u);
    EXPECT_TRUE(observer.Has("* Search cancelled by the operator after 300 lines"));
    EXPECT_FALSE(observer.progress.empty());
    EXPECT_TRUE(observer.Has("* 1 detection before purge") || observer.CountStarting("* 299 detections before") == 1);
}

TEST_F(LogSearchTest, UnreadableFileIsReportedWithItsReason) {
    LogSearchResult result = Run(WholeDay(scratch_.str() + "/missing.log"));
    EXPECT_FALSE(result.searched);
    EXPECT_EQ(result.error, "Cannot open file " + scratch_.str() + "/missing.log: No such file or directory");
    EXPECT_TRUE(observer_.Has("## " + result.error));

    result = Run(WholeDay(scratch_.str()));
    EXPECT_FALSE(result.searched);
    EXPECT_NE(result.error.find("Is a directory"), std::string::npos) << result.error;

    if (::geteuid() != 0) {
        const std::string path = scratch_.WriteFile("locked.log", TagLine(kChipA, "240518", "100000", 0));
        ::chmod(path.c_str(), 0);
        result = Run(WholeDay(path));
        EXPECT_FALSE(result.searched);
        EXPECT_NE(result.error.find("Permission denied"), std::string::npos) << result.error;
    }
}

}  // namespace
}  // namespace winorvex::import_test
