// A requested stop first records the lines the reader already sent, then closes: a simulated
// reader's burst waits in the socket while the worker is held up, the stop comes, and every line
// of the burst is in the detection file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "integration/box_station_fixture.h"
#include "reader/box_worker.h"
#include "support/test_support.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;

// Holds the worker on its first detection-file line until opened (at most ten seconds).
std::atomic<bool> gGateOpen{true};

ssize_t GatedWrite(int fd, const void* data, std::size_t length) {
    WaitFor([] { return gGateOpen.load(); }, 10s);
    return ::write(fd, data, length);
}

struct WriteSeamGuard {
    WriteSeamGuard() { SetDetectionFileWriteForTest(&GatedWrite); }
    ~WriteSeamGuard() {
        gGateOpen = true;
        SetDetectionFileWriteForTest(nullptr);
    }
};

TEST_F(BoxStationTest, AStopRecordsEveryLineTheReaderHadAlreadySent) {
    constexpr std::uint64_t kBurst = 500;
    SetLogFileLevel(75);
    WriteSeamGuard seam;
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.count = kBurst, .chips = kBurst, .paused = true});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);

    gGateOpen = false;
    ASSERT_EQ(reader.Resume(), "ok");
    // The whole burst has left the reader while the worker is still on its first line.
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.reads_sent == kBurst; }));
    // (The list is locked meanwhile: the held line is written under its lock.)
    EXPECT_TRUE(DetectionLines().empty());

    // The operator disconnects; the worker is let go only once the stop was asked for.
    std::thread release([&] {
        WaitFor([&] { return manager.Box(1).IsStopRequested(); }, 10s);
        gGateOpen = true;
    });
    manager.StopAllBoxThreads();
    release.join();

    const auto lines = DetectionLines();
    ASSERT_EQ(lines.size(), kBurst);
    for (std::size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i][0], std::to_string(i + 1));
    EXPECT_EQ(ResultCount(), kBurst);
    EXPECT_FALSE(manager.Box(1).Transport()->IsOpen());
    EXPECT_TRUE(LogHas(" : Disconnection requested"));
    EXPECT_FALSE(LogHas("Box reception failed"));
    // The stop is expected: handling its event restarts nothing.
    EXPECT_TRUE(Pump([&] { return events_.Count(1, false) >= 1 && LogHas("APP CNX ERROR for box 1. Expected = YES"); }))
        << Log();
    EXPECT_FALSE(manager.HasWorker(1));
    EXPECT_EQ(BoxWorker::RunningCount(), 0);
}

TEST_F(BoxStationTest, AnIdleWorkerStopsWithoutItsLinkBeingCut) {
    BoxManager& manager = MakeManager();
    sim::Simulator& reader = AddReader(1, {.count = 3, .chips = 3});
    ASSERT_EQ(manager.ConnectAllBoxes(), ConnectAllOutcome::Connected);
    ASSERT_TRUE(Pump([&] { return DetectionLines().size() == 3; }));
    // Nothing more comes; the worker sees the request within its idle wake and ends by itself.
    manager.Box(1).SetStopRequested(true);
    ASSERT_TRUE(WaitFor([&] { return !manager.Box(1).IsThreadRunning(); }, 5s));
    EXPECT_FALSE(manager.Box(1).Transport()->IsOpen());
    EXPECT_TRUE(LogHas(" : Disconnection requested"));
    manager.StopAllBoxThreads();
    EXPECT_EQ(reader.Stats()->engine.reads_sent, 3u);
}

}  // namespace
}  // namespace winorvex::test
