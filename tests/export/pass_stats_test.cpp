#include "export/pass_stats.h"

#include <algorithm>
#include <random>

#include "export_fixture.h"

namespace winorvex::test {
namespace {

class PassStatsTest : public ExportFixture {
protected:
    WorkResultPointers All() const { return PointersTo(results_); }

    static std::vector<std::string> Describe(const WorkResultPointers& list) {
        std::vector<std::string> out;
        for (const CWorkResult* r : list) out.push_back(r->bib + "@" + r->timeText);
        return out;
    }

    CWorkResultList results_;
};

TEST_F(PassStatsTest, GapFilterComparesWithTheDetectionJustBefore) {
    // A chain, each within a minute of the one before, collapses into its first.
    results_ = {Work("1", "7", "10:00:00.00"), Work("1", "7", "10:00:50.00"), Work("1", "7", "10:01:40.00")};
    WorkResultPointers kept;
    EXPECT_EQ(ComputePassStats(All(), kept, Clock("00:01:00")), 1);
    EXPECT_EQ(Describe(kept), (std::vector<std::string>{"7@10:00:00.00"}));

    // Exactly the gap later is dropped; one hundredth more counts as a passage.
    results_ = {Work("1", "7", "10:00:00.00"), Work("1", "7", "10:01:00.00"), Work("1", "8", "10:00:00.00"),
                Work("1", "8", "10:01:00.01")};
    kept.clear();
    EXPECT_EQ(ComputePassStats(All(), kept, Clock("00:01:00")), 2);
    EXPECT_EQ(Describe(kept), (std::vector<std::string>{"7@10:00:00.00", "8@10:00:00.00", "8@10:01:00.01"}));

    // With no gap, two detections at the same time are one passage.
    results_ = {Work("1", "7", "10:00:00.00"), Work("1", "7", "10:00:00.00"), Work("1", "7", "10:00:00.01")};
    kept.clear();
    EXPECT_EQ(ComputePassStats(All(), kept, CChrono()), 2);
    EXPECT_TRUE(ComputePassStats({}, kept, CChrono()) == 0);
}

TEST_F(PassStatsTest, RunnersAreToldApartByTheirBibText) {
    // "12" and "12A" read as the same number, as do two untranslated chips (0): still three runners.
    results_ = {Work("1", "12", "10:00:00.00"), Work("1", "12A", "10:00:10.00"), Work("1", "E2000017", "10:00:20.00"),
                Work("1", "E2000018", "10:00:30.00")};
    EXPECT_EQ(results_[0].bibNumber, results_[1].bibNumber);
    WorkResultPointers kept;
    EXPECT_EQ(ComputePassStats(All(), kept, Clock("00:05:00")), 1);
    EXPECT_EQ(kept.size(), 4u);

    // Bibs order as bytes: "9" after "10", whatever the times.
    results_ = {Work("1", "9", "10:00:00.00"), Work("1", "10", "10:00:00.00"), Work("1", "100", "10:00:00.00")};
    EXPECT_TRUE(CompareBibThenTime(results_[1], results_[0]));
    EXPECT_TRUE(CompareTimeThenBib(results_[2], results_[0]));
    kept.clear();
    ComputePassStats(All(), kept, CChrono());
    EXPECT_EQ(Describe(kept), (std::vector<std::string>{"10@10:00:00.00", "100@10:00:00.00", "9@10:00:00.00"}));
}

TEST_F(PassStatsTest, PassesOfRunnersWithOneThreeAndThreePassages) {
    results_ = {Work("1", "20", "10:00:00.00"),  // 1 passage
                Work("1", "31", "10:05:00.00"), Work("1", "31", "10:20:00.00"), Work("1", "31", "10:40:00.00"),
                Work("1", "4", "10:06:00.00"),  Work("1", "4", "10:20:00.00"),  Work("1", "4", "10:45:00.00")};
    WorkResultPointers kept;
    EXPECT_EQ(ComputePassStats(All(), kept, Clock("00:01:00")), 3);
    WorkResultPointers second;
    SelectPass(kept, second, 2);
    // By time, then bib text at the same time ("31" before "4").
    EXPECT_EQ(Describe(second), (std::vector<std::string>{"31@10:20:00.00", "4@10:20:00.00"}));
    WorkResultPointers fourth;
    SelectPass(kept, fourth, 4);
    EXPECT_TRUE(fourth.empty());

    const std::vector<WorkResultPointers> passes = SplitPasses(kept);
    ASSERT_EQ(passes.size(), 3u);
    EXPECT_EQ(Describe(passes[0]), (std::vector<std::string>{"20@10:00:00.00", "31@10:05:00.00", "4@10:06:00.00"}));
    EXPECT_EQ(passes[1], second);
    EXPECT_EQ(Describe(passes[2]), (std::vector<std::string>{"31@10:40:00.00", "4@10:45:00.00"}));
}

TEST_F(PassStatsTest, AbsoluteClockResultsHaveNoTimeAndSortLast) {
    CRixResult absolute;
    absolute.detector = "1";
    absolute.bib = "5";
    absolute.timeText = "1716000000.5";
    absolute.absoluteClock = 1;
    absolute.serial = 100;
    results_ = {CWorkResult(absolute), Work("1", "5", "10:00:00.00")};
    EXPECT_FALSE(results_[0].time.IsSet());
    EXPECT_TRUE(CompareBibThenTime(results_[1], results_[0]));
    WorkResultPointers kept;
    EXPECT_EQ(ComputePassStats(All(), kept, Clock("00:01:00")), 2);
    EXPECT_EQ(Describe(kept), (std::vector<std::string>{"5@10:00:00.00", "5@1716000000.5"}));
}

TEST_F(PassStatsTest, DetectorLinesInDetectorOrderWithTheirEarliestResult) {
    results_ = {Work("B", "3", "10:00:05.00"), Work("A", "9", "10:00:09.00"), Work("B", "1", "10:00:01.00"),
                Work("A", "10", "10:00:09.00")};
    const std::vector<CStatLineEntry> lines = ComputeDetectorLines(All());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].detector, "A");
    EXPECT_EQ(lines[0].detections, 2);
    EXPECT_EQ(lines[0].firstBib, "10");
    EXPECT_EQ(lines[1].detector, "B");
    EXPECT_EQ(lines[1].firstBib, "1");
    EXPECT_EQ(lines[1].firstTime, Clock("10:00:01"));
    EXPECT_EQ(lines[1].maxPass, 0);
    EXPECT_TRUE(ComputeDetectorLines({}).empty());
}

TEST_F(PassStatsTest, StatisticsReadEachDetectorsHandicap) {
    SetExportSetting("Handicap-A", "09:00:00.00");
    results_ = {Work("A", "1", "10:00:00.00"), Work("A", "1", "10:30:00.00"), Work("B", "1", "10:00:00.00")};
    const std::vector<DetectorPasses> stats = ComputeDetectorStatistics(All(), Clock("00:10:00"), true);
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0].line.handicap, Clock("09:00:00"));
    EXPECT_EQ(stats[0].line.detections, 2);
    EXPECT_EQ(stats[0].line.maxPass, 2);
    EXPECT_EQ(stats[0].passes.size(), 2u);
    EXPECT_EQ(stats[0].maxPassBib, "1");
    EXPECT_FALSE(stats[1].line.handicap.IsSet());
    EXPECT_EQ(stats[1].line.maxPass, 1);
}

// The fast paths sort on packed keys; they must give exactly the orders of the comparators,
// with the recording order deciding between results equal in every key.
TEST_F(PassStatsTest, FastPathsAgreeWithTheComparators) {
    std::mt19937 random(12345);
    const std::vector<std::string> bibs = {"1",
                                           "10",
                                           "9",
                                           "12",
                                           "12A",
                                           "123456789",
                                           "1234567890",
                                           "12345678",
                                           "E200001700000001",
                                           "E200001700000002",
                                           std::string("7\0", 2)};
    const std::vector<std::string> detectors = {"31", "4", "A"};
    for (int i = 0; i < 600; ++i) {
        const int seconds = 36000 + static_cast<int>(random() % 240);
        const std::string time =
            CChrono(seconds, static_cast<std::uint16_t>(random() % 3 * 10)).FormatDailyHundredths();
        results_.push_back(Work(detectors[random() % detectors.size()], bibs[random() % bibs.size()],
                                random() % 25 == 0 ? std::string("1716000000.5") : time));
    }
    const WorkResultPointers all = All();
    const CChrono gap = Clock("00:00:30");

    for (const DetectorPasses& entry : ComputeDetectorStatistics(all, gap, true)) {
        WorkResultPointers mine;
        for (const CWorkResult* r : all) {
            if (r->detector == entry.line.detector) mine.push_back(r);
        }
        // The reference: the gap filter written plainly over a comparator sort.
        WorkResultPointers sorted = mine;
        std::sort(sorted.begin(), sorted.end(), [](auto a, auto b) { return CompareBibThenTime(*a, *b); });
        WorkResultPointers expected;
        std::vector<int> passOf;
        int count = 0;
        int maxPass = 0;
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            const bool newRunner = i == 0 || sorted[i]->bib != sorted[i - 1]->bib;
            if (newRunner) count = 0;
            if (newRunner || !(sorted[i]->time <= sorted[i - 1]->time + gap)) {
                expected.push_back(sorted[i]);
                passOf.push_back(++count);
                maxPass = std::max(maxPass, count);
            }
        }
        std::vector<std::size_t> order(expected.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return CompareTimeThenBib(*expected[a], *expected[b]); });
        WorkResultPointers expectedKept;
        for (std::size_t i : order) expectedKept.push_back(expected[i]);

        EXPECT_EQ(entry.line.maxPass, maxPass);
        EXPECT_EQ(entry.kept, expectedKept);
        ASSERT_EQ(entry.passes.size(), static_cast<std::size_t>(maxPass));
        for (int k = 1; k <= maxPass; ++k) {
            WorkResultPointers expectedPass;
            for (std::size_t i : order) {
                if (passOf[i] == k) expectedPass.push_back(expected[i]);
            }
            WorkResultPointers selected;
            SelectPass(entry.kept, selected, k);
            EXPECT_EQ(selected, expectedPass) << "pass " << k;
            EXPECT_EQ(entry.passes[static_cast<std::size_t>(k - 1)], expectedPass) << "pass " << k;
        }
    }

    std::vector<CDetectorResList> groups = GroupByDetector(all);
    WorkResultPointers flat;
    for (const CDetectorResList& group : groups) flat.insert(flat.end(), group.results.begin(), group.results.end());
    WorkResultPointers reference = all;
    std::sort(reference.begin(), reference.end(), [](auto a, auto b) { return CompareDetectorTimeBib(*a, *b); });
    EXPECT_EQ(flat, reference);
}

TEST_F(PassStatsTest, EqualKeysKeepTheRecordingOrder) {
    results_ = {Work("1", "5", "10:00:00.00"), Work("1", "5", "10:00:00.00"), Work("1", "5", "10:00:00.00")};
    EXPECT_TRUE(CompareBibThenTime(results_[0], results_[1]));
    EXPECT_FALSE(CompareBibThenTime(results_[1], results_[0]));
    WorkResultPointers reversed = {&results_[2], &results_[1], &results_[0]};
    WorkResultPointers kept;
    ComputePassStats(reversed, kept, CChrono());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0], &results_[0]);
}

}  // namespace
}  // namespace winorvex::test
