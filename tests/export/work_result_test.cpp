#include "export/work_result.h"

#include <atomic>
#include <thread>

#include "export_fixture.h"

namespace winorvex::test {
namespace {

using WorkResultTest = ExportFixture;

TEST_F(WorkResultTest, BibNumberReadsTheLeadingNumberWithoutOverflow) {
    EXPECT_EQ(ParseBibNumber("125"), 125);
    EXPECT_EQ(ParseBibNumber("  12A"), 12);
    EXPECT_EQ(ParseBibNumber("-7"), -7);
    EXPECT_EQ(ParseBibNumber("E2000017"), 0);
    EXPECT_EQ(ParseBibNumber(""), 0);
    EXPECT_EQ(ParseBibNumber("300833B2DDD9014000000000"), 300833);
    EXPECT_EQ(ParseBibNumber("99999999999999999999999"), 2147483647);
    EXPECT_EQ(ParseBibNumber("2147483648"), 2147483647);
    EXPECT_EQ(ParseBibNumber("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseBibNumber("-99999999999999"), -2147483647 - 1);
}

TEST_F(WorkResultTest, CopyTakesActiveResultsInRecordingOrderWithTheFilter) {
    Record("31", "1", "10:00:00.25");
    const CRixResult removed = Record("32", "2", "10:00:01.00");
    Record("32", "3", "10:00:02.00");
    AddResult("31", "4", CChrono(1716000000, 50), CChrono(), true, false);
    SetResultActive(removed.serial, false);

    CWorkResultList all;
    CopyResults(all, "");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].bib, "1");
    EXPECT_EQ(all[0].time, CChrono(36000, 250));
    EXPECT_EQ(all[0].bibNumber, 1);
    EXPECT_EQ(all[1].bib, "3");
    EXPECT_EQ(all[2].timeText, "1716000000.5");
    EXPECT_FALSE(all[2].time.IsSet());
    EXPECT_EQ(all[2].serial, 4u);

    CWorkResultList star;
    CopyResults(star, "*");
    EXPECT_EQ(star.size(), 3u);
    CWorkResultList one;
    CopyResults(one, "31");
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[1].bib, "4");
    // Appended after what the list already held.
    CopyResults(one, "32");
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[2].bib, "3");
}

TEST_F(WorkResultTest, CopyWhileWorkersRecordSeesOneStateOfTheList) {
    for (int i = 0; i < 2000; ++i) Record("31", std::to_string(i), "10:00:00.00");
    std::atomic<bool> stop{false};
    std::thread recorder([&] {
        for (int i = 0; i < 20000 && !stop; ++i) Record("32", "x", "11:00:00.00");
    });
    for (int round = 0; round < 20; ++round) {
        CWorkResultList copy;
        CopyResults(copy, "");
        // Records come in recording order, without a gap, whatever was added meanwhile.
        for (std::size_t i = 1; i < copy.size(); ++i) ASSERT_EQ(copy[i].serial, copy[i - 1].serial + 1);
        ASSERT_GE(copy.size(), 2000u);
    }
    stop = true;
    recorder.join();
}

}  // namespace
}  // namespace winorvex::test
