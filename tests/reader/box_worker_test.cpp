// The box worker driven through a scripted transport: every kind of reader line, the ends of the
// read loop, the reconnection procedure, the statistics line and the end of a download.
#include "reader/box_worker.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "chips/chip_table.h"
#include "core/station_settings.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"
#include "reader/box_fixture.h"
#include "reader/orvex_box.h"
#include "reader/scripted_com_box.h"
#include "support/queued_station_events.h"
#include "support/recording_station_events.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;

std::string Checksum(std::string_view characters) {
    unsigned sum = 0;
    for (const char c : characters) sum += static_cast<unsigned char>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02x", sum % 256);
    return text;
}

// A reader reply: "ab" + body + checksum.
std::string Reply(const std::string& body) {
    return "ab" + body + Checksum(body);
}

// A tag read of 18 May 2024 (or another YYMMDD) at 10:15:00.25.
std::string TagLine(const std::string& chip, const std::string& yymmdd = "240518") {
    const std::string body = "01" + chip + "0a0b" + yymmdd + "101500" + "19";
    return "aa" + body + Checksum(body);
}

// Twelve hexadecimal digits, different for every n.
std::string Chip(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "0580%08X", n);
    return text;
}

// A logging detail (12 data bytes) with A=1, B=5, C, D and G=100: not yet played back =
// (1 - C) * 100 + 5 - D.
std::string Detail(int c, int d) {
    char data[32];
    std::snprintf(data, sizeof data, "0001%04x%02x%04x0010006400", 5, c, d);
    return Reply(std::string("000c4b") + data);
}

class BoxWorkerTest : public BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        StationSettings& s = Settings();
        saved_ = {s.sendNumbers.load(), s.ignoreInputMsDelta.load(), s.boxReconnectSeconds.load(), s.absClock.load(),
                  s.readMsDelta.load()};
        s.sendNumbers = 0;
        s.ignoreInputMsDelta = 50;
        s.absClock = 0;
        s.readMsDelta = 1;
        const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
        for (std::size_t i = 0; i < 4; ++i) RaceDayDates().dates[i] = days[i];
        ClearChipTable();
        CloseDetectionFile();
        ClearResults();

        auto transport = std::make_unique<ScriptedComBox>();
        transport_ = transport.get();
        box_.SetTransport(std::move(transport));
        box_.SetAddress(ScriptedComBox::Address());
        box_.SetBoxNumber(1);
    }

    void TearDown() override {
        worker_.reset();
        ClearResults();
        StationSettings& s = Settings();
        s.sendNumbers = saved_[0];
        s.ignoreInputMsDelta = saved_[1];
        s.boxReconnectSeconds = saved_[2];
        s.absClock = saved_[3];
        s.readMsDelta = saved_[4];
        BoxFixture::TearDown();
    }

    void Start(std::chrono::milliseconds statusInterval = 10ms, QueuedStationEvents* events = nullptr) {
        BoxWorkerServices services;
        services.events = events != nullptr ? events : &events_;
        services.sounds = &sounds_;
        services.statusPostInterval = statusInterval;
        box_.SetStopRequested(false);  // as StartBoxThread does
        worker_ = std::make_unique<BoxWorker>(box_, services);
    }

    bool WaitFinished() {
        return WaitFor([this] { return worker_->Finished(); }, 10s);
    }

    std::string Log() const { return ReadWholeFile(logPath_); }

    COrvexBox box_;
    ScriptedComBox* transport_ = nullptr;
    QueuedStationEvents events_;
    RecordingStationEvents sounds_;
    std::unique_ptr<BoxWorker> worker_;
    std::array<int, 5> saved_{};
};

TEST_F(BoxWorkerTest, HandlesEveryKindOfLineAndReportsALostLink) {
    transport_->SetOpen();
    box_.LastDetections().Clear();
    Start();
    const std::string detail = Detail(1, 5);
    transport_->Push(TagLine(Chip(1)));
    transport_->Push("");  // a lone line feed: skipped, the link goes on
    transport_->Push(TagLine(Chip(2)));
    transport_->Push(TagLine(Chip(3)).replace(10, 1, "F"));  // checksum no longer matches
    transport_->Push(Reply("000001") + "\r");
    transport_->Push(
        Reply("000902"
              "240518"
              "06"
              "101500"
              "19"
              "00"));
    transport_->Push(Reply("00004b"));
    transport_->Push(
        Reply("00034bd0"
              "2040"));
    transport_->Push(detail);
    transport_->Push(Reply("00000a"));
    ASSERT_TRUE(WaitFor([&] { return box_.LastLoggingDetail() == detail; }));
    EXPECT_EQ(ResultCount(), 2u);
    EXPECT_EQ(box_.ClearingPercent(), 50);
    EXPECT_EQ(box_.LastDetections().Count(), 2u);
    EXPECT_TRUE(events_.All().empty()) << "no line so far may end the loop";

    transport_->PushDrop();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events_.All(), (std::vector<QueuedStationEvents::Event>{{1, true}}));
    EXPECT_FALSE(transport_->IsOpen());
    EXPECT_FALSE(box_.IsThreadRunning());
    EXPECT_EQ(box_.LastDetections().Count(), 0u);
    EXPECT_EQ(BoxWorker::RunningCount(), 0);

    const std::string log = Log();
    const std::string label = "Box 1 [script:1 31]";
    for (const std::string& expected : {
             label + " : ENTER thread ",
             "+ " + label + " : Starting thread - check-ms: 1ms",
             "+ " + label + " : Empty line skipped",
             "+ " + label + " : Invalid input: aa01058000F",
             "+ " + label + " : Box synchronized (Lite)",
             "+ " + label + " : Lite Date 18/05/2024  10:15:01 (time got at ",
             "+ " + label + " : Response logging command",
             "+ " + label + " : Clearing: 50%",
             "+ " + label + " : Logging command detail: Recorded: 105 - Not yet played back:0",
             "+ " + label + " : Command unknown or not processed: " + Reply("00000a"),
             "######## ## " + label + " : Box reception failed",
             "+ " + label + " : Thread stopped",
             "+ " + label + " : Clear detections cache",
             label + " : EXIT thread ",
         }) {
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(log.find("Disconnection requested"), std::string::npos);
}

// A disconnection by the program ends the loop as requested, whether the blocked read fails
// (TCP) or returns an empty line (serial).
TEST_F(BoxWorkerTest, RequestedDisconnectionIsNotALoss) {
    for (const bool emptyLine : {false, true}) {
        SCOPED_TRACE(emptyLine ? "empty line" : "failed read");
        transport_->SetOpen();
        QueuedStationEvents events;
        Start(10ms, &events);
        transport_->Push(TagLine(Chip(7)));
        ASSERT_TRUE(WaitFor([&] { return box_.LastDetections().Count() == 1; }));
        if (emptyLine) {
            transport_->SetClosedOnRequest(true);
            transport_->Push("");
        } else {
            transport_->Disconnect();
        }
        ASSERT_TRUE(WaitFinished());
        EXPECT_EQ(events.All(), (std::vector<QueuedStationEvents::Event>{{1, false}}));
        EXPECT_EQ(box_.LastDetections().Count(), 0u);
        worker_.reset();
    }
    EXPECT_NE(Log().find("+ Box 1 [script:1 31] : Disconnection requested"), std::string::npos);
    EXPECT_EQ(Log().find("Box reception failed"), std::string::npos);
}

TEST_F(BoxWorkerTest, MeanTimeLineEvery200TagReadsWithTotalsSinceStart) {
    transport_->SetOpen();
    Start();
    int next = 1;
    for (int line = 1; line <= 400; ++line) {
        if (line == 50 || line == 120 || line == 199 || line == 300) {
            transport_->Push(TagLine(Chip(next - 1)));  // same chip, same time: ignored
        } else if (line == 10 || line == 150 || line == 250) {
            transport_->Push(TagLine(Chip(900000 + line), "241399"));  // no such date: invalid
        } else {
            transport_->Push(TagLine(Chip(next++)));
        }
    }
    transport_->Push(Reply("00004b"));  // a last line to know that every tag read was handled
    ASSERT_TRUE(WaitFor([&] { return Log().find("Response logging command") != std::string::npos; }));
    EXPECT_EQ(ResultCount(), 393u);
    const DetectionCounters counts = worker_->Counts();
    EXPECT_EQ(counts.tagReads, 400u);
    EXPECT_EQ(counts.recorded, 393u);
    EXPECT_EQ(counts.ignored, 4u);
    EXPECT_EQ(counts.invalid, 3u);

    const std::string log = Log();
    std::size_t lines = 0;
    for (auto at = log.find(">> Mean time"); at != std::string::npos; at = log.find(">> Mean time", at + 1)) ++lines;
    EXPECT_EQ(lines, 2u);
    const auto first = log.find(">> Mean time (on 200 last) for detection treatment: ");
    ASSERT_NE(first, std::string::npos);
    const auto second = log.find(">> Mean time (on 200 last) for detection treatment: ", first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(log.find(" ms  [3 ignored, 2 invalid]", first), std::string::npos);
    EXPECT_LT(log.find(" ms  [3 ignored, 2 invalid]", first), second);
    EXPECT_NE(log.find(" ms  [4 ignored, 3 invalid]", second), std::string::npos);
}

TEST_F(BoxWorkerTest, RestartedWorkerReconnectsThenReads) {
    Settings().boxReconnectSeconds = 30;
    transport_->RefuseConnections(2);
    Start();
    ASSERT_TRUE(WaitFor([&] { return transport_->IsOpen(); }));
    transport_->Push(TagLine(Chip(1)));
    ASSERT_TRUE(WaitFor([&] { return ResultCount() == 1; }));

    // Six status posts after each refused attempt, one more once connected; never "lost".
    EXPECT_EQ(events_.Count(1, false), 2 * BoxWorker::kStatusPostsPerAttempt + 1);
    EXPECT_EQ(events_.Count(1, true), 0);
    EXPECT_EQ(sounds_.Count(StationSound::BoxReconnected), 1);
    EXPECT_FALSE(box_.IsReconnecting());
    const std::string log = Log();
    EXPECT_NE(log.find("+ Box 1 [script:1 31] : Attempt to reconnect during 30 seconds"), std::string::npos);
    EXPECT_NE(log.find("+ Box 1 [script:1 31] : Reconnection successful"), std::string::npos);
    EXPECT_NE(
        log.find("######## ## Box 1 [script:1 31] : Cannot connect on script:1. DetectorId 31 : Unable to Connect"),
        std::string::npos);
}

TEST_F(BoxWorkerTest, ReconnectionGivesUpAfterItsTime) {
    Settings().boxReconnectSeconds = 0;  // a single attempt
    transport_->RefuseConnections(1000);
    Start();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(transport_->Connects(), 0);
    EXPECT_EQ(events_.Count(1, false), BoxWorker::kStatusPostsPerAttempt + 1);
    EXPECT_EQ(events_.Count(1, true), 0);
    EXPECT_FALSE(box_.IsReconnecting());
    EXPECT_EQ(sounds_.Count(StationSound::BoxReconnected), 0);
    EXPECT_EQ(Log().find("Thread stopped"), std::string::npos);
}

TEST_F(BoxWorkerTest, StopCutsAReconnectionPauseShort) {
    Settings().boxReconnectSeconds = 600;
    transport_->RefuseConnections(1000);
    Start(60s);
    ASSERT_TRUE(WaitFor([&] { return events_.Count(1, false) == 1; }));
    const auto before = std::chrono::steady_clock::now();
    worker_.reset();
    // A pause that ignored the stop would hold the join for a minute.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
    EXPECT_EQ(events_.Count(1, false), 1);
    EXPECT_FALSE(box_.IsReconnecting());
    EXPECT_NE(Log().find("+ Box 1 [script:1 31] : Thread stopped. Could not reconnect"), std::string::npos);
}

TEST_F(BoxWorkerTest, DownloadTakesTheReadsAndEndsWhenNothingIsLeft) {
    transport_->SetOpen();
    const std::string path = (scratch_.path() / "download.txt").string();
    ASSERT_TRUE(box_.OpenDownloadFile(path));
    box_.SetDownloading(true);
    Start();
    const std::string first = TagLine(Chip(1));
    const std::string second = TagLine(Chip(2)) + "FS";
    transport_->Push(first);
    transport_->Push(second);
    transport_->Push(Reply("000c4b"));  // too short to carry counters: says nothing of what is left
    transport_->Push(Detail(0, 0));     // 105 left
    ASSERT_TRUE(WaitFor([&] { return box_.LastLoggingDetail() == Detail(0, 0); }));
    EXPECT_TRUE(box_.IsDownloading());
    EXPECT_EQ(ResultCount(), 0u);

    transport_->Push(Detail(1, 5));  // nothing left: the worker stops the download
    ASSERT_TRUE(WaitFor([&] { return !box_.IsDownloading() && !box_.IsDownloadFileOpen(); }));
    EXPECT_EQ(ReadWholeFile(path), first + "\n" + second + "\n");
    EXPECT_EQ(box_.DownloadedCount(), 2);
    const std::vector<std::string> writes = transport_->Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().substr(0, 12), "ab00024b0700");  // stop the periodic details first

    transport_->Push(TagLine(Chip(3)));  // after the download, reads are recorded again
    EXPECT_TRUE(WaitFor([&] { return ResultCount() == 1; }));
}

}  // namespace
}  // namespace winorvex::test
