#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string>

#include "core/local_time.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using DateList = std::array<std::string, 4>;

class RaceDaysTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (scratch_.path() / "WinORVEX.ini").string();
        SetSettingsFilePath(path_);
    }
    void TearDown() override {
        SetTodayOverride(std::nullopt);
        SetSettingsFilePath("");
        Settings().daysToAdd = 0;
    }

    static DateList Dates() {
        return {RaceDayDates().DateText(0), RaceDayDates().DateText(1), RaceDayDates().DateText(2),
                RaceDayDates().DateText(3)};
    }
    static void ComputeOn(int today, int daysToAdd) {
        SetTodayOverride(today);
        Settings().daysToAdd = daysToAdd;
        ComputeRaceDays();
    }

    test::ScratchDir scratch_;
    std::string path_;
};

TEST_F(RaceDaysTest, OffsetFromStartupIsTrackedThroughTheRaceAndFallsBackAfterIt) {
    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nGDaysToAdd=2\n");
    SetTodayOverride(20240310);
    LoadStartupSettings();
    ComputeRaceDays();
    EXPECT_EQ(Dates(), (DateList{"20240308", "20240309", "20240310", "20240311"}));

    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);
    EXPECT_EQ(TrackDayOffset(), 2);
    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "an unchanged offset is not written";

    SetTodayOverride(20240311);
    EXPECT_EQ(TrackDayOffset(), 3);
    EXPECT_EQ(Settings().daysToAdd, 3);
    EXPECT_EQ(ReadSettingInt("Settings", "GDaysToAdd", -1), 3);

    SetTodayOverride(20240312);
    EXPECT_EQ(TrackDayOffset(), 0);
    EXPECT_EQ(ReadSettingInt("Settings", "GDaysToAdd", -1), 0);
    // Tracking never moves the dates themselves.
    EXPECT_EQ(Dates(), (DateList{"20240308", "20240309", "20240310", "20240311"}));
}

TEST_F(RaceDaysTest, DatesRunAcrossMonthYearAndLeapDayEnds) {
    ComputeOn(20241231, 0);
    EXPECT_EQ(Dates(), (DateList{"20241231", "20250101", "20250102", "20250103"}));

    ComputeOn(20250101, 2);
    EXPECT_EQ(Dates(), (DateList{"20241230", "20241231", "20250101", "20250102"}));

    ComputeOn(20240302, 3);
    EXPECT_EQ(Dates(), (DateList{"20240228", "20240229", "20240301", "20240302"}));

    ComputeOn(20230301, 1);
    EXPECT_EQ(Dates(), (DateList{"20230228", "20230301", "20230302", "20230303"}));

    // A daylight-saving change inside the race changes nothing to the dates.
    ComputeOn(20250331, 1);
    EXPECT_EQ(Dates(), (DateList{"20250330", "20250331", "20250401", "20250402"}));
}

TEST_F(RaceDaysTest, NegativeOffsetStartsToday) {
    ComputeOn(20240601, -3);
    EXPECT_EQ(Dates(), (DateList{"20240601", "20240602", "20240603", "20240604"}));
}

TEST_F(RaceDaysTest, IndexOfAndDateTextAnswerOnlyForTheFourDays) {
    ComputeOn(20240518, 1);
    const RaceDays& days = RaceDayDates();
    EXPECT_EQ(days.IndexOf(20240517), 0);
    EXPECT_EQ(days.IndexOf(20240520), 3);
    EXPECT_EQ(days.IndexOf(20240521), -1);
    EXPECT_EQ(days.IndexOf(0), -1);
    EXPECT_EQ(days.DateText(-1), "");
    EXPECT_EQ(days.DateText(4), "");
}

TEST_F(RaceDaysTest, OffsetBeyondTheRaceFallsToZeroAtTheFirstTracking) {
    ComputeOn(20240610, 6);
    EXPECT_EQ(Dates(), (DateList{"20240604", "20240605", "20240606", "20240607"}));
    EXPECT_EQ(TrackDayOffset(), 0);
    EXPECT_EQ(ReadSettingInt("Settings", "GDaysToAdd", -1), 0);
}

}  // namespace
}  // namespace winorvex
