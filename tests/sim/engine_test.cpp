// The reader engine on its own: what it answers and what it streams, with time given by the test.
#include <gtest/gtest.h>

#include "line_client.h"
#include "reader_engine.h"
#include "support/test_support.h"

namespace winorvex::sim {
namespace {

using namespace std::chrono_literals;
using test::CommandFrame;
using test::HasValidChecksum;
using Clock = std::chrono::steady_clock;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto lf = text.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::string line = text.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = lf + 1;
    }
    return lines;
}

class EngineTest : public ::testing::Test {
protected:
    void Make(EngineOptions options, int chips = 10) {
        engine_ = std::make_unique<ReaderEngine>(options,
                                                 ChipSource(GeneratedChips(static_cast<uint32_t>(chips)), 0, false, 1),
                                                 clock_, log_, [this](const std::string& n) { notes_.push_back(n); });
        engine_->OnConnected(t0_);
    }
    std::vector<std::string> Command(const std::string& head, Clock::time_point at) {
        std::string out;
        EXPECT_EQ(engine_->HandleLine(CommandFrame(head), out, at), EngineAction::kNone);
        return Lines(out);
    }
    std::vector<std::string> ProduceAt(Clock::time_point at, std::size_t budget = 1 << 20) {
        std::string out;
        engine_->Produce(out, budget, at);
        return Lines(out);
    }

    ReaderClock clock_;
    ReaderLog log_;
    std::vector<std::string> notes_;
    std::unique_ptr<ReaderEngine> engine_;
    Clock::time_point t0_ = Clock::now();
};

TEST_F(EngineTest, ClockSettingIsAcknowledgedAndReadBack) {
    Make({});
    // Set the clock to 2031-07-14 (a Monday) 09:08:07 and read it back as the station does: date
    // from characters 9-14, time from 17-22, hundredths 23-24 in hexadecimal.
    EXPECT_EQ(Command("ab00070131071401090807", t0_), std::vector<std::string>{"ab00000121"});
    const auto reply = Command("ab000002", t0_);
    ASSERT_EQ(reply.size(), 1u);
    const std::string& line = reply[0];
    ASSERT_TRUE(HasValidChecksum(line)) << line;
    EXPECT_EQ(line.substr(4, 4), "0902");
    EXPECT_EQ(line.substr(8, 6), "310714");
    EXPECT_EQ(line.substr(14, 2), "01");
    const std::string hhmmss = line.substr(16, 6);
    EXPECT_TRUE(hhmmss == "090807" || hhmmss == "090808") << hhmmss;
    EXPECT_LT(std::stoi(line.substr(22, 2), nullptr, 16), 100);
    EXPECT_EQ(line.size(), 28u);

    // An impossible date is refused: no acknowledgement, clock unchanged.
    const int64_t offset = clock_.offset_ms();
    EXPECT_TRUE(Command("ab00070131023101090807", t0_).empty());
    EXPECT_TRUE(Command("ab000701310714010908", t0_).empty());  // 6 bytes only: not a clock frame
    EXPECT_EQ(clock_.offset_ms(), offset);
    EXPECT_FALSE(notes_.empty());
}

TEST_F(EngineTest, StreamsPacedReadsUpToTheCount) {
    EngineOptions o;
    o.rate = 100;
    o.count = 25;
    Make(o);
    EXPECT_TRUE(ProduceAt(t0_ + 5ms).empty());
    auto lines = ProduceAt(t0_ + 105ms);
    EXPECT_EQ(lines.size(), 10u);
    for (const auto& l : lines) {
        EXPECT_TRUE(HasValidChecksum(l)) << l;
        EXPECT_EQ(l.size(), 36u);
    }
    EXPECT_EQ(lines[0].substr(4, 12), "058000000001");
    EXPECT_EQ(TagReadSequence(lines[9]), 9);
    lines = ProduceAt(t0_ + 800ms);
    EXPECT_EQ(lines.size(), 15u);  // the count stops the stream
    EXPECT_TRUE(ProduceAt(t0_ + 2s).empty());
    EXPECT_EQ(engine_->Stats().reads_sent, 25u);
}

TEST_F(EngineTest, PauseStopsTheStreamButRequestedReadsStillGo) {
    EngineOptions o;
    o.rate = 1000;
    o.start_paused = true;
    Make(o);
    EXPECT_TRUE(ProduceAt(t0_ + 100ms).empty());
    engine_->AddReads(3);
    EXPECT_EQ(ProduceAt(t0_ + 110ms).size(), 3u);
    engine_->Resume(t0_ + 200ms);
    EXPECT_EQ(ProduceAt(t0_ + 210ms).size(), 10u);
    engine_->Pause();
    EXPECT_TRUE(ProduceAt(t0_ + 400ms).empty());
}

TEST_F(EngineTest, UnpacedProductionRespectsTheBudget) {
    EngineOptions o;
    o.rate = 0;
    o.count = 100000;
    Make(o);
    std::string out;
    const auto next = engine_->Produce(out, 4096, t0_);
    EXPECT_GE(out.size(), 4096u);
    EXPECT_LT(out.size(), 4096u + kMaxTagLine);
    EXPECT_LE(next, t0_);  // more is due at once
}

TEST_F(EngineTest, RecordThenReplayYieldsTheRecordedReadsAndADetailReachingZero) {
    EngineOptions o;
    o.rate = 1000;
    o.count = 30;
    Make(o);
    EXPECT_EQ(Command("ab00024b0001", t0_), std::vector<std::string>{CommandFrame("ab00014b00").substr(0, 12)});
    const auto live = ProduceAt(t0_ + 100ms);
    ASSERT_EQ(live.size(), 30u);
    EXPECT_EQ(Command("ab00024b0000", t0_ + 100ms).size(), 1u);

    // One record on demand, then the rest through replay with periodic details.
    auto one = Command("ab00004b", t0_ + 110ms);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], live[0]);
    EXPECT_EQ(one[1].substr(0, 8), "ab00004b");
    auto started = Command("ab00034b070105", t0_ + 110ms);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].substr(0, 10), "ab00014b00");
    EXPECT_EQ(Command("ab00024b0101", t0_ + 110ms).size(), 1u);

    std::vector<std::string> replayed;
    std::string last_detail;
    for (int step = 1; step <= 20 && (replayed.size() < 29 || last_detail.empty()); ++step) {
        for (const auto& l : ProduceAt(t0_ + 110ms + step * 100ms)) {
            if (l.rfind("aa", 0) == 0) replayed.push_back(l);
            if (l.rfind("ab000c4b", 0) == 0) last_detail = l;
        }
    }
    ASSERT_EQ(replayed.size(), 29u);
    for (std::size_t i = 0; i < replayed.size(); ++i) EXPECT_EQ(replayed[i], live[i + 1]);
    ASSERT_TRUE(HasValidChecksum(last_detail));
    const auto hex = [&](int pos, int n) { return std::stoi(last_detail.substr(pos - 1, n), nullptr, 16); };
    const int a = hex(11, 2), b = hex(13, 4), c = hex(17, 2), d = hex(19, 4), g = hex(27, 4);
    EXPECT_EQ(a * g + b, 30);
    EXPECT_EQ((a - c) * g + b - d, 0);

    // Rewind brings everything back; "mark all read" empties what is left.
    EXPECT_EQ(Command("ab00014b02", t0_ + 3s)[0].substr(0, 8), "ab00004b");
    EXPECT_EQ(engine_->Stats().played_back, 0u);
    Command("ab00014b03", t0_ + 3s);
    EXPECT_EQ(engine_->Stats().played_back, 30u);
    Command("ab00024b0700", t0_ + 3s);
    Command("ab00024b0100", t0_ + 3s);
    EXPECT_TRUE(ProduceAt(t0_ + 5s).empty());
}

TEST_F(EngineTest, ClearingReportsProgressThenEmptiesTheMemory) {
    EngineOptions o;
    o.rate = 0;
    o.count = 5;
    Make(o);
    Command("ab00024b0001", t0_);
    ASSERT_EQ(ProduceAt(t0_).size(), 5u);
    EXPECT_TRUE(Command("ab00014bd0", t0_).empty());
    std::vector<int> percents;
    for (int step = 1; step <= 10; ++step) {
        for (const auto& l : ProduceAt(t0_ + step * 50ms)) {
            ASSERT_TRUE(HasValidChecksum(l)) << l;
            ASSERT_EQ(l.substr(0, 10), "ab00034bd0");
            const std::string last6 = l.substr(l.size() - 6);
            percents.push_back(std::stoi(last6.substr(0, 2), nullptr, 16) * 100 /
                               std::stoi(last6.substr(2, 2), nullptr, 16));
            if (percents.back() < 100) {
                EXPECT_EQ(engine_->Stats().recorded, 5u);
            }
        }
    }
    EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(engine_->Stats().recorded, 0u);
}

TEST_F(EngineTest, EveryOtherCommandGetsAValidReplyAndPowerOffIsReported) {
    Make({});
    for (const std::string head : {"ab00010405", "ab00000a", "ab000027", "ab00ff4b"}) {
        const auto reply = Command(head, t0_);
        ASSERT_EQ(reply.size(), 1u) << head;
        EXPECT_TRUE(HasValidChecksum(reply[0])) << reply[0];
        EXPECT_EQ(reply[0].substr(0, 2), "ab");
    }
    std::string out;
    EXPECT_EQ(engine_->HandleLine(CommandFrame("ab000049"), out, t0_), EngineAction::kPowerOff);
    EXPECT_EQ(engine_->Stats().commands, 5u);

    // Frames with a bad checksum or no frame at all are ignored with a note and counted.
    notes_.clear();
    out.clear();
    EXPECT_EQ(engine_->HandleLine("ab00000223\r", out, t0_), EngineAction::kNone);
    EXPECT_EQ(engine_->HandleLine(std::string("\x01\xff zz", 5), out, t0_), EngineAction::kNone);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(engine_->Stats().bad_frames, 2u);
    ASSERT_EQ(notes_.size(), 2u);
    EXPECT_NE(notes_[1].find("\\x01\\xff"), std::string::npos) << notes_[1];
}

TEST_F(EngineTest, FaultLinesAreNeverValidReaderLines) {
    Make({});
    std::string out;
    engine_->AppendGarbage(out, 40);
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 40u);
    for (const auto& l : lines) EXPECT_FALSE(HasValidChecksum(l)) << l;

    out.clear();
    engine_->AppendOverlong(out, 5000);
    EXPECT_EQ(out.size(), 5002u);
    EXPECT_EQ(out.find('\n'), 5001u);
}

TEST_F(EngineTest, HistoryLogGetsTheStreamedReads) {
    winorvex::test::ScratchDir dir;
    std::string error;
    ASSERT_TRUE(log_.Open(dir.str() + "/history.log", &error)) << error;
    EngineOptions o;
    o.rate = 0;
    o.count = 4;
    Make(o);
    std::string out;
    engine_->Produce(out, 1 << 16, t0_);
    EXPECT_EQ(dir.ReadFile("history.log"), out);
}

}  // namespace
}  // namespace winorvex::sim
