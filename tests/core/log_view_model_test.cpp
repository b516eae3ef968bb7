#include "core/log_view_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_fixture.h"

namespace winorvex::test {
namespace {

std::vector<LogEntry> Entries(std::size_t from, std::size_t count) {
    std::vector<LogEntry> entries;
    for (std::size_t i = from; i < from + count; ++i)
        entries.push_back({0, "01 mars 2024 - 10:00:00", std::to_string(i)});
    return entries;
}

std::size_t CountOf(const std::vector<std::string>& lines, const std::string& text) {
    std::size_t count = 0;
    for (const auto& line : lines) count += line.ends_with(" : " + text) ? 1 : 0;
    return count;
}

using LogViewModelTest = LogFixture;

TEST_F(LogViewModelTest, LinesJoinStampAndTextAndScrollByOne) {
    LogViewModel model;
    EXPECT_EQ(model.Append(Entries(0, 3)), 0u);
    ASSERT_EQ(model.Size(), 3u);
    EXPECT_EQ(model.Line(0), "01 mars 2024 - 10:00:00 0");
    EXPECT_EQ(model.FirstVisible(), 2u);

    // From where the operator scrolled to, the pane moves on one line per line.
    model.SetFirstVisible(0);
    model.Append(Entries(3, 2));
    EXPECT_EQ(model.FirstVisible(), 2u);
    model.SetFirstVisible(99);
    EXPECT_EQ(model.FirstVisible(), 4u);

    model.Clear();
    EXPECT_EQ(model.Size(), 0u);
    EXPECT_EQ(model.FirstVisible(), 0u);
}

TEST_F(LogViewModelTest, TheLineAfterEightThousandPurgesTheOldestTwoThousand) {
    LogViewModel model;
    EXPECT_EQ(model.Append(Entries(0, LogViewModel::kMaxLines)), 0u);
    EXPECT_EQ(model.Size(), 8000u);
    EXPECT_EQ(CountOf(FileLines(), "Purge Log Window content..."), 0u);

    EXPECT_EQ(model.Append(Entries(8000, 1)), 2000u);
    EXPECT_EQ(model.Size(), 6001u);
    EXPECT_EQ(model.Line(0), "01 mars 2024 - 10:00:00 2000");
    EXPECT_EQ(model.Line(6000), "01 mars 2024 - 10:00:00 8000");
    EXPECT_EQ(model.FirstVisible(), 6000u);
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], ::testing::EndsWith(" : Purge Log Window content..."));
    EXPECT_THAT(lines[1], ::testing::EndsWith(" : Purge Log Window done"));
}

TEST_F(LogViewModelTest, ALargeBatchPurgesAsOftenAsLineByLine) {
    LogViewModel model;
    // Purges after lines 8001, 10001, ... 18001: six of them, leaving 8000 lines.
    EXPECT_EQ(model.Append(Entries(0, 20000)), 12000u);
    EXPECT_EQ(model.Size(), 8000u);
    EXPECT_EQ(model.Line(7999), "01 mars 2024 - 10:00:00 19999");
    const auto lines = FileLines();
    EXPECT_EQ(CountOf(lines, "Purge Log Window content..."), 6u);
    EXPECT_EQ(CountOf(lines, "Purge Log Window done"), 6u);
}

}  // namespace
}  // namespace winorvex::test
