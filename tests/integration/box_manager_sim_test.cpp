// Box workers and the box manager against simulated readers on loopback: recording, the loss and
// return of a reader, stopping, and the reader commands and replies through a live worker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "detections/reader_line.h"
#include "integration/box_station_fixture.h"
#include "reader/box_worker.h"
#include "reader/command_frame.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;

// "HH:MM:SS.cc" (hours may pass 24) in seconds.
double DailySeconds(const std::string& text) {
    int h = 0, m = 0, s = 0, c = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d.%d", &h, &m, &s, &c) != 4) return -1;
    return h * 3600.0 + m * 60 + s + c / 100.0;
}

double SecondsOfDayNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60 + local.tm_sec;
}

TEST_F(BoxStationTest, RecordsReadsWithDetectorBibAndDailyTime) {
    BoxManager& manager = MakeManager();
    // The reader's clock shows the second race day: its times of day get 24 hours more.
    sim::Simulator& reader = AddReader(1, {.count = 400, .chips = 400, .date = 20240519}, "42");
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    EXPECT_EQ(sounds_.Count(StationSound::ConnectionMade), 1);
    ASSERT_TRUE(Pump([&] { return DetectionLines().size() == 400; })) << DetectionLines().size();

    const auto lines = DetectionLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(lines[i].size(), 6u);
        EXPECT_EQ(lines[i][0], std::to_string(i + 1));
        EXPECT_EQ(lines[i][1], "42");
        EXPECT_EQ(lines[i][2], std::to_string(1001 + i));  // chips are read in order
        EXPECT_EQ(lines[i][3], "1");
        EXPECT_EQ(lines[i][5], "1");
        const double late = DailySeconds(lines[i][4]) - 86400 - SecondsOfDayNow();
        const double wrapped = late - 86400 * std::round(late / 86400);
        EXPECT_LT(std::abs(wrapped), 30) << lines[i][4];
    }
    EXPECT_EQ(LogCount(">> Mean time (on 200 last) for detection treatment: "), 2u);

    manager.StopAllBoxThreads();
    EXPECT_FALSE(IsDetectionFileOpen());
    EXPECT_EQ(BoxWorker::RunningCount(), 0);
    EXPECT_FALSE(manager.Box(1).Transport()->IsOpen());
    // The stop posts an expected event; handling it restarts nothing.
    Pump([&] { return events_.Count(1, false) == 1 && LogHas("APP CNX ERROR for box 1. Expected = YES"); });
    EXPECT_FALSE(manager.HasWorker(1));
    EXPECT_EQ(Status(1), BoxStatus::NotConnected);
    EXPECT_EQ(reader.Stats()->engine.reads_sent, 400u);
}

TEST_F(BoxStationTest, ADroppedReaderIsReconnectedWithAnEmptyLastReadList) {
    Settings().boxReconnectSeconds = 5;
    Settings().ignoreInputMsDelta = 1000;  // every repeat of the one chip is ignored...
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.rate = 20, .chips = 1});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    ASSERT_TRUE(Pump([&] { return ResultCount() == 1 && reader.Stats()->engine.reads_sent >= 3; }));
    reader.Pause();

    ASSERT_EQ(reader.Drop(), "ok");
    // The worker logs the success before it plays the sound: wait for both.
    ASSERT_TRUE(
        Pump([&] { return LogHas("Reconnection successful") && sounds_.Count(StationSound::BoxReconnected) >= 1; }));
    EXPECT_EQ(events_.Count(1, true), 1);
    EXPECT_EQ(sounds_.Count(StationSound::BoxLost), 1);
    EXPECT_EQ(sounds_.Count(StationSound::BoxReconnected), 1);
    EXPECT_TRUE(LogHas("######## ## Box 1 [1:" + std::to_string(reader.port()) + " 31] : Box reception failed"));
    EXPECT_TRUE(LogHas("APP CNX ERROR for box 1. Expected = NO. StopBoxThread"));
    EXPECT_TRUE(LogHas("APP FOUND UNEXPECTED CNX ERROR for box 1 and will restart BoxThread"));
    EXPECT_TRUE(LogHas("Attempt to reconnect during 5 seconds"));

    // ...but the first read after the reconnection, within a second of the last one before it.
    reader.SendReads(1);
    ASSERT_TRUE(Pump([&] { return ResultCount() == 2; }));
    EXPECT_EQ(Status(1), BoxStatus::Connected);
    EXPECT_TRUE(manager.HasWorker(1));
}

TEST_F(BoxStationTest, AReaderThatStaysAwayEndsItsWorker) {
    Settings().boxReconnectSeconds = 1;
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.rate = 20});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    ASSERT_TRUE(Pump([&] { return ResultCount() >= 1; }));

    ASSERT_EQ(reader.Away(60s), "ok");
    ASSERT_TRUE(Pump([&] { return LogHas("APP CNX ERROR for box 1. Expected = YES") && !manager.HasWorker(1); }));
    EXPECT_EQ(BoxWorker::RunningCount(), 0);
    EXPECT_EQ(Status(1), BoxStatus::NotConnected);
    EXPECT_FALSE(manager.Box(1).IsReconnecting());
    EXPECT_EQ(events_.Count(1, true), 1);
    EXPECT_GE(events_.Count(1, false), 2 * BoxWorker::kStatusPostsPerAttempt + 1) << "two attempts at least";
    EXPECT_EQ(sounds_.Count(StationSound::BoxLost), 1);
    EXPECT_EQ(sounds_.Count(StationSound::BoxReconnected), 0);
    EXPECT_GE(LogCount("Cannot connect on 127.0.0.1:" + std::to_string(reader.port())), 2u);
    EXPECT_EQ(LogCount("will restart BoxThread"), 1u);
}

TEST_F(BoxStationTest, TheToggleStopsEveryBoxEvenOneThatIsReconnecting) {
    Settings().boxReconnectSeconds = 600;
    // A status pause that ignored the stop would hold the toggle for a minute.
    BoxManager& manager = MakeManager(60s);
    AddReader(1, {.rate = 50});
    sim::Simulator& second = AddReader(2, {.rate = 50});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    ASSERT_TRUE(Pump([&] { return ResultCount() >= 4; }));
    ASSERT_EQ(second.Away(60s), "ok");
    ASSERT_TRUE(Pump([&] { return Status(2) == BoxStatus::Reconnecting; }));

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Disconnected);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
    EXPECT_EQ(BoxWorker::RunningCount(), 0);
    EXPECT_FALSE(IsDetectionFileOpen());
    Pump([] { return false; }, 200ms);  // whatever the workers posted last restarts nothing
    EXPECT_FALSE(manager.HasWorker(1));
    EXPECT_FALSE(manager.HasWorker(2));
    EXPECT_EQ(Status(1), BoxStatus::NotConnected);
    EXPECT_EQ(Status(2), BoxStatus::NotConnected);
    EXPECT_TRUE(LogHas("StopBoxThread done for box 2"));
}

TEST_F(BoxStationTest, NothingToConnectIsToldInAMessageBox) {
    BoxManager& manager = MakeManager();
    EXPECT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::NoBoxDeclared);
    manager.Box(3).SetAddress(BoxAddress{"31", "127.0.0.1", FreeLoopbackPort()});
    EXPECT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::NoneInitialised);
    EXPECT_EQ(prompt_.warnings,
              (std::vector<std::string>{"No ORVEX box has been declared in your configuration !!!",
                                        "No ORVEX box has been successfully initialized in your configuration !!!"}));
    EXPECT_FALSE(manager.HasWorker(3));
    EXPECT_EQ(sounds_.Count(StationSound::ConnectionMade), 0);
}

TEST_F(BoxStationTest, LiteRepliesThroughALiveWorker) {
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.model = sim::Model::kLite, .paused = true});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    COrvexBox& box = manager.Box(1);
    std::string error;
    std::tm now{};
    const std::time_t t = std::time(nullptr);
    localtime_r(&t, &now);
    ASSERT_TRUE(box.SendRawCommand(kCommandLiteClockSetting, LiteClockData(now), error)) << error;
    ASSERT_TRUE(box.SendRawCommand(kCommandLiteClockRequest, "", error)) << error;
    ASSERT_TRUE(box.SendNamedCommand(kCommandGetLogInfo, "Get Log Info", error)) << error;
    ASSERT_TRUE(box.SendNamedCommand(kCommandClearLogBuffer, "Clear Log buffer", error)) << error;
    ASSERT_TRUE(box.SendNamedCommand(kCommandGetStats, "Get Stats", error)) << error;
    ASSERT_TRUE(Pump([&] {
        return box.ClearingPercent() == 100 && !box.LastLoggingDetail().empty() &&
               LogHas("Command unknown or not processed: ab00080a");
    }));
    EXPECT_TRUE(LogHas("Box synchronized (Lite)"));
    EXPECT_TRUE(LogHas(" : Lite Date "));
    EXPECT_TRUE(LogHas(" : Logging command detail: Recorded: 0 - Not yet played back:0"));

    // A lone line feed between two reads is skipped; the link goes on.
    reader.SendReads(1);
    ASSERT_TRUE(Pump([&] { return ResultCount() == 1; }));
    ASSERT_EQ(reader.LoneLineFeed(), "ok");
    reader.SendReads(1);
    ASSERT_TRUE(Pump([&] { return ResultCount() == 2; }));
    EXPECT_TRUE(LogHas(" : Empty line skipped"));
    EXPECT_TRUE(events_.All().empty());

    // A Lite reader has no side service: the request fails, the worker reads on.
    box.SetSidePort(FreeLoopbackPort());
    std::string clock;
    EXPECT_EQ(box.GetClockElite(clock, error), -1);
    EXPECT_EQ(box.InsertMarkerElite("km 5", error), -1);
    reader.SendReads(1);
    EXPECT_TRUE(Pump([&] { return ResultCount() == 3; }));
}

TEST_F(BoxStationTest, EliteSideRequestsWhileReading) {
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.rate = 50});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    COrvexBox& box = manager.Box(1);
    std::string clock;
    std::string error;
    EXPECT_EQ(box.GetClockElite(clock, error), 0) << error;
    EXPECT_EQ(clock.size(), 14u);
    EXPECT_EQ(clock.substr(0, 2), "20");
    EXPECT_EQ(box.InsertMarkerElite("km 5", error), 0) << error;
    EXPECT_EQ(box.ClearHistoryElite(error), 0) << error;
    EXPECT_EQ(box.SetClockElite(error), 0) << error;
    EXPECT_EQ(reader.side_requests(), 4u);
    const std::size_t recorded = ResultCount();
    EXPECT_TRUE(Pump([&] { return ResultCount() > recorded; }));
    EXPECT_TRUE(events_.All().empty());
}

TEST_F(BoxStationTest, ADownloadFillsItsFileAndEndsByItself) {
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.rate = 200, .chips = 1000});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    COrvexBox& box = manager.Box(1);
    std::string error;
    ASSERT_TRUE(box.SendNamedCommand(kCommandRecordStart, "Record Start", error)) << error;
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recorded >= 40; }));
    reader.Pause();
    ASSERT_TRUE(box.SendNamedCommand(kCommandRecordStop, "Record Stop", error)) << error;
    ASSERT_TRUE(Pump([&] { return !reader.Stats()->engine.recording; }));
    const std::uint64_t stored = reader.Stats()->engine.recorded;
    // Every live read (a thousand chips in turn: none is a repeat) is recorded before the download.
    const std::size_t recordedBefore = reader.Stats()->engine.reads_sent;
    ASSERT_TRUE(Pump([&] { return ResultCount() == recordedBefore; }));

    const std::string path = scratch_.str() + "/download.txt";
    ASSERT_TRUE(box.StartDownload(path, error)) << error;
    ASSERT_TRUE(Pump([&] { return !box.IsDownloading() && !box.IsDownloadFileOpen(); }));
    EXPECT_EQ(box.DownloadedCount(), static_cast<int>(stored));
    EXPECT_EQ(ResultCount(), recordedBefore) << "replayed reads are not recorded";
    EXPECT_TRUE(LogHas("STOP DOWNLOAD. " + std::to_string(stored) + " detections downloaded"));

    std::istringstream file(ReadWholeFile(path));
    std::size_t lines = 0;
    for (std::string line; std::getline(file, line); ++lines) {
        ReaderLine parsed;
        EXPECT_TRUE(ClassifyReaderLine(line, parsed) && parsed.kind == kLineTagRead) << line;
    }
    EXPECT_EQ(lines, stored);
}

}  // namespace
}  // namespace winorvex::test
