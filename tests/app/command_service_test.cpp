// The local command service: its matching rules and answers, and the real socket with its bounds.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "app/command_dispatch.h"
#include "app/command_paths.h"
#include "app/detections_list_model.h"
#include "core/scoped_env.h"
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

// endInput: the client then closes its sending side, as a program does that sends its command
// without a line feed and waits for the answer.
Reply Ask(const std::string& path, const std::string& request, std::chrono::milliseconds wait = std::chrono::seconds(8),
          bool endInput = false) {
    Reply reply;
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return reply;
    reply.connected = true;
    WriteAll(fd.Get(), request.data(), request.size());
    if (endInput) ::shutdown(fd.Get(), SHUT_WR);
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
    Reply Request(const std::string& request, bool endInput = false) {
        auto pending = std::async(std::launch::async, [path = station_->CommandSocketPath(), request, endInput] {
            return Ask(path, request, std::chrono::seconds(8), endInput);
        });
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

TEST_F(CommandServiceTest, TheEndOfTheClientsInputEndsItsRequest) {
    MakeStation();
    Reply reply = Request("GetDirectConnection", true);
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, "0\n");
    EXPECT_EQ(Request("SetDirectConnection(1)\r", true).bytes, "<ok>\n");
    EXPECT_EQ(Request("GetDirectConnection", true).bytes, "1\n");
    // Unknown, or nothing at all: closed without a line, as with a line feed.
    reply = Request("startacquisition", true);
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, "");
    reply = Request("", true);
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, "");
    EXPECT_FALSE(LogHas("Command client dropped"));
}

TEST_F(CommandServiceTest, ANumberOutOfRangeIsNoCommand) {
    MakeStation();
    for (const char* request : {"SetDirectConnection(99999999999999999999)\n", "SetDirectConnection(2147483648)\n",
                                "SetDirectConnection -2147483649\n"}) {
        const Reply reply = Request(request);
        EXPECT_TRUE(reply.closed) << request;
        EXPECT_EQ(reply.bytes, "") << request;
    }
    EXPECT_EQ(Request("GetDirectConnection\n").bytes, "0\n");
    EXPECT_FALSE(station_->DirectButtonDown());
    // The ends of the range still are numbers.
    EXPECT_EQ(DirectConnectionArgument("SetDirectConnection(2147483647)"), 2147483647);
    EXPECT_EQ(DirectConnectionArgument("SetDirectConnection(-2147483648)"), -2147483647 - 1);
    EXPECT_EQ(DirectConnectionArgument("SetDirectConnection(+5)"), 5);
    EXPECT_EQ(DirectConnectionArgument("SetDirectConnection(12abc)"), 12);
    EXPECT_EQ(DirectConnectionArgument("SetDirectConnection(+-5)"), std::nullopt);
    EXPECT_EQ(DirectConnectionArgument(""), std::nullopt);
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
    // A socket file left by a station that crashed (nothing answers on it), with its holder file.
    fs::create_directories(scratch_.str() + "/WinORVEX");
    {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (scratch_.str() + "/WinORVEX/ORVEX").c_str());
        ASSERT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    scratch_.WriteFile("WinORVEX/ORVEX.holder", "/gone/station\n");
    MakeStation();
    EXPECT_EQ(Request("GetDirectConnection\n").bytes, "0\n");
    EXPECT_TRUE(LogHas("Stale command socket replaced"));
    EXPECT_EQ(ReadWholeFile(scratch_.str() + "/WinORVEX/ORVEX.holder"), scratch_.str() + "\n");
    station_.reset();
    EXPECT_FALSE(fs::exists(scratch_.str() + "/WinORVEX/ORVEX.holder"));
    EXPECT_FALSE(fs::exists(scratch_.str() + "/WinORVEX/ORVEX"));
}

// A station of another data folder holds the service name (same runtime folder, same name): this
// one says whose it is and what to change, and records all the same.
TEST_F(CommandServiceTest, ASecondStationOnTheSameNameSaysWhoseItIsAndRecords) {
    ScratchDir holderFolder;
    SetDataFolderOverride(holderFolder.str());
    ScriptedOperator holderOperator;
    StationServices holderServices;
    holderServices.prompt = &holderOperator;
    Station holder(holderServices, StationOptions{});
    ASSERT_EQ(holder.Start(), StartOutcome::Ready);
    ASSERT_TRUE(holder.InitialiseWindow());
    const std::string socket = holder.CommandSocketPath();
    ASSERT_EQ(socket, scratch_.str() + "/WinORVEX/ORVEX");

    SetDataFolderOverride(scratch_.str());
    AddReader(1, 200, 20);
    Station& station = MakeStation(false);
    ASSERT_EQ(station.Start(), StartOutcome::Ready);
    EXPECT_TRUE(station.InitialiseWindow());
    ASSERT_EQ(operator_.warnings.size(), 1u);
    const std::string& warning = operator_.warnings[0];
    EXPECT_EQ(warning.rfind("InitDDE: Error ORVEX DdeNameService [", 0), 0u) << warning;
    EXPECT_NE(warning.find("\"ORVEX\""), std::string::npos) << warning;
    EXPECT_NE(warning.find(holderFolder.str()), std::string::npos) << warning;
    EXPECT_NE(warning.find("GOrvexDdeName"), std::string::npos) << warning;
    EXPECT_NE(warning.find(scratch_.str() + "/WinORVEX.ini"), std::string::npos) << warning;
    EXPECT_NE(warning.find("enregistre sans son service de commandes"), std::string::npos) << warning;
    EXPECT_TRUE(LogHas("######## InitDDE: Error ORVEX DdeNameService"));
    EXPECT_EQ(station.CommandSocketPath(), "");

    // The rest of the start-up ran: detection file, chip table, box slots, timers.
    EXPECT_TRUE(IsDetectionFileOpen());
    EXPECT_EQ(DetectionFilePath().rfind(scratch_.str() + "/", 0), 0u) << DetectionFilePath();
    EXPECT_EQ(ChipTableCount(), static_cast<std::size_t>(kChips));
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return DetectionFileLines().size() == 20; })) << DetectionFileLines().size();
    // Chips read as bibs: the table was loaded.
    std::istringstream first(DetectionFileLines().front());
    std::string position, detector, bib;
    std::getline(first, position, '\t');
    std::getline(first, detector, '\t');
    std::getline(first, bib, '\t');
    EXPECT_EQ(detector, "31");
    EXPECT_GE(std::atoi(bib.c_str()), 1001) << bib;
    EXPECT_LE(std::atoi(bib.c_str()), 1000 + kChips) << bib;
    // The count comes with a drain of the panes, which its timer runs.
    EXPECT_TRUE(Pump([&] { return station.RecordedCountText().toStdString() == "20 détections enregistrées"; }))
        << station.RecordedCountText().toStdString();

    // The holder still answers, and keeps its name and holder file.
    auto pending = std::async(std::launch::async, [socket] { return Ask(socket, "GetDirectConnection\n"); });
    ASSERT_TRUE(Pump([&] { return pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(pending.get().bytes, "0\n");
    EXPECT_EQ(ReadWholeFile(socket + ".holder"), holderFolder.str() + "\n");
    station_.reset();
    EXPECT_TRUE(fs::exists(socket + ".holder"));
}

// Without XDG_RUNTIME_DIR the socket lies in the data folder, whose path may be too long for it.
TEST_F(CommandServiceTest, ASocketPathOverTheLimitIsExplainedAndTheStationRecords) {
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    const std::string folder = scratch_.str() + "/" + std::string(100, 'd');
    fs::create_directories(folder);
    AddReader(1, 200, 10);
    fs::copy_file(scratch_.str() + "/WinORVEX.ini", folder + "/WinORVEX.ini");
    fs::copy_file(scratch_.str() + "/OrvexTable.dtb", folder + "/OrvexTable.dtb");
    SetDataFolderOverride(folder);
    Station& station = MakeStation();
    ASSERT_EQ(operator_.warnings.size(), 1u);
    const std::string& warning = operator_.warnings[0];
    EXPECT_NE(warning.find(folder + "/WinORVEX/ORVEX"), std::string::npos) << warning;
    EXPECT_NE(warning.find("107"), std::string::npos) << warning;
    EXPECT_NE(warning.find("XDG_RUNTIME_DIR"), std::string::npos) << warning;
    EXPECT_NE(warning.find("GOrvexDdeName"), std::string::npos) << warning;
    EXPECT_EQ(station.CommandSocketPath(), "");

    EXPECT_EQ(DetectionFilePath().rfind(folder + "/", 0), 0u) << DetectionFilePath();
    EXPECT_EQ(ChipTableCount(), static_cast<std::size_t>(kChips));
    station.ConnectAllBoxes();
    EXPECT_TRUE(Pump([&] { return DetectionFileLines().size() == 10; })) << DetectionFileLines().size();
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
