// Recorded detections on the direct connection, written from the result list by the link thread,
// against a raw peer that records every byte.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/log_fixture.h"
#include "detections/record_detection.h"
#include "detections/result_list.h"
#include "platform/tcp_listener.h"
#include "raw_peer.h"
#include "results_link/detection_forwarder.h"
#include "results_link/direct_connection.h"
#include "results_sim.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ReadBytes;

// What a box worker hands on: the record's position, nothing else.
class ForwardingOutputs final : public DetectionOutputs {
public:
    explicit ForwardingOutputs(DetectionForwarder& forwarder) : forwarder_(forwarder) {}
    bool IsDirectConnected() override { return false; }
    void SendDirectLine(std::string_view) override {}
    void ForwardDetection(const CRixResult&, std::size_t position) override { forwarder_.OnRecorded(position); }
    void AddToDetectionsPane(std::string_view, std::uint32_t, const CChrono&) override {}

private:
    DetectionForwarder& forwarder_;
};

class DetectionForwardingTest : public test::LogFixture {
protected:
    void SetUp() override {
        LogFixture::SetUp();
        SetLanguage(Language::French);
        ClearResults();
        ASSERT_TRUE(listener_.Listen("127.0.0.1", 0, 4, error_)) << error_;
    }
    void TearDown() override {
        ClearResults();
        LogFixture::TearDown();
    }

    void Record(const std::string& detector, int bib, int hundredths) {
        RecordDetection(std::to_string(bib), detector, CChrono(),
                        CChrono(36000 + hundredths / 100, 10 * (hundredths % 100)), outputs_);
    }

    static std::string Line(const std::string& detector, int bib, int hundredths) {
        char time[32];
        std::snprintf(time, sizeof time, "10:%02d:%02d.%02d", (hundredths / 6000) % 60, (hundredths / 100) % 60,
                      hundredths % 100);
        return "AddRixClock(1\t" + detector + "\t" + std::to_string(bib) + "\t1\t" + time + ")\r\n";
    }

    std::string error_;
    TcpListener listener_;
    test::RecordingStationEvents sink_;
    DetectionForwarder forwarder_;
    ForwardingOutputs outputs_{forwarder_};
};

TEST_F(DetectionForwardingTest, ABacklogFarBeyondTheSendQueueArrivesWholeAndBeforeTheNewLines) {
    DirectLinkTuning tuning;
    tuning.maxQueuedBytes = 2048;  // a queue that could hold some 40 lines
    DirectConnection link(sink_, tuning, &forwarder_);
    forwarder_.SetResend(true);
    // Recorded while the link is down: with resending on, all of it goes once the link is up.
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        Record(i % 2 == 0 ? "31" : "32", 1 + i % 97, i);
        expected += Line(i % 2 == 0 ? "31" : "32", 1 + i % 97, i);
    }
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    // New detections while the backlog is going out wait behind it.
    for (int i = 3000; i < 3200; ++i) {
        Record("31", 7, i);
        expected += Line("31", 7, i);
    }
    EXPECT_EQ(ReadBytes(peer, expected.size()), expected);
    EXPECT_EQ(link.Counters().linesRefused, 0u);
}

TEST_F(DetectionForwardingTest, TheNextLinkStartsAfterTheLastAnsweredDetection) {
    DirectConnection link(sink_, {}, &forwarder_);
    forwarder_.SetResend(true);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    {
        TcpSocket peer = listener_.Accept(5000);
        ASSERT_TRUE(peer.IsOpen());
        ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
        Record("31", 5, 1);
        Record("31", 7, 2);
        Record("31", 5, 3);
        Record("31", 9, 4);
        const std::string sent = Line("31", 5, 1) + Line("31", 7, 2) + Line("31", 5, 3) + Line("31", 9, 4);
        ASSERT_EQ(ReadBytes(peer, sent.size()), sent);
        // The first detection gets an error instead of a record: it was read all the same. The
        // record of bib 7 marks the second one; nothing answers the last two.
        const std::string answers = "ERR:104\r\nkt04\\1\\1\\1\\1\\7\\Dupr\\H\\F\\SE\\S\\T\\10:00:00\\0\\3\r\n";
        ASSERT_EQ(peer.SendAll(answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
        ASSERT_TRUE(sink_.WaitForLines(2));
    }
    ASSERT_TRUE(sink_.WaitForFinalClosed());
    EXPECT_TRUE(sink_.FinalClosed().lost);
    EXPECT_EQ(sink_.FinalClosed().unsentLines, 2u);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    const std::string again = Line("31", 5, 3) + Line("31", 9, 4);
    EXPECT_EQ(ReadBytes(peer, again.size() + 1, 500ms), again);
}

// A runner record answering one detection, with the time as the results program prints it.
std::string Answer(int bib, int hundredths) {
    char time[16];
    std::snprintf(time, sizeof time, "10:%02d:%02d", (hundredths / 6000) % 60, (hundredths / 100) % 60);
    return "kt04\\1\\1\\1\\1\\" + std::to_string(bib) + "\\Dupr\\H\\F\\SE\\S\\T\\" + time + "\\0\\3\r\n";
}

TEST_F(DetectionForwardingTest, AnswersAfterALongUnansweredRunStillMoveTheMarkButNotPastAnUnreadLine) {
    DirectConnection link(sink_, {}, &forwarder_);
    forwarder_.SetResend(true);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    // Far more lines than the time of one bib is compared with, each with its own bib; then the
    // same bib at the same time on both boxes, and one more.
    constexpr int kLines = 7000;
    std::string sent;
    for (int i = 0; i < kLines; ++i) {
        Record(i % 2 == 0 ? "31" : "32", 1000 + i, i);
        sent += Line(i % 2 == 0 ? "31" : "32", 1000 + i, i);
    }
    Record("31", 9, kLines);
    Record("32", 9, kLines);
    Record("31", 10, kLines + 1);
    sent += Line("31", 9, kLines) + Line("32", 9, kLines) + Line("31", 10, kLines + 1);
    ASSERT_EQ(ReadBytes(peer, sent.size()), sent);
    const auto answer = [&](int from, int to) {
        std::string answers;
        for (int i = from; i < to; ++i) answers += Answer(1000 + i, i);
        ASSERT_EQ(peer.SendAll(answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
    };
    answer(0, 100);
    ASSERT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == 100u; }))
        << forwarder_.Counters().answered;
    // The results program refuses 5 000 detections without a record, then answers again: every
    // later answer moves the mark, and nothing is awaited once the last written line is answered.
    answer(5100, 5101);
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == 5101u; }))
        << forwarder_.Counters().answered;
    answer(5101, kLines);
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == std::size_t{kLines}; }))
        << forwarder_.Counters().answered;
    // The record does not say which box: the answer is for the first of the two.
    const std::string same = Answer(9, kLines);
    ASSERT_EQ(peer.SendAll(same.data(), same.size()), static_cast<ssize_t>(same.size()));
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == std::size_t{kLines} + 1; }))
        << forwarder_.Counters().answered;
    DetectionForwarder::Clock::time_point since;
    EXPECT_TRUE(forwarder_.AwaitingAnswers(since));
    const std::string last = Answer(10, kLines + 1);
    ASSERT_EQ(peer.SendAll(last.data(), last.size()), static_cast<ssize_t>(last.size()));
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == std::size_t{kLines} + 3; }));
    EXPECT_FALSE(forwarder_.AwaitingAnswers(since));
}

TEST_F(DetectionForwardingTest, AnAnswerMarksTheLineOfItsBibWhoseTimeFitsElseTheFirstOfTheBib) {
    DirectConnection link(sink_, {}, &forwarder_);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    const std::vector<std::pair<int, int>> lines = {{5, 0}, {6, 100}, {5, 200}, {7, 300}, {5, 400}, {8, 500}};
    std::string sent;
    for (const auto& [bib, hundredths] : lines) {
        Record("31", bib, hundredths);
        sent += Line("31", bib, hundredths);
    }
    ASSERT_EQ(ReadBytes(peer, sent.size()), sent);
    const auto send = [&](const std::string& text) {
        ASSERT_EQ(peer.SendAll(text.data(), text.size()), static_cast<ssize_t>(text.size()));
    };
    send(Answer(5, 200));
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == 3u; })) << forwarder_.Counters().answered;
    // A time the results program prints for none of them: the first of the bib left is taken.
    send(Answer(5, 9900));
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == 5u; })) << forwarder_.Counters().answered;
    // A bib no written line carries moves nothing; the next answer still does.
    send(Answer(6, 100) + Answer(8, 500));
    EXPECT_TRUE(test::WaitFor([&] { return forwarder_.Counters().answered == 6u; })) << forwarder_.Counters().answered;
}

TEST_F(DetectionForwardingTest, TwoRecordersAndALinkBrokenMidwayLoseNothingAndKeepEachBoxsOrder) {
    results_sim::Options options;
    options.port = 0;
    options.quiet = true;
    results_sim::ResultsSimulator sim(options);
    ASSERT_TRUE(sim.Start(error_)) << error_;
    DirectConnection link(sink_, {}, &forwarder_);
    forwarder_.SetResend(true);
    link.StartDirectConnection("127.0.0.1", sim.port(), 1);
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    constexpr int kEach = 3000;
    std::atomic<int> recorded{0};
    std::vector<std::thread> boxes;
    for (const char* detector : {"31", "32"}) {
        boxes.emplace_back([&, detector] {
            for (int i = 0; i < kEach; ++i) {
                Record(detector, 1 + i % 200, i);
                ++recorded;
            }
        });
    }
    ASSERT_TRUE(test::WaitFor([&] { return recorded.load() > kEach / 2; }));
    sim.Drop();
    ASSERT_TRUE(sink_.WaitForFinalClosed());
    link.StartDirectConnection("127.0.0.1", sim.port(), 1);
    for (auto& box : boxes) box.join();
    // Every detection once at least; what came twice came again after the link broke.
    ASSERT_TRUE(test::WaitFor([&] { return sim.Received().size() == 2u * kEach; }, 20s));
    // Each box's detections come in recording order; only the start of the resend goes back.
    std::map<std::string, int> last;
    std::map<std::string, int> backwards;
    for (const std::string& line : sim.Lines()) {
        if (!line.starts_with("AddRixClock(1\t")) continue;
        const std::string detector = line.substr(14, 2);
        const std::size_t n = line.size();
        const int hundredths = std::stoi(line.substr(n - 3, 2)) + 100 * std::stoi(line.substr(n - 6, 2)) +
                               6000 * std::stoi(line.substr(n - 9, 2));
        if (last.count(detector) != 0 && hundredths <= last[detector]) ++backwards[detector];
        last[detector] = hundredths;
    }
    EXPECT_LE(backwards["31"], 1);
    EXPECT_LE(backwards["32"], 1);
}

TEST_F(DetectionForwardingTest, WithoutResendingOnlyWhatIsRecordedWhileConnectedIsSent) {
    DirectConnection link(sink_, {}, &forwarder_);
    Record("31", 1, 1);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    Record("31", 2, 2);
    const std::string expected = Line("31", 2, 2);
    EXPECT_EQ(ReadBytes(peer, expected.size() + 1, 500ms), expected);
}

TEST_F(DetectionForwardingTest, TextLeavesInWindows1252AndWhatItCannotCarryIsLoggedOnce) {
    DirectConnection link(sink_, {}, &forwarder_);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
    ASSERT_TRUE(link.SendDirectLine("Arrivée"));
    EXPECT_EQ(ReadBytes(peer, 9),
              "Arriv\xe9"
              "e\r\n");
    Record("Arrivée", 12, 5);
    const std::string detection =
        "AddRixClock(1\tArriv\xe9"
        "e\t12\t1\t10:00:00.05)\r\n";
    EXPECT_EQ(ReadBytes(peer, detection.size()), detection);
    ASSERT_TRUE(link.SendDirectLine("Ωmega €"));
    ASSERT_TRUE(link.SendDirectLine("Ω again"));
    EXPECT_EQ(ReadBytes(peer, 18), "?mega \x80\r\n? again\r\n");
    std::size_t logged = 0;
    for (const std::string& line : FileLines()) {
        if (line.find("## Texte non transmissible tel quel à KtORVEX") != std::string::npos) {
            ++logged;
            EXPECT_NE(line.find("Ωmega €"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(logged, 1u);
}

TEST_F(DetectionForwardingTest, ForgottenDetectionsAreNotSentAfterTheListWasCleared) {
    DirectConnection link(sink_, {}, &forwarder_);
    forwarder_.SetResend(true);
    for (int i = 0; i < 10; ++i) Record("31", 1, i);
    ClearResults();
    Record("32", 2, 50);
    link.StartDirectConnection("127.0.0.1", listener_.Port(), 1);
    TcpSocket peer = listener_.Accept(5000);
    ASSERT_TRUE(peer.IsOpen());
    const std::string expected = Line("32", 2, 50);
    EXPECT_EQ(ReadBytes(peer, expected.size() + 1, 500ms), expected);
}

}  // namespace
}  // namespace winorvex
