// The bound on log lines about refused input: 20 lines a second per kind, then one summary line.
#include "core/log_flood_limit.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "log_fixture.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;
using Clock = LogFloodLimit::Clock;

class LogFloodLimitTest : public LogFixture {
protected:
    void SetUp() override {
        LogFixture::SetUp();
        SetLanguage(Language::English);
    }

    // Offers `count` lines of a kind at `at`, logging the admitted ones; returns how many were.
    static int Offer(LogFloodLimit& limit, int kind, int count, Clock::time_point at) {
        int admitted = 0;
        for (int i = 0; i < count; ++i) {
            if (limit.Admit(kind, 0, at)) {
                LogF(0, "kind %d line %d", kind, i);
                ++admitted;
            }
        }
        return admitted;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : FileLines()) texts.push_back(TextOf(line));
        return texts;
    }
};

TEST_F(LogFloodLimitTest, TwentyLinesASecondThenOneSummaryWhenTheSecondIsOver) {
    LogFloodLimit limit("Box 1 [50:10000 31]");
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Offer(limit, 0, 500, start), 20);
    EXPECT_EQ(Offer(limit, 0, 30, start + 900ms), 0);
    EXPECT_EQ(limit.HeldBack(), 510);
    // Another kind has its own twenty.
    EXPECT_EQ(Offer(limit, 1, 25, start + 100ms), 20);

    // The first line of the next second writes the summary of the last one first.
    EXPECT_TRUE(limit.Admit(0, 0, start + 1000ms));
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 41u);
    EXPECT_EQ(texts.back(), "+ Box 1 [50:10000 31] : ... 510 more lines like this in the last second");
    EXPECT_EQ(texts[19], "kind 0 line 19");

    // Kind 1's second is over too: Flush tells it without waiting for another line.
    limit.Flush(start + 1200ms);
    texts = Texts();
    ASSERT_EQ(texts.size(), 42u);
    EXPECT_EQ(texts.back(), "+ Box 1 [50:10000 31] : ... 5 more lines like this in the last second");
    limit.Flush(start + 5s);
    EXPECT_EQ(Texts().size(), 42u) << "a second with nothing held back has nothing to tell";
}

TEST_F(LogFloodLimitTest, ASteadyTrickleIsNeverHeldBackAndUnknownKindsPass) {
    LogFloodLimit limit;
    Clock::time_point at = Clock::now();
    for (int second = 0; second < 5; ++second) {
        EXPECT_EQ(Offer(limit, 2, 20, at), 20);
        at += 1s;
    }
    EXPECT_EQ(Offer(limit, LogFloodLimit::kKinds, 100, at), 100);
    EXPECT_EQ(Offer(limit, -1, 5, at), 5);

    SetLanguage(Language::French);
    LogFloodLimit unnamed;
    Offer(unnamed, 0, 21, at);
    unnamed.Flush(at + 1s);
    EXPECT_EQ(Texts().back(), "... 1 lignes de plus comme celle-ci dans la dernière seconde");
}

}  // namespace
}  // namespace winorvex::test
