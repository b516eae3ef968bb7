// The simulated results program, driven through the real link and decoded by the station's
// decoder, in-process and as the program a script starts.
#include "results_sim.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/texts.h"
#include "results_link/direct_connection.h"
#include "results_link/results_line.h"
#include "results_link/results_messages.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"

extern char** environ;

namespace winorvex {
namespace {

using namespace std::chrono_literals;

class ResultsSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CurrentLanguage();
        SetLanguage(Language::French);
    }
    void TearDown() override {
        link_.reset();
        if (sim_) sim_->Stop();
        SetLanguage(saved_);
    }

    void Start(results_sim::Options options = {}) {
        options.port = 0;
        options.quiet = true;
        sim_ = std::make_unique<results_sim::ResultsSimulator>(options);
        std::string error;
        ASSERT_TRUE(sim_->Start(error)) << error;
        link_ = std::make_unique<DirectConnection>(sink_);
        link_->StartDirectConnection("127.0.0.1", sim_->port(), 1);
        ASSERT_TRUE(sink_.WaitForState(DirectLinkState::Connected));
        // Connected on our side once the kernel completed the handshake; the simulator takes the
        // client a moment later, and what it sends before that goes nowhere.
        ASSERT_TRUE(winorvex::test::WaitFor([this] { return sim_->GetCounts().connected; }));
    }

    // Sends the line and decodes the answer.
    ResultsLineOutcome Ask(const std::string& line) {
        const std::size_t before = sink_.Lines().size();
        EXPECT_TRUE(link_->SendDirectLine(line));
        if (!sink_.WaitForLines(before + 1)) return {};
        return DecodeResultsLine(sink_.Lines()[before]);
    }

    static std::string Detection(const std::string& detector, int bib, const std::string& time) {
        return "AddRixClock(1\t" + detector + "\t" + std::to_string(bib) + "\t1\t" + time + ")";
    }

    test::RecordingStationEvents sink_;
    std::unique_ptr<results_sim::ResultsSimulator> sim_;
    std::unique_ptr<DirectConnection> link_;
    Language saved_ = Language::French;
};

TEST_F(ResultsSimTest, DetectionsCanBeLeftUnansweredWhileRequestsAreStillAnswered) {
    Start();
    EXPECT_EQ(sim_->Execute("answers maybe"), "error: answers on|off");
    EXPECT_EQ(sim_->Execute("answers off"), "ok");
    ASSERT_TRUE(link_->SendDirectLine(Detection("31", 5, "10:00:00.01")));
    EXPECT_EQ(Ask("Ping()").informationCode, 20);  // the detection before it got nothing
    EXPECT_EQ(sim_->GetCounts().detections, 1u);
    EXPECT_EQ(sim_->Execute("answers on"), "ok");
    EXPECT_EQ(Ask(Detection("31", 5, "10:00:01.01")).kind, ResultsLineKind::RunnerRecord);
}

TEST_F(ResultsSimTest, EveryRecordFormatDecodesToTheRunner) {
    Start();
    const results_sim::RecordFormat formats[] = {results_sim::RecordFormat::kKt04, results_sim::RecordFormat::kKt05,
                                                 results_sim::RecordFormat::kKt06, results_sim::RecordFormat::kRes1};
    int bib = 10;
    for (const auto format : formats) {
        sim_->SetFormat(format);
        ++bib;
        const auto first = Ask(Detection("ARR", bib, "10:00:0" + std::to_string(bib % 10) + ".00"));
        ASSERT_EQ(first.kind, ResultsLineKind::RunnerRecord) << results_sim::RecordFormatName(format);
        EXPECT_EQ(first.code, 3);
        EXPECT_EQ(first.record->number, bib);
        EXPECT_EQ(first.summaryItem->pass, ".");
        EXPECT_EQ(first.display->time, "10:00:0" + std::to_string(bib % 10));
        EXPECT_FALSE(first.summaryItem->error);
        const auto second = Ask(Detection("ARR", bib, "11:00:00.00"));
        ASSERT_TRUE(second.summaryItem.has_value());
        EXPECT_EQ(second.summaryItem->pass, "p2");
    }
    // Ranks follow the order of arrival at the detector.
    EXPECT_EQ(Ask(Detection("ARR", 15, "12:00:00.00")).record->overallRank, 5);
}

TEST_F(ResultsSimTest, RepeatsUnknownRunnersAndForcedStatuses) {
    results_sim::Options options;
    options.generatedRunners = 20;
    Start(options);
    EXPECT_EQ(Ask(Detection("A", 3, "10:00:00.00")).code, 3);
    const auto repeat = Ask(Detection("A", 3, "10:00:00.00"));
    EXPECT_EQ(repeat.code, 0);
    EXPECT_TRUE(repeat.summaryItem->error);
    EXPECT_EQ(repeat.summaryItem->result, "Temps du coureur inchangé");
    const auto unknown = Ask(Detection("A", 99, "10:00:01.00"));
    EXPECT_EQ(unknown.code, -5);
    EXPECT_EQ(unknown.summaryItem->result, "Coureur inconnu");
    sim_->SetForcedStatus(-8);
    EXPECT_EQ(Ask(Detection("A", 4, "10:00:02.00")).kind, ResultsLineKind::ControlTime);
    sim_->SetForcedStatus(std::nullopt);

    const results_sim::Counts counts = sim_->GetCounts();
    EXPECT_EQ(counts.detections, 4u);
    EXPECT_EQ(counts.distinct, 3u);
    EXPECT_EQ(counts.duplicates, 1u);
    const auto received = sim_->Received();
    EXPECT_EQ(received.at("A\t3\t10:00:00.00"), 2);
    EXPECT_EQ(received.at("A\t99\t10:00:01.00"), 1);
    EXPECT_EQ(Ask("AddRixClock(1\tA)").code, 104);
    EXPECT_EQ(Ask("Jump()").code, 103);
}

TEST_F(ResultsSimTest, InformationRequestsAndAnOldVersion) {
    results_sim::Options options;
    options.version = "4,3,9,0";
    Start(options);
    for (const std::string_view request : kInformationRequests) ASSERT_TRUE(link_->SendDirectLine(request));
    ASSERT_TRUE(link_->SendDirectLine(kPingRequest));
    ASSERT_TRUE(sink_.WaitForLines(kInformationRequests.size() + 1));
    bool refused = false;
    std::vector<std::string> logged;
    for (const std::string& line : sink_.Lines()) {
        const auto outcome = DecodeResultsLine(line);
        EXPECT_EQ(outcome.kind, ResultsLineKind::Information) << line;
        refused = refused || outcome.incompatibleVersion;
        for (const auto& log : outcome.logLines) logged.push_back(log.text);
    }
    EXPECT_TRUE(refused);
    // Seven answers logged, the ping answer silent.
    ASSERT_EQ(logged.size(), kInformationRequests.size());
    EXPECT_EQ(logged[2], "$$$ Nom de la compétition: Marathon");
    EXPECT_EQ(logged[4], "$$$ Version: 4,3,9,0");
    EXPECT_EQ(sim_->GetCounts().requests, kInformationRequests.size());
    EXPECT_EQ(sim_->GetCounts().pings, 1u);
}

TEST_F(ResultsSimTest, AccentedNamesAndGarbageReachTheDecoder) {
    Start();
    sim_->SendAccentedRecord(7);
    ASSERT_TRUE(sink_.WaitForLines(1));
    const auto outcome = DecodeResultsLine(sink_.Lines()[0]);
    ASSERT_EQ(outcome.kind, ResultsLineKind::RunnerRecord);
    EXPECT_EQ(outcome.speechText, "Hélène  Dupré-Müller");
    EXPECT_EQ(outcome.record->team, "Œuvre Ætna");

    sim_->SendGarbage(7);
    ASSERT_TRUE(sink_.WaitForLines(8));
    for (std::size_t i = 1; i < 8; ++i) {
        const auto garbage = DecodeResultsLine(sink_.Lines()[i]);
        EXPECT_TRUE(garbage.kind == ResultsLineKind::Undecodable || garbage.kind == ResultsLineKind::UndecodableRecord)
            << sink_.Lines()[i];
    }
    EXPECT_TRUE(link_->IsDirectConnected());
}

// The program, as a script starts it.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int out[2], in[2];
        if (::pipe(out) != 0 || ::pipe(in) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        args.insert(args.begin(), RESULTS_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, RESULTS_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(in[0]);
        out_ = out[0];
        in_ = in[1];
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(in_);
    }
    bool ReadLine(std::string& line) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        for (;;) {
            const auto lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) return false;
            pollfd pfd{out_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) continue;
            char chunk[512];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    void Write(const std::string& text) { [[maybe_unused]] auto n = ::write(in_, text.data(), text.size()); }
    int WaitExit() {
        int status = 0;
        if (!test::WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 5s)) return -2;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::string buffer_;
};

TEST(ResultsSimProgram, PrintsItsPortAndTakesCommandsOnStandardInput) {
    Program program({"--port", "0", "--stdin-control", "--quiet", "--format", "kt06"});
    ASSERT_TRUE(program.started());
    std::string line;
    ASSERT_TRUE(program.ReadLine(line));
    ASSERT_TRUE(line.starts_with("results-sim ready port=")) << line;
    const int port = std::stoi(line.substr(line.find('=') + 1));

    test::RecordingStationEvents sink;
    DirectConnection link(sink);
    link.StartDirectConnection("127.0.0.1", port, 1);
    ASSERT_TRUE(sink.WaitForState(DirectLinkState::Connected));
    ASSERT_TRUE(link.SendDirectLine("AddRixClock(1\tX\t5\t1\t09:00:00.00)"));
    ASSERT_TRUE(sink.WaitForLines(1));
    EXPECT_TRUE(sink.Lines()[0].starts_with("kt06\\1\\"));

    program.Write("counts\nlist\nbogus\ndrop\n");
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_TRUE(line.starts_with("detections=1 distinct=1 duplicates=0")) << line;
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_EQ(line, "X\t5\t09:00:00.00\t1");
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_EQ(line, "end");
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_EQ(line, "error: unknown command bogus");
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_EQ(line, "ok");
    ASSERT_TRUE(sink.WaitForFinalClosed());
    EXPECT_TRUE(sink.FinalClosed().lost);

    program.Write("quit\n");
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_EQ(line, "ok");
    ASSERT_TRUE(program.ReadLine(line));
    EXPECT_EQ(line, "results-sim done detections=1 distinct=1 duplicates=0");
    EXPECT_EQ(program.WaitExit(), 0);
}

}  // namespace
}  // namespace winorvex
