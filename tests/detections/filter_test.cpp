#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "detections/detection_filter.h"
#include "detections/detection_pipeline.h"
#include "detections/last_read_list.h"
#include "tag_line_helpers.h"

namespace winorvex {
namespace {

using filters_test::Contains;
using filters_test::CountContaining;
using filters_test::DrainLogTexts;
using filters_test::Feed;
using filters_test::RecordingOutputs;
using filters_test::TagLineAt;
using filters_test::TagText;

constexpr long kTen = 10L * 3600 * 100;  // 10:00:00.00 in hundredths

std::string Chip(int n) {
    char text[13];
    std::snprintf(text, sizeof text, "05800300%04X", n);
    return text;
}

TEST(RepeatGap, SameOrCloserThanTheGapIsARepeat) {
    const CChrono p(1716000000, 990);
    struct Case {
        CChrono time;
        int gapMs;
        bool repeat;
    };
    const Case cases[] = {
        {p, 50, true},                            // the very same stamp
        {CChrono(1716000001, 20), 50, true},      // 30 ms later, across a second boundary
        {CChrono(1716000001, 30), 50, true},      // 40 ms
        {CChrono(1716000001, 50), 50, false},     // 60 ms later
        {CChrono(1716000001, 39), 50, true},      // 49 ms
        {CChrono(1716000000, 500), 50, false},    // earlier: a clock set back is never a repeat
        {p, 0, false},                            // a gap of 0 drops nothing, not even the same stamp
        {CChrono(1716000002, 190), 1500, true},   // 1.2 s below a 1.5 s gap
        {CChrono(1716000002, 490), 1500, false},  // exactly 1.5 s
        {CChrono(1716000005, 980), 5000, true},   // 4.99 s below the largest gap
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRepeatWithinGap(p, c.time, c.gapMs), c.repeat)
            << c.time.Seconds() << "." << c.time.Milliseconds() << " gap " << c.gapMs;
    }
    EXPECT_EQ(RepeatGapThreshold(1500), CChrono(1, 500));
    EXPECT_EQ(RepeatGapThreshold(50), CChrono(0, 50));
}

TEST(LastReadList, MostRecentFirstOnePerIdentifierAtMostFifty) {
    CLastBoxDetectionList list;
    CChrono previous;
    for (int i = 0; i < 51; ++i) EXPECT_FALSE(list.Touch(Chip(i), CChrono(1000 + i, 0), previous));
    EXPECT_EQ(list.Count(), 50U);
    EXPECT_EQ(list.IdentifierAt(0), Chip(50));
    EXPECT_EQ(list.IdentifierAt(49), Chip(1));
    EXPECT_FALSE(list.Find(Chip(0), previous));  // the least recent fell off

    // Reading an identifier again moves it to the front with its new time.
    ASSERT_TRUE(list.Touch(Chip(1), CChrono(2000, 5), previous));
    EXPECT_EQ(previous, CChrono(1001, 0));
    EXPECT_EQ(list.IdentifierAt(0), Chip(1));
    EXPECT_EQ(list.IdentifierAt(49), Chip(2));
    EXPECT_EQ(list.Count(), 50U);
    ASSERT_TRUE(list.Find(Chip(1), previous));
    EXPECT_EQ(previous, CChrono(2000, 5));

    // A new identifier now pushes out chip 2, which has become the least recent.
    EXPECT_FALSE(list.Touch("NEW", CChrono(3000, 0), previous));
    EXPECT_FALSE(list.Find(Chip(2), previous));
    EXPECT_TRUE(list.Find(Chip(3), previous));

    // Exact comparison: letter case and length count.
    EXPECT_FALSE(list.Find("new", previous));
    EXPECT_FALSE(list.Find("NE", previous));
    EXPECT_FALSE(list.Find(std::string(40, 'X'), previous));
    EXPECT_FALSE(list.Touch(std::string(40, 'X'), CChrono(1, 0), previous));

    list.Clear();
    EXPECT_EQ(list.Count(), 0U);
    EXPECT_FALSE(list.Find(Chip(3), previous));
    EXPECT_FALSE(list.Touch(Chip(3), CChrono(1, 0), previous));
    EXPECT_EQ(list.IdentifierAt(0), Chip(3));
}

TEST(LastReadList, ClearAllReachesEveryBoxEvenWhileItReads) {
    CLastBoxDetectionList first;
    CLastBoxDetectionList second;
    CChrono previous;
    first.Touch("A", CChrono(1, 0), previous);
    second.Touch("B", CChrono(1, 0), previous);
    ClearAllLastReadLists();
    EXPECT_EQ(first.Count(), 0U);
    EXPECT_EQ(second.Count(), 0U);

    // A worker keeps reading while the interface thread forgets everything.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        CChrono seen;
        for (int i = 0; i < 20000; ++i) first.Touch(Chip(i % 80), CChrono(i, 0), seen);
        done = true;
    });
    for (int i = 0; i < 20000 && !done; ++i) ClearAllLastReadLists();
    worker.join();
    EXPECT_LE(first.Count(), 50U);
    ClearAllLastReadLists();
    EXPECT_EQ(first.Count(), 0U);
}

// The acceptance steps of one box, with the station behind a recording fake.
class PipelineFilterTest : public filters_test::StationStateTest {
protected:
    LineOutcome Read(const std::string& chip, long hundredths, const char* marker = "") {
        return Feed(box1_, TagLineAt(chip, hundredths, marker));
    }

    CLastBoxDetectionList list1_;
    CLastBoxDetectionList list2_;
    RecordingOutputs outputs_;
    DetectionPipeline box1_{{"Box 1 [h1:10000 31]", "31", "[h1:10000 31]"}, list1_, outputs_.Services()};
    DetectionPipeline box2_{{"Box 2 [h2:10000 32]", "32", "[h2:10000 32]"}, list2_, outputs_.Services()};
};

TEST_F(PipelineFilterTest, DefaultGapDropsCloseRepeatsOnly) {
    EXPECT_EQ(Read(Chip(1), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(1), kTen + 3), LineOutcome::Ignored);  // 30 ms
    EXPECT_EQ(Read(Chip(2), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(2), kTen + 6), LineOutcome::Recorded);   // 60 ms
    EXPECT_EQ(Read(Chip(2), kTen - 50), LineOutcome::Recorded);  // earlier reader time
    // An ignored read still moves the chip's time on: a steady stream keeps being dropped.
    EXPECT_EQ(Read(Chip(3), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(3), kTen + 4), LineOutcome::Ignored);
    EXPECT_EQ(Read(Chip(3), kTen + 8), LineOutcome::Ignored);
    EXPECT_EQ(Read(Chip(3), kTen + 8), LineOutcome::Ignored);  // the same stamp again

    EXPECT_EQ(ResultCount(), 5U);
    EXPECT_EQ(box1_.Counters().tagReads, 9U);
    EXPECT_EQ(box1_.Counters().recorded, 5U);
    EXPECT_EQ(box1_.Counters().ignored, 4U);
    const auto logged = DrainLogTexts();
    EXPECT_EQ(CountContaining(logged, "+ Box 1 [h1:10000 31] : Detection ignored"), 4);
}

TEST_F(PipelineFilterTest, EachBoxHasItsOwnGap) {
    EXPECT_EQ(Feed(box1_, TagLineAt(Chip(1), kTen)), LineOutcome::Recorded);
    EXPECT_EQ(Feed(box2_, TagLineAt(Chip(1), kTen + 1)), LineOutcome::Recorded);
    EXPECT_EQ(Feed(box2_, TagLineAt(Chip(1), kTen + 2)), LineOutcome::Ignored);
    EXPECT_EQ(ResultCount(), 2U);
}

TEST_F(PipelineFilterTest, ChipPushedOutOfTheListIsNoLongerARepeat) {
    for (int i = 0; i < 51; ++i) ASSERT_EQ(Read(Chip(i), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(0), kTen + 1), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(50), kTen + 1), LineOutcome::Ignored);
}

TEST_F(PipelineFilterTest, ZeroGapKeepsEveryRepeat) {
    Settings().ignoreInputMsDelta = 0;
    EXPECT_EQ(Read(Chip(1), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(1), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(1), kTen + 1), LineOutcome::Recorded);
}

// A gap of 1500 ms means a second and a half, not "one second at most".
TEST_F(PipelineFilterTest, GapsOfASecondOrMoreCountEveryMillisecond) {
    Settings().ignoreInputMsDelta = 1500;
    EXPECT_EQ(Read(Chip(1), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(1), kTen + 120), LineOutcome::Ignored);
    EXPECT_EQ(Read(Chip(2), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(2), kTen + 150), LineOutcome::Recorded);
    Settings().ignoreInputMsDelta = 5000;
    EXPECT_EQ(Read(Chip(3), kTen), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(3), kTen + 499), LineOutcome::Ignored);
    EXPECT_EQ(Read(Chip(3), kTen + 999), LineOutcome::Recorded);
}

TEST_F(PipelineFilterTest, SeenMarkerFiltersFollowTheSettings) {
    EXPECT_EQ(Read(Chip(1), kTen, "FS"), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(2), kTen, "LS"), LineOutcome::Recorded);
    Settings().ignoreFSDetections = 1;
    EXPECT_EQ(Read(Chip(3), kTen, "FS"), LineOutcome::Ignored);
    EXPECT_EQ(Read(Chip(4), kTen, "LS"), LineOutcome::Recorded);
    EXPECT_EQ(Read(Chip(5), kTen), LineOutcome::Recorded);
    Settings().ignoreFSDetections = 0;
    Settings().ignoreLSDetections = 1;
    EXPECT_EQ(Read(Chip(6), kTen, "LS"), LineOutcome::Ignored);
    // A read dropped for its marker still counts as the chip's latest read.
    EXPECT_EQ(Read(Chip(6), kTen + 2), LineOutcome::Ignored);
    EXPECT_EQ(box1_.Counters().ignored, 3U);
}

class FakeDownload : public DownloadSink {
public:
    bool running = true;
    std::vector<std::string> saved;
    bool SaveIfDownloading(std::string_view fullLine) override {
        if (!running) return false;
        saved.emplace_back(fullLine);
        return true;
    }
};

TEST_F(PipelineFilterTest, DownloadTakesTheReadInsteadOfTheList) {
    FakeDownload download;
    CLastBoxDetectionList list;
    DetectionPipeline box({"Box 3 [h3:10000 33]", "33", "[h3:10000 33]"}, list, outputs_.Services(&download));
    const std::string line = TagLineAt(Chip(1), kTen, "FS");
    EXPECT_EQ(Feed(box, line + "\r\n"), LineOutcome::SavedToDownload);
    ASSERT_EQ(download.saved.size(), 1U);
    EXPECT_EQ(download.saved[0], line);
    EXPECT_EQ(ResultCount(), 0U);
    EXPECT_TRUE(Contains(DrainLogTexts(), "+ Box 3 [h3:10000 33] : Detection recorded"));

    // Saved reads also feed the repeat gap once the download is over.
    download.running = false;
    EXPECT_EQ(Feed(box, TagLineAt(Chip(1), kTen + 1)), LineOutcome::Ignored);
    EXPECT_EQ(Feed(box, TagLineAt(Chip(1), kTen + 10)), LineOutcome::Recorded);
    EXPECT_EQ(box.Counters().downloaded, 1U);
    EXPECT_EQ(box.Counters().ignored, 1U);
    EXPECT_EQ(box.Counters().recorded, 1U);
}

TEST_F(PipelineFilterTest, UndecodableReadsAreLoggedCountedAndForgotten) {
    const std::string badDate = TagText(Chip(1), "241318", "100000", 0);
    EXPECT_EQ(box1_.HandleTagRead(badDate, badDate + "00", kNoMarker), LineOutcome::Invalid);
    Settings().sendNumbers = 1;  // with an empty chip table
    const std::string good = TagText(Chip(2), "240518", "100000", 0);
    EXPECT_EQ(box1_.HandleTagRead(good, good + "00", kNoMarker), LineOutcome::Invalid);
    EXPECT_EQ(box1_.Counters().invalid, 2U);
    EXPECT_EQ(list1_.Count(), 0U);
    EXPECT_EQ(ResultCount(), 0U);
    box1_.LogInvalidInput("aa123");

    const auto logged = DrainLogTexts();
    EXPECT_TRUE(Contains(logged, "+ Box 1 [h1:10000 31] : Invalid time string chAbs: [" + badDate + "]"));
    EXPECT_TRUE(Contains(logged, "+ Box 1 [h1:10000 31] : Invalid detection: " + good));
    EXPECT_TRUE(Contains(logged, "+ Box 1 [h1:10000 31] : Invalid input: aa123"));

    SetLanguage(Language::French);
    EXPECT_EQ(box1_.HandleTagRead(good, good + "00", kNoMarker), LineOutcome::Invalid);
    box1_.LogInvalidInput("aa123");
    const auto french = DrainLogTexts();
    EXPECT_TRUE(Contains(french, "+ Box 1 [h1:10000 31] : Détection invalide: " + good));
    EXPECT_TRUE(Contains(french, "+ Box 1 [h1:10000 31] : Trame invalide: aa123"));
}

}  // namespace
}  // namespace winorvex
