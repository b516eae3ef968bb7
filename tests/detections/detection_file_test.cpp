#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "store_fixture.h"

namespace winorvex::test {
namespace {

using DetectionFileTest = StoreFixture;

TEST_F(DetectionFileTest, LineFormatAndBufferBounds) {
    CRixResult daily;
    daily.detector = "31";
    daily.bib = "125";
    daily.timeText = "25:02:03.04";
    EXPECT_EQ(FormatDetectionFileLine(7, daily), "7\t31\t125\t1\t25:02:03.04\t1\r\n");

    CRixResult absolute = daily;
    absolute.timeText = "1716000000.5";
    absolute.absoluteClock = 1;
    const std::string expected = "12345\t31\t125\t1\t1716000000.5\t2\r\n";
    EXPECT_EQ(FormatDetectionFileLine(12345, absolute), expected);

    // Exactly fitting, and one byte short: nothing may be written past the capacity.
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatDetectionFileLine(buffer, expected.size(), 12345, absolute), expected.size());
    EXPECT_EQ(std::string(buffer, expected.size()), expected);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatDetectionFileLine(buffer, expected.size() - 1, 12345, absolute), expected.size());
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
}

TEST_F(DetectionFileTest, RemovalDoesNotChangePositionsAndOnlyLiveRecordsAreWritten) {
    const std::string path = (scratch_.path() / "live.dat").string();
    OpenDetectionFile(path);
    ASSERT_TRUE(IsDetectionFileOpen());

    AddDaily("31", "101", CChrono(36000, 250));
    const auto second = AddDaily("31", "102", CChrono(36001, 0));
    AddDaily("31", "103", CChrono(36002, 0));
    SetResultActive(second.serial, false);
    AddResult("32", "104", CChrono(1716000000, 50), CChrono(36003, 0), true, true);
    AddDaily("33", "imported", CChrono(36004, 0), false);  // an import never reaches the file

    EXPECT_EQ(ReadWholeFile(path),
              "1\t31\t101\t1\t10:00:00.25\t1\r\n"
              "2\t31\t102\t1\t10:00:01.00\t1\r\n"
              "3\t31\t103\t1\t10:00:02.00\t1\r\n"
              "4\t32\t104\t1\t1716000000.5\t2\r\n");
    EXPECT_EQ(CountActiveResults(), 4u);

    // Closed: records go on, the file stays as it was.
    CloseDetectionFile();
    EXPECT_FALSE(IsDetectionFileOpen());
    EXPECT_EQ(DetectionFilePath(), path);
    AddDaily("31", "105", CChrono(36005, 0));
    EXPECT_EQ(CrLfLines(ReadWholeFile(path)).size(), 4u);
    EXPECT_EQ(ResultCount(), 6u);
}

TEST_F(DetectionFileTest, OpeningTheSamePathTwiceDoesNothingAndAnotherPathReplacesIt) {
    const std::string first = (scratch_.path() / "a.dat").string();
    const std::string second = (scratch_.path() / "b.dat").string();
    scratch_.WriteFile("a.dat", "earlier\r\n");

    OpenDetectionFile(first);
    OpenDetectionFile(first);
    EXPECT_EQ(Occurrences(LogText(), "Opening detection file : " + first), 1u);
    AddDaily("31", "1", CChrono(36000, 0));
    EXPECT_EQ(ReadWholeFile(first), "earlier\r\n1\t31\t1\t1\t10:00:00.00\t1\r\n") << "appended, never truncated";

    OpenDetectionFile(second);
    AddDaily("31", "2", CChrono(36001, 0));
    EXPECT_EQ(CrLfLines(ReadWholeFile(first)).size(), 2u);
    EXPECT_EQ(ReadWholeFile(second), "2\t31\t2\t1\t10:00:01.00\t1\r\n");
    EXPECT_EQ(DetectionFilePath(), second);
}

TEST_F(DetectionFileTest, FileThatCannotBeOpenedStillRecords) {
    const std::string path = (scratch_.path() / "missing-folder" / "x.dat").string();
    OpenDetectionFile(path);
    EXPECT_FALSE(IsDetectionFileOpen());
    EXPECT_EQ(DetectionFilePath(), path);

    const auto record = AddDaily("31", "125", CChrono(36000, 0));
    EXPECT_EQ(record.serial, 1u);
    EXPECT_EQ(CountActiveResults(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));

    const std::string log = LogText();
    EXPECT_NE(log.find("Opening detection file : " + path), std::string::npos);
    EXPECT_NE(log.find("Error opening detection file : " + path), std::string::npos);
}

TEST_F(DetectionFileTest, WriteErrorIsAlarmedOnceAndRecordingGoesOn) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    OpenDetectionFile("/dev/full");
    ASSERT_TRUE(IsDetectionFileOpen());
    for (int i = 0; i < 3; ++i) AddDaily("31", std::to_string(i), CChrono(36000 + i, 0));
    EXPECT_EQ(CountActiveResults(), 3u);
    const std::string alert = "######## The detection file /dev/full cannot be written";
    ASSERT_TRUE(WaitFor([&] { return LogText().find(alert) != std::string::npos; }));
    AddDaily("31", "3", CChrono(36003, 0));
    EXPECT_EQ(Occurrences(LogText(), alert), 1u) << "the next reminder is a minute away";
    EXPECT_EQ(DetectionFileWaitingLines(), 4u);
}

TEST_F(DetectionFileTest, OverlongFieldsAreWrittenWhole) {
    const std::string path = (scratch_.path() / "long.dat").string();
    OpenDetectionFile(path);
    const std::string longBib(3000, 'B');
    const std::string longDetector(700, 'D');
    AddDaily(longDetector, longBib, CChrono(36000, 0));
    AddDaily("31", "short", CChrono(36001, 0));
    EXPECT_EQ(ReadWholeFile(path), "1\t" + longDetector + "\t" + longBib + "\t1\t10:00:00.00\t1\r\n" +
                                       "2\t31\tshort\t1\t10:00:01.00\t1\r\n");
}

TEST_F(DetectionFileTest, ConcurrentRecordersWriteWholeLinesInListOrder) {
    const std::string path = (scratch_.path() / "busy.dat").string();
    OpenDetectionFile(path);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string detector = std::to_string(t);
            for (int i = 0; i < kPerThread; ++i) AddDaily(detector, std::to_string(i), CChrono(36000 + i, 0));
        });
    }
    for (auto& thread : threads) thread.join();
    CloseDetectionFile();

    const auto lines = CrLfLines(ReadWholeFile(path));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::vector<std::string> listOrder;
    ForEachResult([&](const CRixResult& r) { listOrder.push_back(r.detector + "/" + r.bib); });
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto fields = Fields(lines[i]);
        ASSERT_EQ(fields.size(), 6u) << "line " << i << ": " << lines[i];
        EXPECT_EQ(fields[0], std::to_string(i + 1));
        EXPECT_EQ(fields[1] + "/" + fields[2], listOrder[i]);
        EXPECT_EQ(fields[5], "1");
    }
}

}  // namespace
}  // namespace winorvex::test
