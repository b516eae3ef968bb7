#include "results_link/direct_connection.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/log_fixture.h"
#include "core/unique_fd.h"
#include "platform/tcp_listener.h"
#include "raw_peer.h"
#include "results_sim.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ReadBytes;
using test::RecordingStationEvents;

// The sockets of this machine that connect, or are connected, to this loopback port, as the
// kernel lists them (the listener itself excluded).
std::size_t ConnectionsTo(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the heading
    std::size_t count = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string local;
        std::string remote;
        fields >> slot >> local >> remote;
        const auto colon = remote.find(':');
        if (colon == std::string::npos || remote.substr(0, colon) == "00000000") continue;
        if (std::stoi(remote.substr(colon + 1), nullptr, 16) == port) ++count;
    }
    return count;
}

class DirectConnectionTest : public test::LogFixture {
protected:
    void SetUp() override {
        LogFixture::SetUp();
        SetLanguage(Language::French);
    }

    // A simulated results program on a free port.
    std::unique_ptr<results_sim::ResultsSimulator> StartSimulator(results_sim::Options options = {}) {
        options.port = 0;
        options.quiet = true;
        auto sim = std::make_unique<results_sim::ResultsSimulator>(options);
        std::string error;
        EXPECT_TRUE(sim->Start(error)) << error;
        return sim;
    }

    RecordingStationEvents sink_;
};

TEST_F(DirectConnectionTest, ConnectsThenReportsStatesAndStopsOnRequest) {
    auto sim = StartSimulator();
    DirectConnection link(sink_);
    EXPECT_FALSE(link.SendDirectLine("Ping()"));  // nothing started
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    EXPECT_TRUE(link.IsDirectConnected());
    EXPECT_FALSE(link.IsDirectConnecting());
    const auto states = sink_.LinkStates();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].state, DirectLinkState::Connecting);
    EXPECT_EQ(states[1].state, DirectLinkState::Connected);

    // A second start while the link runs changes nothing.
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    EXPECT_TRUE(link.SendDirectLine("Ping()"));
    ASSERT_TRUE(sink_.WaitForLines(1));
    EXPECT_EQ(sink_.Lines()[0], "NFO:20");
    EXPECT_EQ(sim->GetCounts().clients, 1u);

    const auto before = Clock::now();
    link.StopDirectConnection();
    EXPECT_LT(Clock::now() - before, 1s);  // the socket is closed at once, no fixed wait
    ASSERT_TRUE(sink_.HasFinalClosed());
    const DirectLinkStateEvent closed = sink_.FinalClosed();
    EXPECT_FALSE(closed.lost);
    EXPECT_EQ(closed.reason, "arrêt demandé");
    EXPECT_FALSE(link.IsDirectConnected());
    EXPECT_FALSE(link.SendDirectLine("Ping()"));
    EXPECT_TRUE(test::WaitFor([&] { return !sim->GetCounts().connected; }));

    // Switched on again, it connects again.
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected, 2));
    EXPECT_TRUE(test::WaitFor([&] { return sim->GetCounts().clients == 2; }));
}

TEST_F(DirectConnectionTest, LinesGoOutExactlyWithCrLfAndArriveConverted) {
    TcpListener listener;
    std::string error;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0, 4, error)) << error;
    DirectConnection link(sink_);
    link.StartDirectConnection("127.0.0.1", listener.Port(), 1);
    TcpSocket peer = listener.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));

    ASSERT_TRUE(link.SendDirectLine("AddRixClock(1\tDET1\t42\t1\t10:11:12.13)"));
    ASSERT_TRUE(link.SendDirectLine("Ping()"));
    const std::string expected = "AddRixClock(1\tDET1\t42\t1\t10:11:12.13)\r\nPing()\r\n";
    EXPECT_EQ(ReadBytes(peer, expected.size()), expected);

    // Windows-1252 name, a bare LF ending, extra CRs, an empty line, and a line split over sends.
    const std::string in =
        "kt04\\1\\1\\1\\1\\7\\Dupr\xE9\\H\xE9l\xE8ne\\F\\SE\\S\\T\\01:00:00\\0\\3\r\n"
        "NFO:20\n"
        "ERR:1000\r\r\n"
        "\r\n"
        "NFO:5 Mara";
    ASSERT_EQ(peer.SendAll(in.data(), in.size()), static_cast<ssize_t>(in.size()));
    ASSERT_TRUE(sink_.WaitForLines(3));
    ASSERT_EQ(peer.SendAll("thon\r\n", 6), 6);
    ASSERT_TRUE(sink_.WaitForLines(4));
    const std::vector<std::string> lines = sink_.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "kt04\\1\\1\\1\\1\\7\\Dupré\\Hélène\\F\\SE\\S\\T\\01:00:00\\0\\3");
    EXPECT_EQ(lines[1], "NFO:20");
    EXPECT_EQ(lines[2], "ERR:1000");
    EXPECT_EQ(lines[3], "NFO:5 Marathon");
}

TEST_F(DirectConnectionTest, LongLinesArriveWholeUpToTheLimitThenCut) {
    TcpListener listener;
    std::string error;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0, 4, error)) << error;
    DirectLinkTuning tuning;
    tuning.maxLineBytes = 10000;
    DirectConnection link(sink_, tuning);
    link.StartDirectConnection("127.0.0.1", listener.Port(), 1);
    TcpSocket peer = listener.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());

    const std::string longer(5000, 'a');  // longer than a 2 KiB line buffer
    const std::string tooLong(30000, 'b');
    const std::string in = longer + "\r\n" + tooLong + "\r\nafter\r\n";
    ASSERT_EQ(peer.SendAll(in.data(), in.size()), static_cast<ssize_t>(in.size()));
    ASSERT_TRUE(sink_.WaitForLines(3));
    const auto lines = sink_.Lines();
    EXPECT_EQ(lines[0], longer);
    EXPECT_EQ(lines[1], std::string(10000, 'b'));
    EXPECT_EQ(lines[2], "after");
    EXPECT_EQ(link.Counters().linesCut, 1u);
    EXPECT_NE(FileText().find("## Ligne reçue de KtORVEX trop longue, coupée à 10000 octets"), std::string::npos);
}

TEST_F(DirectConnectionTest, RetriesWhileNothingListensThenConnects) {
    const int port = test::FreeLoopbackPort();
    DirectConnection link(sink_);
    link.StartDirectConnection("127.0.0.1", port, 0);  // below 1: the shortest pause
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connecting, 3));
    EXPECT_TRUE(link.IsDirectConnecting());
    EXPECT_FALSE(link.IsDirectConnected());
    EXPECT_FALSE(link.SendDirectLine("Ping()"));
    const auto states = sink_.LinkStates();
    const auto times = sink_.LinkStateTimes();
    for (std::size_t i = 0; i < states.size(); ++i) {
        if (states[i].state != DirectLinkState::Closed) continue;
        EXPECT_TRUE(states[i].retrying);
        EXPECT_FALSE(states[i].lost);
        // The next attempt waits at least the shortest pause.
        if (i + 1 < states.size()) {
            EXPECT_GE(times[i + 1] - times[i], 240ms);
        }
    }

    TcpListener listener;
    std::string error;
    ASSERT_TRUE(listener.Listen("127.0.0.1", port, 4, error)) << error;
    TcpSocket peer = listener.Accept(5000);
    EXPECT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    EXPECT_TRUE(link.IsDirectConnected());
    EXPECT_FALSE(sink_.HasFinalClosed());
}

TEST_F(DirectConnectionTest, StopDuringTheRetryPauseIsPrompt) {
    DirectConnection link(sink_);
    link.StartDirectConnection("127.0.0.1", test::FreeLoopbackPort(), 30);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Closed));
    const auto before = Clock::now();
    link.StopDirectConnection();
    EXPECT_LT(Clock::now() - before, 1s);
    EXPECT_FALSE(link.IsDirectConnecting());
    ASSERT_TRUE(sink_.HasFinalClosed());
    EXPECT_FALSE(sink_.FinalClosed().lost);
}

TEST_F(DirectConnectionTest, StopWhileTheConnectionIsPendingIsPrompt) {
    // A listener that never accepts, its queue filled: the next connection attempt hangs.
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener.Get(), 0), 0);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&addr), &length), 0);
    const int port = ntohs(addr.sin_port);
    std::vector<UniqueFd> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }

    const std::size_t fillerConnections = ConnectionsTo(port);

    DirectLinkTuning tuning;
    tuning.connectTimeout = 20s;  // a stop that waited for the attempt would take that long
    DirectConnection link(sink_, tuning);
    link.StartDirectConnection("127.0.0.1", port, 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connecting));
    ASSERT_TRUE(test::WaitFor([&] { return ConnectionsTo(port) > fillerConnections; }));  // the attempt is out
    if (sink_.CountLinkStates(DirectLinkState::Connected) > 0) GTEST_SKIP() << "the system accepted past the backlog";
    EXPECT_TRUE(link.IsDirectConnecting());
    const auto before = Clock::now();
    link.StopDirectConnection();
    EXPECT_LT(Clock::now() - before, 1s);
    EXPECT_FALSE(link.IsDirectConnecting());
    ASSERT_TRUE(sink_.HasFinalClosed());
    const std::size_t count = sink_.LinkStates().size();
    // Time for a late event to show up: none is expected, so there is nothing to wait for.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sink_.LinkStates().size(), count);  // nothing more after the stop
    EXPECT_EQ(sink_.CountLinkStates(DirectLinkState::Connecting), 1u);
}

TEST_F(DirectConnectionTest, PeerClosingIsALossAndNoReconnection) {
    auto sim = StartSimulator();
    DirectConnection link(sink_);
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    ASSERT_TRUE(test::WaitFor([&] { return sim->GetCounts().connected; }));  // accepted, not just queued
    sim->Drop();
    ASSERT_TRUE(sink_.WaitForFinalClosed());
    const DirectLinkStateEvent closed = sink_.FinalClosed();
    EXPECT_TRUE(closed.lost);
    EXPECT_EQ(closed.reason, "connexion fermée par KtORVEX");
    EXPECT_FALSE(link.IsDirectConnected());
    EXPECT_FALSE(link.IsDirectConnecting());
    EXPECT_FALSE(link.SendDirectLine("Ping()"));
    EXPECT_EQ(sink_.CountLinkStates(DirectLinkState::Connecting), 1u);

    // The station switches it on again as soon as it hears of the loss: that is not ignored.
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected, 2));
}

TEST_F(DirectConnectionTest, PortZeroIsAStopRequest) {
    DirectConnection link(sink_);
    link.StartDirectConnection("127.0.0.1", 0, 1);
    ASSERT_TRUE(sink_.WaitForFinalClosed());
    EXPECT_EQ(sink_.CountLinkStates(DirectLinkState::Connecting), 0u);
    EXPECT_TRUE(test::WaitFor([&] { return !link.IsDirectConnecting(); }));
}

TEST_F(DirectConnectionTest, AResultsProgramThatStopsReadingNeverBlocksTheSenders) {
    results_sim::Options options;
    options.receiveBuffer = 4096;
    auto sim = StartSimulator(options);
    DirectLinkTuning tuning;
    tuning.socketSendBuffer = 4096;
    tuning.sendStallLimit = 400ms;
    tuning.maxQueuedBytes = 64 * 1024;
    DirectConnection link(sink_, tuning);
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    sim->SetReading(false);

    std::vector<std::string> accepted;
    Clock::duration slowest{};
    int refused = 0;
    int sent = 0;
    const auto offerLine = [&] {
        const std::string line = "AddRixClock(1\tA\t" + std::to_string(sent++) + "\t1\t10:00:00.00)";
        const auto before = Clock::now();
        const bool queued = link.SendDirectLine(line);
        slowest = std::max(slowest, Clock::now() - before);
        if (queued) {
            accepted.push_back(line);
        } else {
            ++refused;
        }
    };
    // As fast as it takes until the queue is full, then the senders go on until the link gives up.
    while (sent < 100000 && refused == 0 && !sink_.HasFinalClosed()) offerLine();
    test::WaitFor(
        [&] {
            if (sink_.HasFinalClosed()) return true;
            offerLine();
            return false;
        },
        10s);
    EXPECT_LT(slowest, tuning.sendStallLimit);  // a blocking send would wait for the stall at least
    ASSERT_TRUE(sink_.WaitForFinalClosed());
    const DirectLinkStateEvent closed = sink_.FinalClosed();
    EXPECT_TRUE(closed.lost);
    EXPECT_EQ(closed.reason, "KtORVEX ne lit plus les données depuis 400 ms");
    EXPECT_GT(refused, 0);
    EXPECT_NE(FileText().find("## KtORVEX ne prend plus les lignes envoyées : file d'envoi pleine"), std::string::npos);
    EXPECT_FALSE(link.SendDirectLine("Ping()"));

    // What never reached the socket is handed back whole, in order: the last lines accepted.
    const std::vector<std::string> unsent = link.TakeUnsentLines();
    ASSERT_FALSE(unsent.empty());
    EXPECT_EQ(unsent.size(), closed.unsentLines);
    ASSERT_LE(unsent.size(), accepted.size());
    const std::vector<std::string> tail(accepted.end() - static_cast<std::ptrdiff_t>(unsent.size()), accepted.end());
    EXPECT_EQ(unsent, tail);
    EXPECT_TRUE(link.TakeUnsentLines().empty());
}

TEST_F(DirectConnectionTest, ConcurrentSendersNeverInterleaveAndLoseNothing) {
    auto sim = StartSimulator();
    DirectConnection link(sink_);
    link.StartDirectConnection("127.0.0.1", sim->port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> senders;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                const std::string line = "AddRixClock(1\tD" + std::to_string(t) + "\t" + std::to_string(i % 50 + 1) +
                                         "\t1\t10:00:" + std::to_string(10 + i / 50) + "." + std::to_string(i) + ")";
                if (!link.SendDirectLine(line)) ++failures;
            }
        });
    }
    for (auto& sender : senders) sender.join();
    EXPECT_EQ(failures.load(), 0);
    ASSERT_TRUE(sink_.WaitForLines(kThreads * kLines));
    const results_sim::Counts counts = sim->GetCounts();
    EXPECT_EQ(counts.detections, static_cast<std::uint64_t>(kThreads * kLines));
    EXPECT_EQ(counts.duplicates, 0u);
    EXPECT_EQ(counts.bad, 0u);
    // Each sender's lines arrive in its own order.
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : sim->Lines()) {
        const int t = line[15] - '0';
        const std::size_t dot = line.rfind('.');
        EXPECT_EQ(std::stoi(line.substr(dot + 1)), next[static_cast<std::size_t>(t)]++) << line;
    }
}

TEST_F(DirectConnectionTest, SendAndStopRaceSafely) {
    auto sim = StartSimulator();
    DirectConnection link(sink_);
    std::atomic<bool> done{false};
    std::atomic<int> sent{0};
    std::thread sender([&] {
        for (int i = 0; !done.load(); ++i) {
            if (link.SendDirectLine("AddRixClock(1\tR\t" + std::to_string(i) + "\t1\t10:00:00.00)")) ++sent;
        }
    });
    for (int round = 1; round <= 10; ++round) {
        link.StartDirectConnection("127.0.0.1", sim->port(), 1);
        ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected, static_cast<std::size_t>(round)));
        const int before = sent.load();
        ASSERT_TRUE(test::WaitFor([&] { return sent.load() > before + 20; }));  // stop in the middle of sends
        link.StopDirectConnection();
    }
    done.store(true);
    sender.join();
    EXPECT_TRUE(test::WaitFor([&] { return sim->GetCounts().clients == 10 && !sim->GetCounts().connected; }));
    const results_sim::Counts counts = sim->GetCounts();
    EXPECT_EQ(counts.bad, 0u);  // never a line made of two
    EXPECT_EQ(counts.duplicates, 0u);
    EXPECT_EQ(counts.clients, 10u);
}

}  // namespace
}  // namespace winorvex
