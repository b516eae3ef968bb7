#include "results_link/results_pane.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log_fixture.h"

namespace winorvex {
namespace {

using ResultsPaneTest = test::LogFixture;

CSummaryItem Item(int bib) {
    CSummaryItem item;
    item.name = "Runner " + std::to_string(bib);
    item.bib = bib;
    return item;
}

TEST_F(ResultsPaneTest, PurgesTheOldestItemsPastTheLimit) {
    ResultsPaneModel pane;
    for (int bib = 1; bib <= 8000; ++bib) ASSERT_EQ(pane.Append(Item(bib)), 0u);
    EXPECT_EQ(pane.Size(), 8000u);
    EXPECT_EQ(FileText().find("Purge Summary"), std::string::npos);

    EXPECT_EQ(pane.Append(Item(8001)), 2000u);
    ASSERT_EQ(pane.Size(), 6001u);
    EXPECT_EQ(pane.Item(0).bib, 2001);
    EXPECT_EQ(pane.Item(pane.Size() - 1).bib, 8001);
    const auto lines = FileLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(TextOf(lines[lines.size() - 2]), "Purge Summary Window content...");
    EXPECT_EQ(TextOf(lines.back()), "Purge Summary Window done");
}

TEST_F(ResultsPaneTest, FirstVisibleLineFollowsTheNewItems) {
    ResultsPaneModel pane;
    pane.SetVisibleLines(3);
    for (int bib = 1; bib <= 3; ++bib) pane.Append(Item(bib));
    EXPECT_EQ(pane.TopLine(), 0u);  // everything fits
    pane.Append(Item(4));
    pane.Append(Item(5));
    EXPECT_EQ(pane.TopLine(), 2u);
    pane.SetTopLine(100);
    EXPECT_EQ(pane.TopLine(), 2u);
    pane.Clear();
    EXPECT_EQ(pane.Size(), 0u);
    EXPECT_EQ(pane.TopLine(), 0u);
}

TEST(SpeechChooser, NeverSaysTheSameNameTwiceInARow) {
    SpeechChooser speech;
    EXPECT_EQ(speech.Choose("Marie  DUPONT", true), "Marie  DUPONT");
    EXPECT_EQ(speech.Choose("Marie  DUPONT", true), "");
    EXPECT_EQ(speech.Choose("Luc  MARTIN", true), "Luc  MARTIN");
    EXPECT_EQ(speech.Choose("Marie  DUPONT", true), "Marie  DUPONT");
    EXPECT_EQ(speech.Choose("", true), "");
    // Not said while speech is off: the name is still new when it comes back on.
    EXPECT_EQ(speech.Choose("Anne  PETIT", false), "");
    EXPECT_EQ(speech.LastSpoken(), "Marie  DUPONT");
    EXPECT_EQ(speech.Choose("Anne  PETIT", true), "Anne  PETIT");
    // A cleared pane forgets the last name: the same runner is said again.
    speech.Forget();
    EXPECT_EQ(speech.Choose("Anne  PETIT", true), "Anne  PETIT");
}

}  // namespace
}  // namespace winorvex
