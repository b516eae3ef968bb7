// The operator's box commands against simulated ELITE and Lite readers on loopback.
#include "app/box_commands.h"

#include <QSignalSpy>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <regex>
#include <set>

#include "app/box_command_menu.h"
#include "app/marker_label.h"
#include "core/text_format.h"
#include "platform/tcp_listener.h"
#include "reader/box_manager.h"
#include "reader/command_frame.h"
#include "station_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

// ---- pure parts ------------------------------------------------------------------------------

TEST(MarkerLabel, CleaningKeepsOnlyWhatTheReaderCanStore) {
    EXPECT_EQ(CleanMarkerLabel("  Départ/Arrivée \\"), "DepartArrivee");
    EXPECT_EQ(CleanMarkerLabel("âàäÂÄéêèëÊËîïÎÏôöÔÖûùüÛÜÿçÇ"), "aaaAAeeeeEEiiIIooOOuuuUUycC");
    // Blanks inside stay; the ones next to a removed slash at an end go too.
    EXPECT_EQ(CleanMarkerLabel(" / Km 10 / "), "Km 10");
    // Nothing left: blanks and slashes only.
    EXPECT_EQ(CleanMarkerLabel("  / \\ //  "), "");
    EXPECT_EQ(CleanMarkerLabel(""), "");
    // Control characters would end the request early and start another one.
    EXPECT_EQ(CleanMarkerLabel("A\r\nclear_history"), "Aclear_history");
    EXPECT_EQ(CleanMarkerLabel("\tA\x01\x1f\x7f B\n"), "A B");
    // Every Latin letter with a diacritic keeps its letter, capitals included; signs, other
    // scripts and broken UTF-8 are dropped.
    EXPECT_EQ(CleanMarkerLabel("Étape À"), "Etape A");
    EXPECT_EQ(CleanMarkerLabel("Cœur 5€ ñ"), "Coeur 5 n");
    EXPECT_EQ(CleanMarkerLabel("ÁÉÍÓÚÝ ÃÕÅØ Ñ Ÿ"), "AEIOUY AOAO N Y");
    EXPECT_EQ(CleanMarkerLabel("Łódź Škoda Ærø Straße Ğ"), "Lodz Skoda AEro Strasse G");
    EXPECT_EQ(CleanMarkerLabel("2×3÷1 Þ ſ Ωμ"), "231  s");
    EXPECT_EQ(CleanMarkerLabel("Ete\xCC\x81"), "Ete");  // a decomposed accent: its mark goes
    EXPECT_EQ(CleanMarkerLabel("a\xC3"), "a");
    EXPECT_EQ(CleanMarkerLabel("a\xC3zb\xFF"), "azb");
}

TEST(MarkerLabel, LongLabelsAreCutAndMarkerTextIsBuiltFromTheLocalTime) {
    EXPECT_EQ(CleanMarkerLabel(std::string(5000, 'x')).size(), kMaxMarkerLabelLength);
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 18;
    local.tm_hour = 10;
    local.tm_min = 15;
    local.tm_sec = 3;
    EXPECT_EQ(BuildMarkerText("Start", local), "KMark-20240518101503:Start");
}

TEST(ClockMenu, TwoItemsWithoutCtrlAndTheExpertListWithIt) {
    SetLanguage(Language::French);
    std::vector<ClockMenuEntry> plain = ClockMenuEntries(false);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0].id, 1125);
    EXPECT_EQ(plain[0].text, "Synchronisation heure boîtiers");
    EXPECT_EQ(plain[1].id, 1126);
    EXPECT_EQ(plain[1].text, "Voir heure des boîtiers");

    SetLanguage(Language::English);
    const std::vector<ClockMenuEntry> full = ClockMenuEntries(true);
    const std::vector<int> ids{1125, 1126, 0,    1175, 0,    1127, 1128, 1129, 1130, 1131,
                               1132, 1133, 1134, 1135, 1136, 1137, 1138, 1139, 1223};
    const std::vector<std::string> texts{"Synchronization of boxes clocks",
                                         "Display boxes clocks",
                                         "",
                                         "DOWNLOAD",
                                         "",
                                         "Record Start",
                                         "Record Stop",
                                         "Replay Start",
                                         "Replay Stop",
                                         "Replay One",
                                         "Replay Rewind",
                                         "Mark all records as read",
                                         "Clear logged records",
                                         "Get Stats",
                                         "Save 000027",
                                         "Get Periodic Log Info",
                                         "Stop Periodic Log Info",
                                         "Get Log Info",
                                         "Power Off"};
    ASSERT_EQ(full.size(), ids.size());
    for (std::size_t i = 0; i < full.size(); ++i) {
        EXPECT_EQ(full[i].id, ids[i]) << i;
        EXPECT_EQ(full[i].text, texts[i]) << i;
        EXPECT_EQ(full[i].IsSeparator(), ids[i] == 0) << i;
    }
    // The expert table reaches the reader commands of the same names; 1134 is logged otherwise.
    for (const ExpertItem& item : ExpertItems()) {
        if (item.command < 0) continue;
        EXPECT_STREQ(CommandName(item.command), item.logName) << item.id;
    }
    EXPECT_STREQ(FindExpertItem(1134)->logName, "Clear Log buffer");
    EXPECT_EQ(FindExpertItem(1125), nullptr);
}

TEST(ClockMenu, ButtonsActByExtendedStatusModeAndCtrl) {
    SetLanguage(Language::English);
    EXPECT_EQ(SyncButtonAction(false), BoxButtonAction::SynchroniseClocks);
    EXPECT_EQ(SyncButtonAction(true), BoxButtonAction::InsertEliteMarker);
    EXPECT_EQ(TimesButtonAction(false, false), BoxButtonAction::ShowBoxTimes);
    EXPECT_EQ(TimesButtonAction(false, true), BoxButtonAction::ClockMenu);
    EXPECT_EQ(TimesButtonAction(true, false), BoxButtonAction::ClockMenu);
    EXPECT_EQ(SyncButtonCaption(false), "Synchronization\nof boxes clocks");
    EXPECT_EQ(SyncButtonCaption(true), "Insert ELITE marker");
    EXPECT_EQ(TimesButtonCaption(true), "Boxes clocks");
    // The menu keeps the template titles in extended status mode too.
    EXPECT_EQ(ClockMenuEntries(false)[1].text, "Display boxes clocks");
}

// ---- against the simulated readers -----------------------------------------------------------

// Takes side requests on a port of its own and keeps the bytes of each, answering like an ELITE
// reader that inserted the marker.
class CapturingSideService {
public:
    explicit CapturingSideService(std::string reply = "marker_inserted\r\n") : reply_(std::move(reply)) {
        std::string error;
        EXPECT_TRUE(listener_.Listen("127.0.0.1", 0, 8, error)) << error;
        thread_ = std::thread([this] { Loop(); });
    }
    ~CapturingSideService() {
        stop_.store(true);
        thread_.join();
    }
    CapturingSideService(const CapturingSideService&) = delete;
    CapturingSideService& operator=(const CapturingSideService&) = delete;

    int Port() const { return listener_.Port(); }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void Loop() {
        while (!stop_.load()) {
            TcpSocket peer = listener_.Accept(50);
            if (!peer.IsOpen()) continue;
            // Everything the client sends within a moment, so a second line in the same request shows.
            std::string bytes;
            char buffer[512];
            for (int idle = 0; idle < 3;) {
                const ssize_t n = peer.ReceiveWithin(buffer, sizeof buffer, 50);
                if (n == TcpSocket::kTimedOut) {
                    if (!bytes.empty()) ++idle;
                    continue;
                }
                if (n <= 0) break;
                bytes.append(buffer, static_cast<std::size_t>(n));
            }
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(bytes);
            }
            peer.SendAll(reply_.data(), reply_.size());
        }
    }

    std::string reply_;
    TcpListener listener_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

class BoxCommandsTest : public StationTest {
protected:
    static constexpr int kOtherDay = 20200102;

    void SetUp() override {
        StationTest::SetUp();
        SetLanguage(Language::English);
        Ini("Settings", "GBoxReconnectSeconds", "0");
    }
    void TearDown() override {
        commands_.reset();
        SetProgramFolderOverride("");
        StationTest::TearDown();
    }

    static sim::Options Reader(sim::Model model, int date = 0) {
        sim::Options options;
        options.model = model;
        options.date = date;
        options.start_paused = true;
        options.rate = 500;
        return options;
    }

    Station& ConnectedStation() {
        Station& station = MakeStation();
        station.ConnectAllBoxes();
        EXPECT_TRUE(station.BoxCommandsEnabled());
        commands_ = std::make_unique<BoxCommands>(station);
        return station;
    }

    // Runs a command that should start, until its loop ended.
    bool RunToEnd(bool started) {
        if (!started) return false;
        return Pump([&] { return !commands_->Busy(); });
    }

    std::string Label(int box) { return station_->Boxes().Box(box).GetLabel(); }
    std::uint64_t Commands(sim::Simulator& reader) { return reader.Stats()->engine.commands; }
    // Lines of the text that name this box (other boxes' workers log meanwhile).
    long LinesAbout(int box, const std::string& text) {
        std::istringstream in(text);
        long count = 0;
        for (std::string line; std::getline(in, line);) count += line.find(Label(box)) != std::string::npos ? 1 : 0;
        return count;
    }

    std::unique_ptr<BoxCommands> commands_;
};

TEST_F(BoxCommandsTest, SynchronisingSetsEliteBySideServiceAndLiteThroughTheWorker) {
    sim::Simulator& elite = AddSimulator(1, Reader(sim::Model::kElite, kOtherDay));
    sim::Simulator& lite = AddSimulator(2, Reader(sim::Model::kLite, kOtherDay));
    ConnectedStation();
    ASSERT_EQ(elite.clock().Now().year, 2020);

    // No: nothing reaches either reader.
    const std::uint64_t liteCommands = Commands(lite);
    const std::uint64_t sideRequests = elite.side_requests();
    operator_.Script({false});
    EXPECT_FALSE(commands_->SynchroniseClocks());
    EXPECT_EQ(operator_.questions.back(),
              "Are you sure you want to synchronize connected ORVEX boxes ?\nThis will update their internal clock...");
    EXPECT_TRUE(operator_.defaults.back());
    EXPECT_FALSE(commands_->Busy());
    EXPECT_EQ(Commands(lite), liteCommands);
    EXPECT_EQ(elite.side_requests(), sideRequests);

    operator_.Script({true});
    ASSERT_TRUE(RunToEnd(commands_->SynchroniseClocks()));
    EXPECT_EQ(commands_->LiteRequestsSent(), 1);
    const std::string ack = "+ " + Label(2) + " : Box synchronized (Lite)";
    ASSERT_TRUE(Pump([&] { return LogHas(ack); }));
    const std::string log = LogText();
    const auto elitePos = log.find("+ " + Label(1) + " : Box synchronized (ELITE)");
    const auto request = log.find("+ " + Label(2) + " : Request for synchronization (Lite)");
    ASSERT_NE(elitePos, std::string::npos);
    ASSERT_NE(request, std::string::npos);
    EXPECT_LT(elitePos, request);
    EXPECT_LT(request, log.find(ack));

    // Both readers now show the computer's date and time.
    const std::tm now = LocalNow();
    for (sim::Simulator* reader : {&elite, &lite}) {
        const sim::ReaderTime t = reader->clock().Now();
        EXPECT_EQ(t.year, now.tm_year + 1900);
        EXPECT_EQ(t.month, now.tm_mon + 1);
        EXPECT_EQ(t.day, now.tm_mday);
        const int readerSeconds = t.hour * 3600 + t.minute * 60 + t.second;
        const int ourSeconds = now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec;
        EXPECT_LE(std::abs(readerSeconds - ourSeconds), 2);
    }
}

TEST_F(BoxCommandsTest, BoxTimesShowTheEliteDateAndAskTheLiteWhoseWorkerAnswers) {
    AddSimulator(1, Reader(sim::Model::kElite, kOtherDay));
    AddSimulator(2, Reader(sim::Model::kLite, kOtherDay));
    // Configured, but nothing answers there: not open.
    Ini("OrvexBoxes", "BoxHost2", "127.0.0.1");
    Ini("OrvexBoxes", "BoxPort2", std::to_string(FreeLoopbackPort()));
    ConnectedStation();
    const std::size_t before = LogText().size();

    ASSERT_TRUE(RunToEnd(commands_->ShowBoxTimes()));
    const std::string liteDate = "+ " + Label(2) + " : Lite Date 02/01/2020  ";
    ASSERT_TRUE(Pump([&] { return LogHas(liteDate); }));
    const std::string log = LogText().substr(before);
    const std::regex eliteLine(
        "\\+ " + std::regex_replace(Label(1), std::regex("[\\[\\]]"), "\\$&") +
        " : ELITE Date 02/01/2020  \\d\\d:\\d\\d:\\d\\d \\(time got at \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\)");
    EXPECT_TRUE(std::regex_search(log, eliteLine)) << log;
    EXPECT_LT(log.find("+ " + Label(2) + " : Request for box time (Lite)"), log.find(liteDate));
    EXPECT_EQ(log.find(Label(3)), std::string::npos) << log;
}

TEST_F(BoxCommandsTest, MarkerReachesEveryEliteOnceBuiltAndTheLiteSaysSo) {
    sim::Options first = Reader(sim::Model::kElite);
    first.log_file = scratch_.str() + "/elite1.log";
    sim::Options second = Reader(sim::Model::kElite);
    second.log_file = scratch_.str() + "/elite2.log";
    sim::Simulator& elite1 = AddSimulator(1, first);
    sim::Simulator& elite2 = AddSimulator(2, second);
    AddSimulator(3, Reader(sim::Model::kLite));
    ConnectedStation();

    operator_.ScriptTexts({std::string("  Départ/Arrivée \\")});
    ASSERT_TRUE(RunToEnd(commands_->InsertEliteMarker()));
    ASSERT_EQ(operator_.textQuestions.size(), 1u);
    EXPECT_EQ(operator_.textQuestions[0].title, "ELITE Marker");
    EXPECT_EQ(operator_.textQuestions[0].prompt, "Enter ELITE marker label:");

    const std::string log = LogText();
    std::smatch found;
    ASSERT_TRUE(std::regex_search(log, found, std::regex("Marker \\[(KMark-\\d{14}:DepartArrivee)\\] inserted")));
    const std::string marker = found[1];
    EXPECT_NE(log.find("+ " + Label(1) + " : Marker [" + marker + "] inserted (ELITE)"), std::string::npos);
    EXPECT_NE(log.find("+ " + Label(2) + " : Marker [" + marker + "] inserted (ELITE)"), std::string::npos);
    EXPECT_NE(log.find("+ " + Label(3) + " : Error while inserting marker [" + marker + "]. Is is a Lite box ?"),
              std::string::npos);
    for (const std::string& file : {first.log_file, second.log_file}) {
        const std::string history = ReadWholeFile(file);
        ASSERT_GE(history.size(), marker.size() + 2) << file;
        EXPECT_EQ(history.substr(history.size() - marker.size() - 2), marker + "\r\n") << file;
    }

    // Cancel, and a label with nothing left, send nothing.
    const std::uint64_t requests = elite1.side_requests() + elite2.side_requests();
    operator_.ScriptTexts({std::nullopt, std::string("  / \\\\ /  ")});
    EXPECT_FALSE(commands_->InsertEliteMarker());
    EXPECT_TRUE(operator_.warnings.empty());
    EXPECT_FALSE(commands_->InsertEliteMarker());
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(operator_.warnings[0], "Marker cannot be empty");
    EXPECT_EQ(elite1.side_requests() + elite2.side_requests(), requests);
}

TEST_F(BoxCommandsTest, LineEndsInTheLabelNeverReachTheSideRequest) {
    CapturingSideService side;
    AddSimulator(1, Reader(sim::Model::kElite));
    Ini("OrvexBoxes", "BoxSidePort0", std::to_string(side.Port()));
    ConnectedStation();

    operator_.ScriptTexts({std::string("End\r\nclear_history")});
    ASSERT_TRUE(RunToEnd(commands_->InsertEliteMarker()));
    const std::vector<std::string> requests = side.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& bytes = requests[0];
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    const std::string body = bytes.substr(0, bytes.size() - 2);
    EXPECT_EQ(body.find_first_of("\r\n"), std::string::npos) << body;
    EXPECT_TRUE(std::regex_match(body, std::regex("insert_marker\\.KMark-\\d{14}:Endclear_history"))) << body;
}

TEST_F(BoxCommandsTest, AnEliteClockThatCannotBeReadIsShownAsItCame) {
    // The right start, but no date in it.
    CapturingSideService side("aa000902xx1302ab25zz0000\r\n");
    AddSimulator(1, Reader(sim::Model::kElite));
    Ini("OrvexBoxes", "BoxSidePort0", std::to_string(side.Port()));
    ConnectedStation();
    const std::size_t mark = LogText().size();
    ASSERT_TRUE(RunToEnd(commands_->ShowBoxTimes()));
    const std::string added = LogText().substr(mark);
    EXPECT_NE(added.find("## " + Label(1) + " : Unreadable ELITE clock: [20xx130225zz00]"), std::string::npos) << added;
    EXPECT_EQ(added.find("ELITE Date"), std::string::npos) << added;
    EXPECT_EQ(commands_->LiteRequestsSent(), 0);
}

TEST_F(BoxCommandsTest, ExpertItemsReachBoxOneAsTheirFrames) {
    Ini("Settings", "LogFileLevel", "100");
    // Replay Start opens the download file there.
    SetProgramFolderOverride(scratch_.str());
    sim::Simulator& reader = AddSimulator(1, Reader(sim::Model::kElite));
    ConnectedStation();

    const std::set<int> special{kMenuDownload, kMenuPowerOff};
    for (const ExpertItem& item : ExpertItems()) {
        if (special.count(item.id) != 0) continue;
        const std::uint64_t before = Commands(reader);
        if (item.id == kMenuClearLogged) operator_.Script({true});
        ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(item.id))) << item.text;
        // Counted by the reader only when its checksum and length are right.
        ASSERT_TRUE(Pump([&] { return Commands(reader) == before + 1; })) << item.text;
        std::string frame;
        ASSERT_TRUE(BuildCommandFrame(item.command, "", frame));
        EXPECT_TRUE(LogHas(">>->> " + frame)) << item.text;
        EXPECT_TRUE(LogHas(Format("+ %s : Sending command %d: [%s]", Label(1).c_str(), item.command, item.logName)))
            << item.text;
    }
    EXPECT_TRUE(LogHas(">>->> ab00024b000119"));
    EXPECT_TRUE(LogHas("Sending command 10: [Clear Log buffer]"));
    EXPECT_EQ(operator_.questions.back(), "Are you sure you want to clear the records logged in box 1?");
    EXPECT_FALSE(operator_.defaults.back());

    // The two that cannot be undone are asked; No sends nothing.
    const std::uint64_t before = Commands(reader);
    operator_.Script({false, false});
    EXPECT_FALSE(commands_->RunExpertItem(kMenuClearLogged));
    EXPECT_FALSE(commands_->RunExpertItem(kMenuPowerOff));
    EXPECT_EQ(Commands(reader), before);

    operator_.Script({true});
    ASSERT_TRUE(RunToEnd(commands_->RunClockMenuItem(kMenuPowerOff)));
    EXPECT_TRUE(Pump([&] { return reader.Stats()->powered_off; }));
    EXPECT_TRUE(LogHas(">>->> ab0000492d"));

    // Closing the menu without a choice does nothing.
    const std::size_t questions = operator_.questions.size();
    EXPECT_FALSE(commands_->RunClockMenuItem(kMenuNoChoice));
    EXPECT_EQ(operator_.questions.size(), questions);
}

TEST_F(BoxCommandsTest, ExpertItemOnABoxOneThatCannotTakeItIsOneLevelZeroLine) {
    // Only level-0 lines in the file: the failure must be one of them.
    Ini("Settings", "LogFileLevel", "0");
    sim::Simulator& other = AddSimulator(2, Reader(sim::Model::kElite));
    ConnectedStation();
    const std::uint64_t before = Commands(other);
    std::size_t mark = LogText().size();

    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(1127)));
    std::string added = LogText().substr(mark);
    EXPECT_EQ(LinesAbout(1, added), 1) << added;
    EXPECT_NE(added.find("## " + Label(1) + " : Invalid box internal data"), std::string::npos) << added;
    mark += added.size();
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(kMenuDownload)));
    added = LogText().substr(mark);
    EXPECT_EQ(LinesAbout(1, added), 1) << added;
    EXPECT_NE(added.find("Invalid box internal data"), std::string::npos) << added;
    EXPECT_EQ(Commands(other), before);
}

TEST_F(BoxCommandsTest, ExpertItemOnABoxOneNotConnectedSaysSo) {
    Ini("Settings", "LogFileLevel", "0");
    AddSimulator(2, Reader(sim::Model::kElite));
    Ini("OrvexBoxes", "BoxHost0", "127.0.0.1");
    Ini("OrvexBoxes", "BoxPort0", std::to_string(FreeLoopbackPort()));
    ConnectedStation();
    const std::size_t mark = LogText().size();
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(1135)));
    const std::string added = LogText().substr(mark);
    EXPECT_EQ(LinesAbout(1, added), 1) << added;
    EXPECT_NE(added.find("## " + Label(1) + " : " + Label(1) + " is not connected"), std::string::npos) << added;
}

TEST_F(BoxCommandsTest, DownloadEndsByItselfWithEveryRecordAndReplayStartKeepsTheFile) {
    const std::string program = scratch_.str() + "/program";
    fs::create_directories(program);
    SetProgramFolderOverride(program);
    sim::Simulator& reader = AddSimulator(1, Reader(sim::Model::kElite));
    Station& station = ConnectedStation();
    COrvexBox& box = station.Boxes().Box(1);

    constexpr std::uint64_t kRecords = 30;
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(1127)));
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recording; }));
    reader.SendReads(kRecords);
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recorded == kRecords; }));
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(1128)));
    ASSERT_TRUE(Pump([&] { return !reader.Stats()->engine.recording; }));

    const std::string path = program + "/" + box.Address().FileTag() + ".log";
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(kMenuDownload)));
    EXPECT_TRUE(LogHas("+ " + Label(1) + " : Downloading into " + path));
    ASSERT_TRUE(Pump([&] { return !box.IsDownloading() && !box.IsDownloadFileOpen(); }, std::chrono::seconds(20)));
    const std::string downloaded = ReadWholeFile(path);
    std::set<std::string> lines;
    std::istringstream in(downloaded);
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ(line.rfind("aa", 0), 0u) << line;
        lines.insert(line);
    }
    EXPECT_EQ(lines.size(), kRecords);
    EXPECT_EQ(std::count(downloaded.begin(), downloaded.end(), '\n'), static_cast<long>(kRecords));

    // Replay Start opens the same file without emptying it; Replay Stop closes it.
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(kMenuReplayStart)));
    EXPECT_TRUE(box.IsDownloadFileOpen());
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.replaying; }));
    ASSERT_TRUE(RunToEnd(commands_->RunExpertItem(kMenuReplayStop)));
    EXPECT_FALSE(box.IsDownloadFileOpen());
    EXPECT_EQ(ReadWholeFile(path), downloaded);
}

TEST_F(BoxCommandsTest, DownloadGoesToTheLogFolderWhenTheProgramFolderCannotBeWritten) {
    SetProgramFolderOverride(scratch_.str() + "/no/such/folder");
    EXPECT_EQ(BoxCommands::DownloadFilePath("1-10000-31"), GetLogFolder() + "/1-10000-31.log");
    SetProgramFolderOverride(scratch_.str());
    EXPECT_EQ(BoxCommands::DownloadFilePath("1-10000-31"), scratch_.str() + "/1-10000-31.log");
}

TEST_F(BoxCommandsTest, OneCommandAtATimeAndTheButtonsFollow) {
    AddSimulator(1, Reader(sim::Model::kLite));
    ConnectedStation();
    QSignalSpy busy(commands_.get(), &BoxCommands::busyChanged);
    EXPECT_TRUE(commands_->ButtonsEnabled());
    operator_.Script({true});
    ASSERT_TRUE(commands_->SynchroniseClocks());
    EXPECT_TRUE(commands_->Busy());
    EXPECT_FALSE(commands_->ButtonsEnabled());
    const std::size_t questions = operator_.questions.size();
    EXPECT_FALSE(commands_->ShowBoxTimes());
    EXPECT_FALSE(commands_->SynchroniseClocks());
    EXPECT_EQ(operator_.questions.size(), questions);
    ASSERT_TRUE(Pump([&] { return !commands_->Busy(); }));
    ASSERT_EQ(busy.count(), 2);
    EXPECT_TRUE(busy.at(0).at(0).toBool());
    EXPECT_FALSE(busy.at(1).at(0).toBool());
    EXPECT_TRUE(commands_->ButtonsEnabled());
}

}  // namespace
}  // namespace winorvex::test
