// The simulator running in-process on loopback, driven as the station and a test script would.
#include <gtest/gtest.h>

#include <fstream>

#include "line_client.h"
#include "simulator.h"
#include "support/test_support.h"

namespace winorvex::sim {
namespace {

using namespace std::chrono_literals;
using test::CommandFrame;
using test::HasValidChecksum;
using test::LineClient;

Options LoopbackOptions() {
    Options o;
    o.port = 0;
    o.side_port = 0;
    o.control_port = 0;
    o.quiet = true;
    return o;
}

class SimulatorTest : public ::testing::Test {
protected:
    void Start(const Options& options) {
        sim_ = std::make_unique<Simulator>(options);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
    }
    std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorTest, StreamsValidReadsAndAnswersFramesEvenWhenSplit) {
    Options o = LoopbackOptions();
    o.rate = 500;
    o.count = 20;
    Start(o);
    LineClient client;
    ASSERT_TRUE(client.Connect(sim_->port()));
    std::string line;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(client.ReadLine(&line)) << i;
        ASSERT_TRUE(HasValidChecksum(line)) << line;
        EXPECT_EQ(line.substr(0, 2), "aa");
        EXPECT_EQ(TagReadSequence(line), i);
    }
    const std::string frame = CommandFrame("ab000002");
    ASSERT_TRUE(client.Send(frame.substr(0, 5)));
    EXPECT_TRUE(client.SilentFor(50ms));
    ASSERT_TRUE(client.Send(frame.substr(5) + CommandFrame("ab00ff4b")));
    ASSERT_TRUE(client.ReadLine(&line));
    EXPECT_EQ(line.substr(0, 8), "ab000902");
    EXPECT_TRUE(HasValidChecksum(line));
    ASSERT_TRUE(client.ReadLine(&line));
    EXPECT_EQ(line.substr(0, 8), "ab000c4b");
    const auto stats = sim_->Stats();
    ASSERT_TRUE(stats.has_value());
    EXPECT_EQ(stats->engine.commands, 2u);
    EXPECT_EQ(stats->engine.reads_sent, 20u);
}

TEST_F(SimulatorTest, ANewClientReplacesTheOldOne) {
    Options o = LoopbackOptions();
    o.rate = 200;
    Start(o);
    LineClient first, second;
    ASSERT_TRUE(first.Connect(sim_->port()));
    std::string line;
    ASSERT_TRUE(first.ReadLine(&line));
    ASSERT_TRUE(second.Connect(sim_->port()));
    EXPECT_TRUE(first.WaitClosed());
    ASSERT_TRUE(second.ReadUntil("aa", &line));
    EXPECT_TRUE(HasValidChecksum(line));
    EXPECT_EQ(sim_->Stats()->clients, 2u);
}

TEST_F(SimulatorTest, DropAndAwayCloseTheClientAndAwayRefusesUntilItIsOver) {
    Options o = LoopbackOptions();
    o.rate = 200;
    Start(o);
    EXPECT_NE(sim_->Drop(), "ok");  // nobody to drop
    LineClient client;
    ASSERT_TRUE(client.Connect(sim_->port()));
    ASSERT_TRUE(winorvex::test::WaitFor([&] { return sim_->Stats()->connected; }));
    EXPECT_EQ(sim_->Drop(), "ok");
    EXPECT_TRUE(client.WaitClosed());
    ASSERT_TRUE(client.Connect(sim_->port()));
    std::string line;
    ASSERT_TRUE(client.ReadLine(&line));

    const int port = sim_->port();
    ASSERT_EQ(sim_->Away(400ms), "ok");
    EXPECT_TRUE(client.WaitClosed());
    LineClient refused;
    EXPECT_FALSE(refused.Connect(port, 0ms));
    ASSERT_TRUE(client.Connect(port, 3s));  // retried until the reader listens again
    ASSERT_TRUE(client.ReadUntil("aa", &line));
    EXPECT_TRUE(HasValidChecksum(line));
}

TEST_F(SimulatorTest, StallHoldsTheOutputWithoutClosing) {
    Options o = LoopbackOptions();
    o.rate = 200;
    Start(o);
    LineClient client;
    ASSERT_TRUE(client.Connect(sim_->port()));
    std::string line;
    ASSERT_TRUE(client.ReadLine(&line));
    ASSERT_EQ(sim_->Stall(600ms), "ok");
    client.ReadAll(60ms);  // what was already under way
    EXPECT_TRUE(client.SilentFor(200ms));
    ASSERT_TRUE(client.ReadUntil("aa", &line, nullptr, 3s));
    EXPECT_TRUE(HasValidChecksum(line));
}

TEST_F(SimulatorTest, FaultLinesArriveAsAskedBetweenValidReads) {
    Options o = LoopbackOptions();
    o.start_paused = true;
    Start(o);
    EXPECT_NE(sim_->LoneLineFeed(), "ok");  // no client yet
    LineClient client;
    ASSERT_TRUE(client.Connect(sim_->port()));
    ASSERT_TRUE(winorvex::test::WaitFor([&] { return sim_->Stats()->connected; }));
    EXPECT_EQ(sim_->LoneLineFeed(), "ok");
    EXPECT_EQ(sim_->Overlong(3000), "ok");
    EXPECT_EQ(sim_->Garbage(4), "ok");
    EXPECT_EQ(sim_->SendReads(2), "ok");
    std::string line;
    ASSERT_TRUE(client.ReadLine(&line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(client.ReadLine(&line));
    EXPECT_EQ(line.size(), 3001u);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(client.ReadLine(&line));
        EXPECT_FALSE(HasValidChecksum(line)) << line;
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(client.ReadLine(&line));
        EXPECT_TRUE(HasValidChecksum(line)) << line;
    }
    EXPECT_TRUE(client.SilentFor(100ms));  // still paused
}

TEST_F(SimulatorTest, PowerOffClosesBothPortsUntilPoweredOn) {
    Start(LoopbackOptions());
    const int port = sim_->port();
    const int side = sim_->side_port();
    LineClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.Send(CommandFrame("ab000049")));
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(winorvex::test::WaitFor([&] {
        LineClient probe;
        return !probe.Connect(side, 0ms);
    }));
    LineClient probe;
    EXPECT_FALSE(probe.Connect(port, 0ms));
    EXPECT_TRUE(sim_->Stats()->powered_off);

    ASSERT_EQ(sim_->PowerOn(), "ok");
    ASSERT_TRUE(client.Connect(port));
    EXPECT_FALSE(test::SideRequest(side, "ab00000222\n").empty());
}

TEST_F(SimulatorTest, SideChannelSetsAndReadsTheClockAndWritesMarkers) {
    winorvex::test::ScratchDir dir;
    Options o = LoopbackOptions();
    o.log_file = dir.str() + "/elite.log";
    Start(o);
    ASSERT_NE(sim_->side_port(), 0);
    const int side = sim_->side_port();

    EXPECT_EQ(test::SideRequest(side, "ab0007013107140009080700\n"), "ab00000121\r\n");
    const std::string clock = test::SideRequest(side, "ab00000222\n");
    ASSERT_GE(clock.size(), 26u) << clock;
    EXPECT_EQ(clock.substr(0, 8), "aa000902");
    EXPECT_EQ(clock.substr(8, 6), "310714");  // characters 9-14
    EXPECT_EQ(clock.substr(16, 4), "0908");   // characters 17-22, the seconds may have moved on
    EXPECT_EQ(clock.substr(clock.size() - 2), "\r\n");
    EXPECT_TRUE(HasValidChecksum(clock));

    // The main connection reads the same reader clock.
    LineClient client;
    ASSERT_TRUE(client.Connect(sim_->port()));
    ASSERT_TRUE(client.Send(CommandFrame("ab000002")));
    std::string line;
    ASSERT_TRUE(client.ReadUntil("ab000902", &line));
    EXPECT_EQ(line.substr(8, 6), "310714");

    EXPECT_EQ(test::SideRequest(side, "insert_marker.KMark-20310714090807:Start\r\n"), "marker_inserted\r\n");
    EXPECT_EQ(test::SideRequest(side, "insert_marker.Finish\r\n"), "marker_inserted\r\n");
    sim_->Stop();
    const std::string log = dir.ReadFile("elite.log");
    EXPECT_NE(log.find("KMark-20310714090807:Start\r\n"), std::string::npos) << log;
    const auto finish = log.find(":Finish\r\n");
    ASSERT_NE(finish, std::string::npos) << log;
    EXPECT_EQ(log.substr(finish - 20, 14), "KMark-20310714");

    Start(o);
    EXPECT_EQ(test::SideRequest(sim_->side_port(), "clear_history\n"), "history_cleared\r\n");
    EXPECT_EQ(dir.ReadFile("elite.log"), "");
    EXPECT_EQ(test::SideRequest(sim_->side_port(), "ab0007013113140009080700\n"), "clock_refused\r\n");
    EXPECT_EQ(test::SideRequest(sim_->side_port(), "hello\n"), "unknown_request\r\n");
}

TEST_F(SimulatorTest, LiteReaderHasNoSidePort) {
    Options o = LoopbackOptions();
    o.model = Model::kLite;
    o.side_port = winorvex::test::FreeLoopbackPort();
    Start(o);
    EXPECT_EQ(sim_->side_port(), 0);
    EXPECT_NE(sim_->ReadyLine().find(" side=0 "), std::string::npos) << sim_->ReadyLine();
    LineClient probe;
    EXPECT_FALSE(probe.Connect(o.side_port, 0ms));
}

TEST_F(SimulatorTest, ControlChannelSpeaksTheCommandLanguage) {
    Options o = LoopbackOptions();
    o.start_paused = true;
    Start(o);
    LineClient control, reader;
    ASSERT_TRUE(control.Connect(sim_->control_port()));
    ASSERT_TRUE(reader.Connect(sim_->port()));
    ASSERT_TRUE(winorvex::test::WaitFor([&] { return sim_->Stats()->connected; }));
    const auto ask = [&](const std::string& command) {
        std::string answer;
        EXPECT_TRUE(control.Send(command + "\n"));
        EXPECT_TRUE(control.ReadLine(&answer)) << command;
        return answer;
    };
    EXPECT_EQ(ask("reads 3"), "ok");
    std::string line;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(reader.ReadLine(&line));
    EXPECT_NE(ask("stats").find("reads=3 "), std::string::npos);
    EXPECT_EQ(ask("bogus").rfind("error", 0), 0u);
    EXPECT_EQ(ask("stall soon").rfind("error", 0), 0u);
    EXPECT_EQ(ask("reads").rfind("error", 0), 0u);
    EXPECT_EQ(ask("pause now").rfind("error", 0), 0u);
    EXPECT_EQ(ask("rate -5").rfind("error", 0), 0u);
    EXPECT_EQ(ask("rate 1000"), "ok");
    EXPECT_EQ(ask("resume"), "ok");
    ASSERT_TRUE(reader.ReadLine(&line));
    EXPECT_TRUE(HasValidChecksum(line));
    EXPECT_FALSE(sim_->quit_requested());
    EXPECT_EQ(ask("quit"), "ok");
    EXPECT_TRUE(sim_->WaitForQuit(2s));
}

TEST_F(SimulatorTest, UnpacedStreamDeliversEveryReadInOrder) {
    winorvex::test::ScratchDir dir;
    Options o = LoopbackOptions();
    o.rate = 0;
    o.count = 200000;
    o.chip_count = 5000;
    o.latency_log = dir.str() + "/latency.txt";
    Start(o);
    LineClient client;
    ASSERT_TRUE(client.Connect(sim_->port()));
    std::string line;
    int64_t expected = 0;
    for (; expected < 200000; ++expected) {
        ASSERT_TRUE(client.ReadLine(&line, 10s)) << expected;
        ASSERT_EQ(TagReadSequence(line), expected & 0xffffff);
        if (expected % 997 == 0) {
            ASSERT_TRUE(HasValidChecksum(line)) << line;
        }
    }
    EXPECT_TRUE(client.SilentFor(50ms));
    sim_->Stop();

    std::ifstream latency(o.latency_log);
    uint64_t seq = 0, previous_seq = 0;
    int64_t ns = 0, previous_ns = 0;
    uint64_t stamps = 0;
    while (latency >> seq >> ns) {
        if (stamps > 0) {
            ASSERT_EQ(seq, previous_seq + 1);
            ASSERT_GE(ns, previous_ns);
        }
        previous_seq = seq;
        previous_ns = ns;
        ++stamps;
    }
    EXPECT_EQ(stamps, 200000u);
}

}  // namespace
}  // namespace winorvex::sim
