#include <set>
#include <thread>

#include "store_fixture.h"

namespace winorvex::test {
namespace {

using ResultListTest = StoreFixture;

TEST_F(ResultListTest, SerialsStartAtOneAndSkipAllOnesWhenWrapping) {
    EXPECT_EQ(AddDaily("31", "1", CChrono(36000, 0)).serial, 1u);
    EXPECT_EQ(AddDaily("31", "2", CChrono(36001, 0)).serial, 2u);

    ResetResultSerialForTest(4294967294u);
    EXPECT_EQ(AddDaily("31", "3", CChrono(36002, 0)).serial, 4294967294u);
    EXPECT_EQ(AddDaily("31", "4", CChrono(36003, 0)).serial, 1u);
    EXPECT_EQ(AddDaily("31", "5", CChrono(36004, 0)).serial, 2u);

    // Serials no longer grow along the list: a lookup must still find the right record.
    CRixResult found;
    ASSERT_TRUE(FindResult(4294967294u, found));
    EXPECT_EQ(found.bib, "3");
    ASSERT_TRUE(SetResultActive(4294967294u, false));
    EXPECT_EQ(CountActiveResults(), 4u);

    // Clearing the list does not restart the counter.
    ClearResults();
    EXPECT_EQ(AddDaily("31", "6", CChrono(36005, 0)).serial, 3u);
}

TEST_F(ResultListTest, TimeTextFollowsTheClockKind) {
    const CChrono absolute(1716000000, 50);
    const CChrono secondDay(25 * 3600 + 2 * 60 + 3, 40);

    const CRixResult abs = AddResult("12", "125", absolute, secondDay, true, false);
    EXPECT_EQ(abs.timeText, "1716000000.5");
    EXPECT_EQ(abs.absoluteClock, 1);

    const CRixResult daily = AddResult("12", "125", absolute, secondDay, false, false);
    EXPECT_EQ(daily.timeText, "25:02:03.04");
    EXPECT_EQ(daily.absoluteClock, 0);

    EXPECT_EQ(MakeResultTimeText(CChrono(1716000000, 990), CChrono(), true), "1716000000.99");
    EXPECT_EQ(MakeResultTimeText(CChrono(1716000000, 9), CChrono(), true), "1716000000.0");

    // Every other field of a fresh record.
    EXPECT_EQ(daily.detector, "12");
    EXPECT_EQ(daily.bib, "125");
    EXPECT_EQ(daily.active, 1);
    EXPECT_EQ(daily.reserved1, 1);
    EXPECT_EQ(daily.reserved2, 0);
}

TEST_F(ResultListTest, TextForms) {
    CRixResult result;
    result.detector = "31";
    result.bib = "125";
    result.timeText = "10:00:00.25";
    std::string line = FormatResultLine(result);
    EXPECT_EQ(line, "1\t31\t125\t1\t10:00:00.25");
    ToCommaText(line);
    EXPECT_EQ(line, "1,31,125,1,10:00:00.25");

    std::string mixed = "a\tb\nc\r\n\t";
    ToCommaText(mixed);
    EXPECT_EQ(mixed, "a,b c\r ,");
}

TEST_F(ResultListTest, RemovalKeepsTheRecordAndCountsStayExact) {
    const auto first = AddDaily("31", "101", CChrono(36000, 0), false);
    const auto second = AddDaily("31", "102", CChrono(36001, 0), false);
    const auto third = AddDaily("31", "103", CChrono(36002, 0), false);

    ASSERT_TRUE(SetResultActive(second.serial, false));
    EXPECT_EQ(CountActiveResults(), 2u);
    EXPECT_EQ(ResultCount(), 3u);

    // Removing what is already removed must not count it twice.
    ASSERT_TRUE(SetResultActive(second.serial, false));
    EXPECT_EQ(CountActiveResults(), 2u);

    const auto active = CopyActiveResults();
    ASSERT_EQ(active.size(), 2u);
    EXPECT_EQ(active[0].serial, first.serial);
    EXPECT_EQ(active[1].serial, third.serial);

    std::vector<std::string> all;
    ForEachResult([&](const CRixResult& r) { all.push_back(r.bib + (r.IsActive() ? "+" : "-")); });
    EXPECT_EQ(all, (std::vector<std::string>{"101+", "102-", "103+"}));

    EXPECT_FALSE(SetResultActive(999, false));
    EXPECT_FALSE(SetResultActive(0, false));
    EXPECT_EQ(SetResultsActive({first.serial, 999, third.serial}, false), 2u);
    EXPECT_EQ(CountActiveResults(), 0u);
    EXPECT_EQ(SetResultsActive({first.serial, second.serial, third.serial}, true), 3u);
    EXPECT_EQ(CountActiveResults(), 3u);

    ClearResults();
    EXPECT_EQ(ResultCount(), 0u);
    EXPECT_EQ(CountActiveResults(), 0u);
    CRixResult gone;
    EXPECT_FALSE(FindResult(first.serial, gone));
}

TEST_F(ResultListTest, ObserverAndLineWriterSeeEachRecordWithItsPosition) {
    struct Observer : ResultAddedObserver {
        void OnResultAdded(const CRixResult& result) override { bibs.push_back(result.bib); }
        std::vector<std::string> bibs;
    } observer;
    struct Writer : RecordLineWriter {
        void WriteRecordLine(int position, const CRixResult& result) override {
            lines.push_back(std::to_string(position) + ":" + result.bib);
        }
        std::vector<std::string> lines;
    } writer;
    SetRecordLineWriter(&writer);

    AddResult("7", "11", CChrono(), CChrono(36000, 0), false, true, &observer);
    AddResult("7", "12", CChrono(), CChrono(36001, 0), false, false, &observer);
    AddResult("7", "13", CChrono(), CChrono(36002, 0), false, true);
    SetRecordLineWriter(nullptr);
    AddResult("7", "14", CChrono(), CChrono(36003, 0), false, true);

    EXPECT_EQ(observer.bibs, (std::vector<std::string>{"11", "12"}));
    // Positions count every record of the list, written or not.
    EXPECT_EQ(writer.lines, (std::vector<std::string>{"1:11", "3:13"}));
}

TEST_F(ResultListTest, ConcurrentAddersGetDistinctSerialsWhileReadersCount) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                AddDaily(std::to_string(t), std::to_string(i), CChrono(36000 + i, 0), false);
            }
        });
    }
    // The interface thread counts and marks meanwhile.
    std::size_t lastCount = 0;
    for (int i = 0; i < 200; ++i) {
        const std::size_t count = ResultCount();
        EXPECT_GE(count, lastCount);
        lastCount = count;
        SetResultActive(static_cast<std::uint32_t>(i + 1), true);
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(ResultCount(), static_cast<std::size_t>(kThreads * kPerThread));
    std::set<std::uint32_t> serials;
    std::vector<int> nextPerThread(kThreads, 0);
    bool ordered = true;
    ForEachResult([&](const CRixResult& r) {
        serials.insert(r.serial);
        int& next = nextPerThread[static_cast<std::size_t>(std::stoi(r.detector))];
        ordered = ordered && std::stoi(r.bib) == next;
        ++next;
    });
    EXPECT_EQ(serials.size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_TRUE(ordered) << "each thread's records must keep its own order";
}

}  // namespace
}  // namespace winorvex::test
