// Runs under TZ=Europe/Paris, America/New_York and UTC; expectations that depend on the zone say so.
#include "core/chrono.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/local_calendar.h"
#include "core/local_time.h"
#include "core/text_format.h"

// Counts this thread's C++ allocations, to hold the per-read path to none.
namespace {
thread_local long t_allocations = 0;
}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // malloc/free are this pair's own blocks
#endif
void* operator new(std::size_t size) {
    ++t_allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace winorvex {
namespace {

std::string Zone() {
    const char* tz = std::getenv("TZ");
    return tz ? tz : "";
}

// Daylight-saving changes of 2024 in the zones the tests run under; none in UTC.
struct DstDays {
    const char* spring;  // the local day that loses an hour
    int skippedHour;
    const char* autumn;  // the local day that repeats an hour
};

const DstDays* ZoneDst() {
    static const DstDays paris{"20240331", 2, "20241027"};
    static const DstDays newYork{"20240310", 2, "20241103"};
    if (Zone() == "Europe/Paris") return &paris;
    if (Zone() == "America/New_York") return &newYork;
    return nullptr;
}

CChrono Stamp(const std::string& date, const std::string& time, int hundredths = 0) {
    CChrono value;
    EXPECT_TRUE(value.SetFromReaderStamp(date, time, hundredths)) << date << " " << time;
    return value;
}

CChrono Clock(const std::string& text) {
    CChrono value;
    EXPECT_TRUE(value.ParseClock(text)) << text;
    return value;
}

class ChronoPinnedToday : public ::testing::Test {
protected:
    void TearDown() override { SetTodayOverride(std::nullopt); }
};

TEST(ChronoParseClock, AcceptedForms) {
    struct Case {
        const char* text;
        std::int32_t seconds;
        std::uint16_t ms;
    };
    const Case cases[] = {
        {"7:5:3", 25503, 0},
        {"07:05:03.7", 25503, 70},  // hundredths whatever their digit count
        {"10:00:00.50", 36000, 500},
        {"10:00:00.005", 36000, 50},
        {"10.00.00.25", 36000, 250},
        {"10.00.00", 36000, 0},
        {" 1: 2:\t3", 3723, 0},           // blanks before numbers
        {"10:00:00 and more", 36000, 0},  // text after the last number
        {"10:00:00.5xyz", 36000, 50},
        {"10:00:00:99", 36000, 0},  // not the 4-number form: the 3-number one reads it
        {"10.00.00:99", 36000, 0},
        {"26:75:61", 26 * 3600 + 75 * 60 + 61, 0},  // no range check
        {"+1:-1:0", 3540, 0},
        {"48:0:0.0", 172800, 0},  // how a race-day offset is built
        {"0:0:0.6553", 0, 65530},
    };
    for (const Case& c : cases) {
        const CChrono value = Clock(c.text);
        EXPECT_EQ(value.Seconds(), c.seconds) << c.text;
        EXPECT_EQ(value.Milliseconds(), c.ms) << c.text;
    }
}

TEST(ChronoParseClock, RejectedTextLeavesValueUnchanged) {
    const char* rejected[] = {"07:05", "", "abc", "10 :00:00", "1-2-3", "- 5:0:0", "10:00.00",
                              // would not fit the fields rather than wrap into another time
                              "10:00:00.-5", "0:0:0.6554", "99999999999:0:0", "600000:0:0",
                              "99999999999999999999999:0:0"};
    for (const char* text : rejected) {
        CChrono value(1234, 560);
        EXPECT_FALSE(value.ParseClock(text)) << text;
        EXPECT_EQ(value, CChrono(1234, 560)) << text;
    }
}

TEST(ChronoParseSecondsHundredths, ReadsResultsProgramTimes) {
    CChrono value;
    ASSERT_TRUE(value.ParseSecondsHundredths("1716000000:5"));
    EXPECT_EQ(value, CChrono(1716000000, 50));
    ASSERT_TRUE(value.ParseSecondsHundredths(" 42.05)"));
    EXPECT_EQ(value, CChrono(42, 50));
    // Only the first 63 characters count: here the hundredths fall outside them.
    ASSERT_TRUE(value.ParseSecondsHundredths(std::string(58, ' ') + "12.5"));
    EXPECT_EQ(value, CChrono(12, 50));
    EXPECT_FALSE(value.ParseSecondsHundredths(std::string(60, ' ') + "12.5"));

    for (const char* text : {"12", "x.5", "12,5", "12.", "3000000000.5", "12.-1"}) {
        EXPECT_FALSE(value.ParseSecondsHundredths(text)) << text;
        EXPECT_EQ(value, CChrono(12, 50)) << text;
    }
}

TEST(ChronoReaderStamp, BuildsTheLocalInstant) {
    const CChrono value = Stamp("20240518", "101502", 37);
    // 2024-05-18 10:15:02 local; summer time in both zones that have one.
    const std::int32_t utc = 1716027302;
    const std::int32_t expected = Zone() == "Europe/Paris"       ? utc - 2 * 3600
                                  : Zone() == "America/New_York" ? utc + 4 * 3600
                                                                 : utc;
    EXPECT_EQ(value.Seconds(), expected);
    EXPECT_EQ(value.Milliseconds(), 370);
    EXPECT_EQ(value.FormatAbsClockHundredths(), "10:15:02.37");

    // Day 30 of February rolls over; three numbers are read from "120000" and "12000" alike.
    EXPECT_EQ(Stamp("20240230", "120000").FormatDateLong(), "Ven 01 Mars 2024");
    EXPECT_EQ(Stamp("20240230", "12000"), Stamp("20240301", "120000"));
    // Hexadecimal hundredths from a reader may exceed 99; they are kept unreduced.
    EXPECT_EQ(Stamp("20240518", "101502", 255).Milliseconds(), 2550);
}

TEST(ChronoReaderStamp, RejectsOutOfRangeFields) {
    const std::pair<const char*, const char*> rejected[] = {
        {"20241318", "101502"}, {"18990518", "101502"}, {"20240018", "101502"}, {"20240500", "101502"},
        {"20240532", "101502"}, {"20240518", "241502"}, {"20240518", "106002"}, {"20240518", "101560"},
        {"202405", "101502"},   {"20240518", "1015"},   {"2024O518", "101502"}, {"20240518", "-10000"},
        {"99991231", "235959"},  // past what 32-bit seconds can name
    };
    for (const auto& [date, time] : rejected) {
        CChrono value(77, 10);
        EXPECT_FALSE(value.SetFromReaderStamp(date, time, 0)) << date << " " << time;
        EXPECT_EQ(value, CChrono(77, 10));
    }
    CChrono value(77, 10);
    EXPECT_FALSE(value.SetFromReaderStamp("20240518", "101502", -1));
    EXPECT_FALSE(value.SetFromReaderStamp("20240518", "101502", 6554));
    EXPECT_EQ(value, CChrono(77, 10));
}

TEST(ChronoReaderStamp, LocalDaysFollowDaylightSaving) {
    const DstDays* dst = ZoneDst();
    const char* spring = dst ? dst->spring : "20240331";
    const char* autumn = dst ? dst->autumn : "20241027";
    auto dayLength = [](const char* day) {
        const int number = std::atoi(day);
        const CivilDate next = CivilFromDays(DaysFromCivil(number / 10000, number / 100 % 100, number % 100) + 1);
        const std::string following = Format("%04d%02d%02d", next.year, next.month, next.day);
        return Stamp(following.c_str(), "000000").Seconds() - Stamp(day, "000000").Seconds();
    };
    EXPECT_EQ(dayLength(spring), dst ? 23 * 3600 : 24 * 3600);
    EXPECT_EQ(dayLength(autumn), dst ? 25 * 3600 : 24 * 3600);
    if (dst) {
        const std::string before = Format("%02d5959", dst->skippedHour - 1);
        const std::string after = Format("%02d0000", dst->skippedHour + 1);
        EXPECT_EQ(Stamp(dst->spring, after.c_str()).Seconds() - Stamp(dst->spring, before.c_str()).Seconds(), 1);
    }
}

// Walks instants over three days around `day`, reading each one's local wall clock back: a unique
// wall clock gives the very instant, a repeated one an instant that shows the same wall clock.
// Consecutive reads stay within the same hour a few times over, as a reader's do.
void ExpectWallClocksReadBack(const char* day) {
    const std::int64_t from = Stamp(day, "000000").Seconds() - 86400;
    for (std::int64_t t = from; t < from + 3 * 86400; t += 7 * 60 + 13) {
        const auto instant = static_cast<std::time_t>(t);
        std::tm local{};
        localtime_r(&instant, &local);
        const std::string date = Format("%04d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        const std::string time = Format("%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
        CChrono value;
        ASSERT_TRUE(value.SetFromReaderStamp(date, time, 0)) << date << " " << time;
        const auto back = static_cast<std::time_t>(value.Seconds());
        std::tm shown{};
        localtime_r(&back, &shown);
        ASSERT_EQ(std::make_tuple(shown.tm_mday, shown.tm_hour, shown.tm_min, shown.tm_sec),
                  std::make_tuple(local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec))
            << date << " " << time;
        auto sameWallClock = [&](std::time_t u) {
            std::tm other{};
            localtime_r(&u, &other);
            return other.tm_hour == local.tm_hour && other.tm_min == local.tm_min && other.tm_mday == local.tm_mday;
        };
        const bool repeated = sameWallClock(instant - 3600) || sameWallClock(instant + 3600) ||
                              sameWallClock(instant - 1800) || sameWallClock(instant + 1800);
        if (!repeated) {
            ASSERT_EQ(value.Seconds(), t) << date << " " << time;
        }
    }
}

// Sets TZ for the life of the object and puts the previous one back.
class ZoneSwitch {
public:
    explicit ZoneSwitch(const char* zone) {
        if (const char* current = std::getenv("TZ")) saved_ = current;
        ::setenv("TZ", zone, 1);
        ForgetLocalTimeShortcuts();
    }
    ~ZoneSwitch() {
        if (saved_) {
            ::setenv("TZ", saved_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ForgetLocalTimeShortcuts();
    }
    ZoneSwitch(const ZoneSwitch&) = delete;
    ZoneSwitch& operator=(const ZoneSwitch&) = delete;

private:
    std::optional<std::string> saved_;
};

TEST(ChronoReaderStamp, WallClockReadsBackToItsInstantAroundChanges) {
    const DstDays* dst = ZoneDst();
    ExpectWallClocksReadBack(dst ? dst->spring : "20240331");
    ExpectWallClocksReadBack(dst ? dst->autumn : "20241027");
}

TEST(ChronoReaderStamp, ZoneWithHalfHourShiftAndRunTimeChange) {
    const CChrono before = Stamp("20240518", "101502");
    {
        // Same date and hour as just read: nothing remembered from the previous zone may serve.
        const ZoneSwitch tokyo("Asia/Tokyo");
        EXPECT_EQ(Stamp("20240518", "101502").Seconds(), 1716027302 - 9 * 3600);
    }
    {
        // Shifts by 30 minutes at 02:00: an hour's start is no base for its later minutes there.
        const ZoneSwitch lordHowe("Australia/Lord_Howe");
        ExpectWallClocksReadBack("20241006");
        ExpectWallClocksReadBack("20240407");
    }
    EXPECT_EQ(Stamp("20240518", "101502"), before);
}

TEST(ChronoReaderStamp, ThreadsConvertIndependently) {
    const CChrono expectedA = Stamp("20240518", "101502");
    const CChrono expectedB = Stamp("20241225", "235959");
    auto work = [](const char* date, const char* time, CChrono expected, int& mismatches) {
        for (int i = 0; i < 2000; ++i) {
            CChrono value;
            if (!value.SetFromReaderStamp(date, time, 0) || !(value == expected)) ++mismatches;
        }
    };
    int mismatchesA = 0;
    int mismatchesB = 0;
    std::thread a(work, "20240518", "101502", expectedA, std::ref(mismatchesA));
    std::thread b(work, "20241225", "235959", expectedB, std::ref(mismatchesB));
    a.join();
    b.join();
    EXPECT_EQ(mismatchesA, 0);
    EXPECT_EQ(mismatchesB, 0);
}

TEST(ChronoReaderTime, ReadsTimeOfDayWithoutRangeCheck) {
    CChrono value;
    ASSERT_TRUE(value.SetFromReaderTime("120000", 5));
    EXPECT_EQ(value, CChrono(43200, 50));
    ASSERT_TRUE(value.SetFromReaderTime("995959", 0));
    EXPECT_EQ(value.Seconds(), 99 * 3600 + 59 * 60 + 59);
    EXPECT_FALSE(value.SetFromReaderTime("1200", 0));
    EXPECT_FALSE(value.SetFromReaderTime("120000", -3));
    EXPECT_EQ(value.Seconds(), 99 * 3600 + 59 * 60 + 59);
}

TEST(ChronoArithmetic, DifferenceAndSumCarry) {
    EXPECT_EQ(Clock("10:00:00.02") - Clock("9:59:59.99"), CChrono(0, 30));
    EXPECT_EQ(CChrono(0, 990) + CChrono(0, 20), CChrono(1, 10));
    EXPECT_EQ(CChrono(10, 0) - CChrono(20, 500), CChrono(-11, 500));
    EXPECT_EQ(CChrono(5, 400) - CChrono(2, 400), CChrono(3, 0));
    // A single carry keeps an unreduced count unreduced...
    EXPECT_EQ(CChrono(0, 1500) + CChrono(0, 600), CChrono(1, 1100));
    // ...while a borrow takes as many seconds as the millisecond field needs, never wrapping it.
    EXPECT_EQ(CChrono(5, 0) - CChrono(0, 1500), CChrono(3, 500));
    EXPECT_EQ(CChrono(0, 65000) + CChrono(0, 65000), CChrono(65, 65000));
}

TEST(ChronoOrdering, UnsetSortsLastAndFieldsCompareSecondsFirst) {
    const CChrono unset;
    const CChrono early(10, 500);
    const CChrono late(11, 0);
    EXPECT_TRUE(early < unset && early <= unset && unset > early && unset >= early);
    EXPECT_FALSE(unset < early || unset <= early || early > unset || early >= unset);
    EXPECT_TRUE(early < late && early <= late && late > early && late >= early);
    EXPECT_FALSE(late < early || early > late);
    EXPECT_TRUE(unset == CChrono() && unset <= CChrono() && unset >= CChrono());
    EXPECT_FALSE(unset < CChrono() || unset > CChrono());
    EXPECT_TRUE(CChrono(0, 1500) < CChrono(1, 0));  // unreduced milliseconds never outweigh a second
    EXPECT_TRUE(CChrono(0, 10) < CChrono(0, 20) && CChrono(0, 20) >= CChrono(0, 20));

    std::vector<CChrono> times{unset, late, Clock("00:00:00.00"), early, CChrono(0, 10)};
    std::sort(times.begin(), times.end());
    EXPECT_EQ(times, (std::vector<CChrono>{CChrono(0, 10), early, late, unset, unset}));
}

TEST(ChronoText, DailyForms) {
    EXPECT_FALSE(Clock("00:00:00.00").IsSet());
    EXPECT_EQ(CChrono().FormatDailyHundredths(), "00:00:00.00");
    EXPECT_EQ(Clock("26:05:00.30").FormatDailyHundredths(), "26:05:00.30");
    EXPECT_EQ(CChrono(0, 1500).FormatDailyHundredths(), "00:00:00.150");
    EXPECT_EQ(Clock("10:00:00.99").FormatDailyTruncated(), "10:00:00");

    EXPECT_EQ(Clock("10:00:00.01").FormatDailyRoundedUp(), "10:00:01");
    EXPECT_EQ(Clock("09:59:59.50").FormatDailyRoundedUp(), "10:00:00");
    EXPECT_EQ(Clock("23:59:59.50").FormatDailyRoundedUp(), "24:00:00");
    EXPECT_EQ(CChrono().FormatDailyRoundedUp(), "00:00:00");

    EXPECT_EQ(Clock("26:05:00.00").FormatDailyWithDays(), "+24h 02:05:00");
    EXPECT_EQ(Clock("23:59:59.50").FormatDailyWithDays(), "+24h 00:00:00");
    EXPECT_EQ(Clock("49:00:00").FormatDailyWithDays(), "+48h 01:00:00");
    EXPECT_EQ(Clock("23:59:58.10").FormatDailyWithDays(), "23:59:59");

    EXPECT_EQ(Clock("09:05:00.00").FormatDailyCompact(), "90500");
    EXPECT_EQ(Clock("00:01:05").FormatDailyCompact(), "105");
    EXPECT_EQ(Clock("10:00:00").FormatDailyCompact(), "100000");
    EXPECT_EQ(Clock("00:00:00.01").FormatDailyCompact(), "1");
    EXPECT_EQ(CChrono().FormatDailyCompact(), "");
}

TEST(ChronoText, DailyHundredthsIntoBufferMatchesPrintf) {
    const CChrono values[] = {
        CChrono(),         CChrono(90610, 50),         CChrono(359999, 990),       CChrono(-11, 500),
        CChrono(-3725, 0), CChrono(2147483647, 65535), CChrono(-2147483647 - 1, 0)};
    for (const CChrono& value : values) {
        const long s = value.Seconds();
        char expected[64];
        std::snprintf(expected, sizeof expected, "%02ld:%02ld:%02ld.%02d", s / 3600, (s % 3600) / 60, s % 60,
                      value.Milliseconds() / 10);
        char buffer[24];
        const std::size_t length = value.FormatDailyHundredthsTo(buffer, sizeof buffer);
        EXPECT_STREQ(buffer, expected);
        EXPECT_EQ(length, std::string(expected).size());
    }
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(CChrono(93900, 0).FormatDailyHundredthsTo(small, sizeof small), 4u);
    EXPECT_STREQ(small, "26:0");
    EXPECT_EQ(CChrono(93900, 0).FormatDailyHundredthsTo(small, 0), 0u);
    EXPECT_EQ(small[0], '2');
}

TEST(ChronoText, AbsoluteFormsUseFrenchNames) {
    EXPECT_EQ(Stamp("20240518", "101502", 37).FormatDateLong(), "Sam 18 Mai 2024");
    EXPECT_EQ(Stamp("20240518", "101502", 37).FormatDateShort(), "18/05/2024");
    EXPECT_EQ(Stamp("20240518", "101502", 37).FormatAbsClock(), "10:15:02");
    EXPECT_EQ(Stamp("20240203", "000001").FormatDateLong(), "Sam 03 Février 2024");
    EXPECT_EQ(Stamp("20240815", "120000").FormatDateLong(), "Jeu 15 Août 2024");
    EXPECT_EQ(Stamp("20241229", "235959").FormatDateLong(), "Dim 29 Décembre 2024");
    EXPECT_EQ(Stamp("20240101", "000000").FormatDateShort(), "01/01/2024");

    // Unset: the clock forms print zeros, the date forms the local date of the epoch.
    EXPECT_EQ(CChrono().FormatAbsClock(), "00:00:00");
    EXPECT_EQ(CChrono().FormatAbsClockHundredths(), "00:00:00.00");
    const bool newYork = Zone() == "America/New_York";
    EXPECT_EQ(CChrono().FormatDateLong(), newYork ? "Mer 31 Décembre 1969" : "Jeu 01 Janvier 1970");
    EXPECT_EQ(CChrono().FormatDateShort(), newYork ? "31/12/1969" : "01/01/1970");
    const char* epochClock = newYork ? "19:00:00.50" : Zone() == "Europe/Paris" ? "01:00:00.50" : "00:00:00.50";
    EXPECT_EQ(CChrono(0, 500).FormatAbsClockHundredths(), epochClock);
}

TEST_F(ChronoPinnedToday, DailyToAbsReadsTodaysWallClock) {
    SetTodayOverride(20240518);
    CChrono value = Clock("10:15:02.37");
    value.DailyToAbs();
    EXPECT_EQ(value, Stamp("20240518", "101502", 37));
    value.AbsToDaily();
    EXPECT_EQ(value, Clock("10:15:02.37"));

    value = Clock("25:30:00");  // a later race day
    value.DailyToAbs();
    EXPECT_EQ(value, Stamp("20240519", "013000"));
}

TEST_F(ChronoPinnedToday, DailyToAbsAcrossDaylightSavingChanges) {
    const DstDays* dst = ZoneDst();
    const char* spring = dst ? dst->spring : "20240331";
    const char* autumn = dst ? dst->autumn : "20241027";
    for (const char* day : {spring, autumn}) {
        SetTodayOverride(std::atoi(day));
        // Before and after the change, outside the skipped or repeated hour of either zone.
        for (const char* time : {"003000", "033000", "120000", "233000"}) {
            const std::string clock = Format("%.2s:%.2s:%.2s.10", time, time + 2, time + 4);
            CChrono value = Clock(clock.c_str());
            value.DailyToAbs();
            EXPECT_EQ(value, Stamp(day, time, 10)) << day << " " << clock;
            value.AbsToDaily();
            EXPECT_EQ(value, Clock(clock)) << day << " " << clock;
        }
    }
}

TEST(ChronoPerReadPath, ParsesAndFormatsWithoutAllocating) {
    CChrono warmUp;
    ASSERT_TRUE(warmUp.SetFromReaderStamp("20240518", "101502", 37));  // the zone is loaded once
    const long before = t_allocations;
    int accepted = 0;
    char buffer[24];
    for (int i = 0; i < 50; ++i) {
        CChrono absolute;
        CChrono daily;
        CChrono other;
        accepted += absolute.SetFromReaderStamp("20240518", "101502", 37);
        accepted += daily.SetFromReaderTime("101502", 37);
        accepted += other.ParseClock("48:0:0.0");
        accepted += other.ParseSecondsHundredths("1716000000.5");
        daily.FormatDailyHundredthsTo(buffer, sizeof buffer);
    }
    EXPECT_EQ(t_allocations - before, 0);
    EXPECT_EQ(accepted, 200);
    EXPECT_STREQ(buffer, "10:15:02.37");
}

TEST(ChronoClock, NowReadings) {
    EXPECT_FALSE(CChrono(CChrono::kUnset).IsSet());
    const std::time_t before = std::time(nullptr);
    const CChrono abs(CChrono::kNowAbs);
    const std::time_t after = std::time(nullptr);
    EXPECT_GE(abs.Seconds(), static_cast<std::int32_t>(before));
    // time() reads the coarse clock, which may trail the precise one by a tick.
    EXPECT_LE(abs.Seconds(), static_cast<std::int32_t>(after) + 1);
    EXPECT_LT(abs.Milliseconds(), 1000);

    const CChrono daily(CChrono::kNowDaily);
    EXPECT_GE(daily.Seconds(), 0);
    EXPECT_LT(daily.Seconds(), 86400);
    EXPECT_LT(daily.Milliseconds(), 1000);
    CChrono converted = abs;
    converted.AbsToDaily();
    // Both taken within the same moment, unless midnight passed in between.
    const std::int32_t gap = daily.Seconds() - converted.Seconds();
    EXPECT_TRUE((gap >= 0 && gap <= 2) || gap < -86000) << gap;
}

}  // namespace
}  // namespace winorvex
