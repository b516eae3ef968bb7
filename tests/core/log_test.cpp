#include "core/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/log_window_queue.h"
#include "log_fixture.h"

namespace winorvex::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

std::vector<std::string> WindowTexts() {
    std::vector<std::string> texts;
    for (const LogEntry& entry : DrainLogWindowQueue()) texts.push_back(entry.text);
    return texts;
}

using LogTest = LogFixture;

TEST_F(LogTest, EachSinkTakesTheLinesItsLevelAdmits) {
    Log(50, "fifty");
    Log(60, "sixty");
    Log(80, "eighty");
    EXPECT_THAT(WindowTexts(), ElementsAre("fifty"));
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(TextOf(lines[0]), "fifty");
    EXPECT_EQ(TextOf(lines[1]), "sixty");

    EXPECT_TRUE(LogWanted(75));
    EXPECT_FALSE(LogWanted(76));
    SetLogWindowLevel(100);
    EXPECT_TRUE(LogWanted(100));
    Log(90, "ninety");
    EXPECT_THAT(WindowTexts(), ElementsAre("ninety"));
    EXPECT_EQ(FileLines().size(), 2u);

    // Without a window nor a file nobody wants anything, not even level 0.
    SetLogWindowAttached(false);
    SetLogFilePath("");
    EXPECT_FALSE(LogWanted(0));
}

TEST_F(LogTest, LineEndsAreShownAndWrittenVisibly) {
    EXPECT_EQ(LogDisplayForm("a\r\nb\n"), "a<CR><LF>b<LF>");
    Log(0, "#R1\r\n");
    EXPECT_THAT(WindowTexts(), ElementsAre("#R1<CR><LF>"));
    EXPECT_THAT(FileLines(), ElementsAre(HasSubstr(" : #R1<CR><LF>")));
}

TEST_F(LogTest, PercentSignsReachBothSinksUnchanged) {
    Log(0, "Clearing 100%");
    LogF(0, "%d%% done %s", 50, "%s");
    LogToFile("%s", "raw %d");
    EXPECT_THAT(WindowTexts(), ElementsAre("Clearing 100%", "50% done %s"));
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(TextOf(lines[0]), "Clearing 100%");
    EXPECT_EQ(TextOf(lines[1]), "50% done %s");
    EXPECT_EQ(TextOf(lines[2]), "raw %d");
}

TEST_F(LogTest, FileLinesCarryTheStampExceptALoneLineFeed) {
    LogToFile("\n");
    LogToFileText("\n");
    LogToFile("+++ start");
    const std::string text = FileText();
    ASSERT_EQ(text.substr(0, 2), "\n\n");
    EXPECT_THAT(text.substr(2),
                MatchesRegex("[0-9][0-9] [^ ]+ [0-9]+ - [0-9][0-9]:[0-9][0-9]:[0-9][0-9] : \\+\\+\\+ start\n"));
    // LogToFile ignores the levels.
    SetLogFileLevel(-1);
    LogToFileText("always");
    EXPECT_THAT(FileLines().back(), HasSubstr(" : always"));
}

TEST_F(LogTest, TimeStampNamesTheMonthInTheStationLanguage) {
    static const char* const kFrench[] = {"janvier", "février", "mars",      "avril",   "mai",      "juin",
                                          "juillet", "août",    "septembre", "octobre", "novembre", "décembre"};
    for (const Language language : {Language::French, Language::English}) {
        SetLanguage(language);
        // Taken again when the second turned while stamping, so that both sides see the same time.
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::time_t before = std::time(nullptr);
            const std::string stamp = LogTimeStamp();
            if (std::time(nullptr) != before) continue;
            std::tm local{};
            localtime_r(&before, &local);
            char english[64];
            std::strftime(english, sizeof english, "%d %B %Y - %H:%M:%S", &local);  // "C" locale: English names
            char french[64];
            std::snprintf(french, sizeof french, "%02d %s %d - %02d:%02d:%02d", local.tm_mday, kFrench[local.tm_mon],
                          local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
            EXPECT_EQ(stamp, language == Language::English ? english : french);
            break;
        }
    }
}

TEST_F(LogTest, OverlongTextsAreCutAtTheWorkingLimit) {
    const std::string longText(3000, 'x');
    Log(0, longText);
    LogF(0, "%s", longText.c_str());
    LogReceived(longText);
    LogToFileText(longText);
    SetLogWindowLevel(60);
    auto window = WindowTexts();
    ASSERT_EQ(window.size(), 2u);
    EXPECT_EQ(window[0], longText.substr(0, kLogWorkingLimit));
    EXPECT_EQ(window[1], window[0]);
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(TextOf(lines[0]), longText.substr(0, kLogWorkingLimit));
    EXPECT_EQ(TextOf(lines[1]), longText.substr(0, kLogWorkingLimit));
    EXPECT_EQ(TextOf(lines[2]), ">>> " + longText.substr(0, kLogWorkingLimit - 4));
    EXPECT_EQ(TextOf(lines[3]), longText.substr(0, kLogWorkingLimit));

    // Expanded line ends are cut after the expansion, never inside a "<LF>".
    Log(0, std::string(600, '\n'));
    window = WindowTexts();
    ASSERT_EQ(window.size(), 1u);
    EXPECT_EQ(window[0].size(), (kLogWorkingLimit / 4) * 4);
    EXPECT_EQ(window[0].substr(window[0].size() - 4), "<LF>");

    // Two-byte characters are never split: 1023 is odd, so one byte is left out.
    std::string accents;
    for (int i = 0; i < 700; ++i) accents += "é";
    Log(0, accents);
    LogF(0, "%s", accents.c_str());
    window = WindowTexts();
    ASSERT_EQ(window.size(), 2u);
    EXPECT_EQ(window[0], accents.substr(0, kLogWorkingLimit - 1));
    EXPECT_EQ(window[1], window[0]);
}

TEST_F(LogTest, TraceNeedsAWindowAndReceivedLinesAreMarked) {
    Trace("Orvex", 0, "box %d ready", 1);
    LogReceived("OK;12;Dupont\r\n");
    EXPECT_THAT(WindowTexts(), ElementsAre("box 1 ready"));
    SetLogWindowAttached(false);
    Trace("Orvex", 0, "dropped %d", 2);
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(TextOf(lines[0]), "box 1 ready");
    EXPECT_EQ(TextOf(lines[1]), ">>> OK;12;Dupont<CR><LF>");
}

TEST_F(LogTest, DetachingTheWindowForgetsItsWaitingLines) {
    Log(0, "for the old window");
    SetLogWindowAttached(false);
    SetLogWindowAttached(true);
    Log(0, "for the new one");
    EXPECT_THAT(WindowTexts(), ElementsAre("for the new one"));
    EXPECT_EQ(FileLines().size(), 2u);
}

TEST_F(LogTest, ConcurrentLinesStayWholeAndNoneIsLost) {
    constexpr int kThreads = 6;
    constexpr int kLines = 400;
    const std::string filler(300, '=');
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &filler] {
                for (int i = 0; i < kLines; ++i) LogF(0, "T%d L%d %s end", t, i, filler.c_str());
            });
        }
    }
    std::set<std::string> seen;
    for (const std::string& line : FileLines()) {
        const std::string text = TextOf(line);
        const std::string head = text.substr(0, text.find(" ="));
        ASSERT_THAT(head, MatchesRegex("T[0-9]+ L[0-9]+")) << line;
        ASSERT_EQ(text, head + " " + filler + " end");
        EXPECT_TRUE(seen.insert(head).second) << "twice: " << line;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
    EXPECT_EQ(DrainLogWindowQueue().size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(LogTest, FullWindowQueueDropsItsOldestLinesButNotTheFile) {
    SetLanguage(Language::English);
    const std::size_t capacity = LogWindowQueueCapacity();
    const std::size_t total = capacity + 5;
    for (std::size_t i = 0; i < total; ++i) LogF(0, "line %zu", i);

    auto drained = DrainLogWindowQueue(10);
    ASSERT_EQ(drained.size(), 10u);
    EXPECT_EQ(drained[0].text, "## 5 lines dropped from the log window");
    EXPECT_EQ(drained[1].text, "line 5");
    EXPECT_EQ(drained[9].text, "line 13");
    drained = DrainLogWindowQueue();
    ASSERT_EQ(drained.size(), capacity - 9);
    EXPECT_EQ(drained.front().text, "line 14");
    EXPECT_EQ(drained.back().text, "line " + std::to_string(total - 1));

    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), total);
    EXPECT_EQ(TextOf(lines.front()), "line 0");
    EXPECT_EQ(TextOf(lines.back()), "line " + std::to_string(total - 1));
}

TEST(LogWindowQueueTest, NoticeCountsAsOneOfTheDrainedLines) {
    SetLanguage(Language::French);
    LogWindowQueue queue(3);
    for (int i = 0; i < 5; ++i) queue.Push(i, "stamp", "l" + std::to_string(i));
    EXPECT_TRUE(queue.Drain(0).empty());
    auto first = queue.Drain(2);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].text, "## 2 lignes retirées de la fenêtre des traces");
    EXPECT_EQ(first[1].text, "l2");
    EXPECT_EQ(first[1].level, 2);
    auto rest = queue.Drain(10);
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].text, "l3");
    EXPECT_EQ(rest[1].text, "l4");
    queue.Push(0, "stamp", "x");
    queue.Push(0, "stamp", "y");
    queue.Push(0, "stamp", "z");
    queue.Push(0, "stamp", "w");
    EXPECT_EQ(queue.Drain(10).front().text, "## 1 ligne retirée de la fenêtre des traces");
}

TEST_F(LogTest, FileFollowsItsPathAndComesBackAfterARename) {
    Log(0, "first");
    const std::string moved = (scratch_.path() / "moved.log").string();
    std::filesystem::rename(logPath_, moved);
    int n = 0;
    // The descriptor is checked against the path at most once a second (a removed file looks the
    // same to that check): log until a line lands at the path again.
    ASSERT_TRUE(WaitFor([&] {
        LogF(0, "after rename %d", n++);
        return std::filesystem::exists(logPath_);
    }));
    EXPECT_THAT(ReadWholeFile(moved), HasSubstr(" : first\n"));

    const std::string other = (scratch_.path() / "other.log").string();
    SetLogFilePath(other);
    EXPECT_EQ(LogFilePath(), other);
    Log(0, "to the other file");
    EXPECT_THAT(ReadWholeFile(other), HasSubstr(" : to the other file\n"));
}

TEST_F(LogTest, UnopenableFileIsSkippedAndRetried) {
    const auto folder = scratch_.path() / "not-yet";
    const std::string path = (folder / "WinORVEX.log").string();
    SetLogFilePath(path);
    Log(0, "lost for the file");
    EXPECT_THAT(WindowTexts(), ElementsAre("lost for the file"));
    std::filesystem::create_directory(folder);
    Log(0, "kept");
    EXPECT_THAT(ReadWholeFile(path), MatchesRegex(".* : kept\n"));
}

}  // namespace
}  // namespace winorvex::test
