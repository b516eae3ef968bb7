// The local command service: its matching rules and answers, and the real socket with its bounds.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "app/command_dispatch.h"
#include "app/command_paths.h"
#include "app/detections_list_model.h"
#include "core/unique_fd.h"
#include "station_fixture.h"
#include "support/child_process.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

class RecordingCommands : public StationCommands {
public:
    bool ExportAllTo(const std::string& path) override {
        exports.push_back(path);
        return exportSucceeds;
    }
    bool StartAcquisition() override { return ++starts, connects; }
    void ClearAcquisitions() override { ++clears; }
    void SetDirectConnectionWanted(bool wanted) override { wish = wanted; }
    bool DirectConnectionWanted() const override { return wish; }
    void PopFront() override { ++popFronts; }

    std::vector<std::string> exports;
    bool exportSucceeds = true;
    bool connects = true;
    bool wish = false;
    int starts = 0;
    int clears = 0;
    int popFronts = 0;
};

class CommandRules : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetLogWindowAttached(true);
        SetLogWindowLevel(100);
        DrainLogWindowQueue();
    }
    void TearDown() override {
        SetLogWindowAttached(false);
        SetLogWindowLevel(50);
    }
    // The window's log lines since the last call, as "level text".
    std::vector<std::string> Logged() {
        std::vector<std::string> lines;
        for (const LogEntry& entry : DrainLogWindowQueue())
            lines.push_back(std::to_string(entry.level) + " " + entry.text);
        return lines;
    }
    RecordingCommands station_;
};

TEST_F(CommandRules, ExportToCleansThePathAndNeedsOne) {
    EXPECT_EQ(DispatchCommand("ExportTo(/tmp/out.rix);", station_), "<ok>");
    EXPECT_EQ(DispatchCommand("ExportTo  ( /tmp/with blank.rix ) ; ", station_), "<ok>");
    EXPECT_EQ(DispatchCommand("ExportTo()", station_), std::nullopt);
    EXPECT_EQ(DispatchCommand("ExportTo", station_), std::nullopt);
    EXPECT_EQ(station_.exports, (std::vector<std::string>{"/tmp/out.rix", "/tmp/with blank.rix"}));
    station_.exportSucceeds = false;
    EXPECT_EQ(DispatchCommand("ExportTo(/nowhere/out.rix)", station_), "<error>");
    EXPECT_EQ(Logged().front(), "20 Processing command: ExportTo(/tmp/out.rix);");
}

TEST_F(CommandRules, MatchingIsCaseSensitiveByPrefixInOrder) {
    EXPECT_EQ(DispatchCommand("startacquisition", station_), std::nullopt);
    EXPECT_EQ(station_.starts, 0);
    EXPECT_EQ(Logged(), (std::vector<std::string>{"0 Processing command: startacquisition"}));
    EXPECT_EQ(DispatchCommand("StartAcquisitionNow", station_), "<ok>");
    station_.connects = false;
    EXPECT_EQ(DispatchCommand("StartAcquisition", station_), "Cannot connect to any acquisition system...");
    SetLanguage(Language::French);
    EXPECT_EQ(DispatchCommand("StartAcquisition", station_), "Erreur de connexion aux boitiers d'acquisition...");
    EXPECT_EQ(DispatchCommand("ClearAcquisitions", station_), "<ok>");
    EXPECT_EQ(station_.clears, 1);
}

TEST_F(CommandRules, DirectConnectionWishIsSetAndRead) {
    EXPECT_EQ(DispatchCommand("GetDirectConnection", station_), "0");
    EXPECT_EQ(DispatchCommand("SetDirectConnection(1)", station_), "<ok>");
    EXPECT_EQ(DispatchCommand("GetDirectConnection", station_), "1");
    EXPECT_EQ(DispatchCommand("SetDirectConnection 0", station_), "<ok>");
    EXPECT_FALSE(station_.wish);
    EXPECT_EQ(DispatchCommand("SetDirectConnection()", station_), std::nullopt);
    EXPECT_EQ(DispatchCommand("SetDirectConnection(x)", station_), std::nullopt);
    const std::vector<std::string> lines = Logged();
    EXPECT_EQ(lines.front(), "90 Processing command: GetDirectConnection");
    EXPECT_EQ(lines.at(1), "50 Processing command: SetDirectConnection(1)");
    EXPECT_EQ(DirectConnectionArgument("SetDirectConnection( 7 )"), 7);
}

TEST_F(CommandRules, PopFrontAnswersOne) {
    EXPECT_EQ(DispatchCommand("PopFront", station_), "1");
    EXPECT_EQ(station_.popFronts, 1);
}

TEST(CommandAnswer, LongAnswersAreCutTo255WithoutSplittingACharacter) {
    EXPECT_EQ(CutAnswer(std::string(300, 'a')).size(), 255u);
    std::string accents(254, 'a');
    accents += "é";  // two bytes across the limit
    accents += "zz";
    EXPECT_EQ(CutAnswer(accents), std::string(254, 'a'));
    EXPECT_EQ(CutAnswer("<ok>"), "<ok>");
}

// ---- through the socket ----------------------------------------------------------------------

// One request as another program sends it; runs on its own thread while the station pumps.
struct Reply {
    bool connected = false;
    bool closed = false;  // the station closed the connection
    std::string bytes;
};

Reply Ask(const std::string& path, const std::string& request,
          std::chrono::milliseconds wait = std::chrono::seconds(8)) {
    Reply reply;
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return reply;
    reply.connected = true;
    WriteAll(fd.Get(), request.data(), request.size());
    timeval timeout{static_cast<time_t>(wait.count() / 1000), 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n == 0) reply.closed = true;
        if (n <= 0) break;
        reply.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return reply;
}

class CommandServiceTest : public StationTest {
protected:
    Reply Request(const std::string& request) {
        auto pending = std::async(std::launch::async,
                                  [path = station_->CommandSocketPath(), request] { return Ask(path, request); });
        EXPECT_TRUE(Pump([&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return pending.get();
    }
};

TEST_F(CommandServiceTest, AnswersOneLineAndClosesOrClosesWithoutALine) {
    Station& station = MakeStation();
    EXPECT_EQ(station.CommandSocketPath(), scratch_.str() + "/WinORVEX/ORVEX");
    EXPECT_EQ(fs::status(scratch_.str() + "/WinORVEX").permissions() & fs::perms::all, fs::perms::owner_all);

    Reply reply = Request("GetDirectConnection\n");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, "0\n");
    EXPECT_EQ(Request("SetDirectConnection(1)\r\n").bytes, "<ok>\n");
    EXPECT_EQ(Request("GetDirectConnection\n").bytes, "1\n");
    reply = Request("startacquisition\n");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_EQ(Request("ExportTo()\n").bytes, "");
}

TEST_F(CommandServiceTest, ClearsAndExportsWithoutAQuestion) {
    Station& station = MakeStation();
    AddResult("31", "1001", CChrono(), CChrono(36000, 0), false, true);
    AddResult("31", "1002", CChrono(), CChrono(36001, 0), false, true);
    const std::string target = scratch_.str() + "/export.rix";
    EXPECT_EQ(Request("ExportTo(" + target + ");\n").bytes, "<ok>\n");
    EXPECT_EQ(ReadWholeFile(target), "1\t31\t1001\t1\t10:00:00.00\t1\r\n2\t31\t1002\t1\t10:00:01.00\t1\r\n");
    EXPECT_EQ(Request("ExportTo(" + scratch_.str() + "/missing/folder/x.rix)\n").bytes, "<error>\n");

    EXPECT_EQ(Request("ClearAcquisitions\n").bytes, "<ok>\n");
    EXPECT_EQ(CountActiveResults(), 0u);
    EXPECT_TRUE(operator_.questions.empty());
    EXPECT_EQ(station.RecordedCountText().toStdString(), "Aucune détection enregistrée");
}

TEST_F(CommandServiceTest, StartAcquisitionTogglesTheBoxes) {
    AddReader(1, 10, 0);
    Station& station = MakeStation();
    EXPECT_EQ(Request("StartAcquisition\n").bytes, "<ok>\n");
    EXPECT_EQ(station.StatusOf(1), BoxStatus::Connected);
    EXPECT_EQ(Request("StartAcquisition\n").bytes, "Erreur de connexion aux boitiers d'acquisition...\n");
    EXPECT_EQ(station.StatusOf(1), BoxStatus::NotConnected);
}

TEST_F(CommandServiceTest, AStalledOrFloodingClientIsDroppedWhileOthersAreServed) {
    MakeStation();
    const std::string path = station_->CommandSocketPath();
    // Says nothing at all.
    auto stalled = std::async(std::launch::async, [path] { return Ask(path, "", std::chrono::seconds(9)); });
    // Sends far more than a request without a line end.
    auto flood = std::async(std::launch::async, [path] { return Ask(path, std::string(20000, 'x')); });
    EXPECT_EQ(Request("GetDirectConnection\n").bytes, "0\n");
    ASSERT_TRUE(Pump([&] { return flood.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(flood.get().bytes, "");
    ASSERT_TRUE(Pump([&] { return stalled.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                     std::chrono::seconds(10)));
    const Reply dropped = stalled.get();
    EXPECT_TRUE(dropped.connected);
    EXPECT_EQ(dropped.bytes, "");
    EXPECT_TRUE(LogHas("Command client dropped"));
}

TEST_F(CommandServiceTest, StaleSocketIsReplacedALiveOneNever) {
    // A socket file left by a station that crashed: nothing answers on it.
    fs::create_directories(scratch_.str() + "/WinORVEX");
    {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (scratch_.str() + "/WinORVEX/ORVEX").c_str());
        ASSERT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    Station& station = MakeStation();
    EXPECT_EQ(Request("GetDirectConnection\n").bytes, "0\n");
    EXPECT_TRUE(LogHas("Stale command socket replaced"));

    // A second station of another data folder but the same service name is refused.
    ScratchDir other;
    SetDataFolderOverride(other.str());
    ScriptedOperator second;
    FakeKeyboard keys;
    keys.ctrl = true;  // past the single-instance check of its own folder anyway
    StationServices services;
    services.prompt = &second;
    services.keyboard = &keys;
    Station rival(services, StationOptions{});
    ASSERT_EQ(rival.Start(), StartOutcome::Ready);
    EXPECT_FALSE(rival.InitialiseWindow());
    ASSERT_EQ(second.warnings.size(), 1u);
    EXPECT_EQ(second.warnings[0].rfind("InitDDE: Error ORVEX DdeNameService [", 0), 0u) << second.warnings[0];
    // The first one still answers.
    EXPECT_EQ(Request("GetDirectConnection\n").bytes, "0\n");
    (void)station;
}

#ifdef WINORVEX_COMMAND_EXE
TEST_F(CommandServiceTest, ClientToolPrintsTheAnswerOrSaysWhyNot) {
    {
        ChildProcess nobody(WINORVEX_COMMAND_EXE, scratch_, {"--data-dir", scratch_.str(), "GetDirectConnection"},
                            "c0");
        EXPECT_EQ(nobody.Wait(std::chrono::seconds(10)), 2);
        EXPECT_NE(nobody.Err().find("no station listens"), std::string::npos);
    }
    MakeStation();
    ChildProcess ok(WINORVEX_COMMAND_EXE, scratch_, {"--data-dir", scratch_.str(), "GetDirectConnection"}, "c1");
    int status = -1;
    ASSERT_TRUE(Pump([&] { return (status = ok.Wait(std::chrono::milliseconds(1))) != -1; }));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ok.Out(), "0\n");
    ChildProcess none(WINORVEX_COMMAND_EXE, scratch_, {"--service", "ORVEX", "nothing"}, "c2");
    status = -1;
    ASSERT_TRUE(Pump([&] { return (status = none.Wait(std::chrono::milliseconds(1))) != -1; }));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(none.Err(), "no answer\n");
}
#endif

}  // namespace
}  // namespace winorvex::test
