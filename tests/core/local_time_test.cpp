#include "core/local_time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <ctime>
#include <string>
#include <thread>

#include "core/texts.h"

namespace winorvex {
namespace {

class LocalTimeTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetTodayOverride(std::nullopt);
        SetLanguage(savedLanguage_);
    }

private:
    Language savedLanguage_ = CurrentLanguage();
};

bool IsClockText(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
    for (int i : {0, 1, 3, 4, 6, 7}) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return std::stoi(text.substr(0, 2)) < 24 && std::stoi(text.substr(3, 2)) < 60 && std::stoi(text.substr(6, 2)) < 61;
}

TEST_F(LocalTimeTest, PinnedDatesAcrossMonthAndYearEnds) {
    SetTodayOverride(20241231);
    EXPECT_EQ(TodayText(), "20241231");
    EXPECT_EQ(DateInDaysText(0), "20241231");
    EXPECT_EQ(DateInDaysText(1), "20250101");
    EXPECT_EQ(DateInDaysText(3), "20250103");
    EXPECT_EQ(DateInDaysText(-1), "20241230");
    EXPECT_EQ(DateInDaysText(-366), "20231231");

    SetTodayOverride(20240228);  // leap year
    EXPECT_EQ(DateInDaysText(1), "20240229");
    EXPECT_EQ(DateInDaysText(2), "20240301");
    SetTodayOverride(20230228);
    EXPECT_EQ(DateInDaysText(1), "20230301");
    SetTodayOverride(20240301);
    EXPECT_EQ(DateInDaysText(-1), "20240229");
    SetTodayOverride(20240430);
    EXPECT_EQ(DateInDaysText(1), "20240501");

    // The days around a daylight-saving change are neither skipped nor repeated.
    SetTodayOverride(20240330);
    EXPECT_EQ(DateInDaysText(1), "20240331");
    EXPECT_EQ(DateInDaysText(2), "20240401");
    SetTodayOverride(20241027);
    EXPECT_EQ(DateInDaysText(-1), "20241026");
    EXPECT_EQ(DateInDaysText(1), "20241028");
}

TEST_F(LocalTimeTest, PinAcceptsDatesOnlyAndCanBeReleased) {
    EXPECT_FALSE(TodayOverride().has_value());
    SetTodayOverride(20240310);
    EXPECT_EQ(TodayOverride(), 20240310);
    SetTodayOverride(20240230);  // counts on into March
    EXPECT_EQ(TodayOverride(), 20240301);
    EXPECT_EQ(TodayText(), "20240301");
    SetTodayOverride(20241301);
    EXPECT_FALSE(TodayOverride().has_value());
    SetTodayOverride(20240310);
    SetTodayOverride(std::nullopt);
    EXPECT_FALSE(TodayOverride().has_value());
}

TEST_F(LocalTimeTest, LocalNowCarriesThePinnedDateWithItsWeekday) {
    SetTodayOverride(20241231);
    const std::tm now = LocalNow();
    EXPECT_EQ(now.tm_year, 124);
    EXPECT_EQ(now.tm_mon, 11);
    EXPECT_EQ(now.tm_mday, 31);
    EXPECT_EQ(now.tm_wday, 2);  // a Tuesday
    EXPECT_EQ(now.tm_yday, 365);
    SetTodayOverride(20240101);
    EXPECT_EQ(LocalNow().tm_wday, 1);
    EXPECT_EQ(LocalNow().tm_yday, 0);
}

TEST_F(LocalTimeTest, LongTextUsesTheStationLanguage) {
    SetTodayOverride(20261209);
    SetLanguage(Language::French);
    std::string text = NowLongText();
    ASSERT_EQ(text.rfind("09 décembre 2026 - ", 0), 0u) << text;
    EXPECT_TRUE(IsClockText(text.substr(text.size() - 8))) << text;

    SetLanguage(Language::English);
    text = NowLongText();
    ASSERT_EQ(text.rfind("09 December 2026 - ", 0), 0u) << text;
    EXPECT_TRUE(IsClockText(text.substr(text.size() - 8))) << text;

    SetLanguage(Language::French);
    SetTodayOverride(20240815);
    EXPECT_EQ(NowLongText().rfind("15 août 2024 - ", 0), 0u);
    SetTodayOverride(20240201);
    EXPECT_EQ(NowLongText().rfind("01 février 2024 - ", 0), 0u);
}

TEST_F(LocalTimeTest, UnpinnedTextsFollowTheSystemClock) {
    // Read twice around the call so that a midnight in between cannot make the test fail.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const std::string today = TodayText();
        const std::string clock = NowTimeText();
        const std::string inDays = DateInDaysText(0);
        const std::time_t after = std::time(nullptr);
        std::tm a{};
        std::tm b{};
        localtime_r(&before, &a);
        localtime_r(&after, &b);
        if (a.tm_mday != b.tm_mday || a.tm_min != b.tm_min) continue;
        char expectedDay[16];
        std::strftime(expectedDay, sizeof expectedDay, "%Y%m%d", &a);
        EXPECT_EQ(today, expectedDay);
        EXPECT_EQ(inDays, expectedDay);
        ASSERT_EQ(clock.size(), 6u);
        EXPECT_EQ(std::stoi(clock.substr(0, 2)), a.tm_hour);
        EXPECT_EQ(std::stoi(clock.substr(2, 2)), a.tm_min);
        return;
    }
    FAIL() << "the clock kept crossing minutes";
}

TEST_F(LocalTimeTest, PinIsSafeToChangeWhileOtherThreadsRead) {
    SetTodayOverride(20241231);
    std::atomic<bool> stop{false};
    std::atomic<int> odd{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const std::string today = TodayText();
            if (today != "20240101" && today != "20241231") ++odd;
        }
    });
    for (int i = 0; i < 2000; ++i) SetTodayOverride(i % 2 ? 20240101 : 20241231);
    stop = true;
    reader.join();
    EXPECT_EQ(odd.load(), 0);
}

}  // namespace
}  // namespace winorvex
