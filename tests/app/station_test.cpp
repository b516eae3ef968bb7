// The station's logic under a Qt event loop, against simulated readers on loopback.
#include <QSignalSpy>
#include <filesystem>
#include <map>

#include "app/detections_list_model.h"
#include "app/log_list_model.h"
#include "reader/box_manager.h"
#include "reader/box_worker.h"
#include "station_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

std::string Field(const std::string& line, int index) {
    std::istringstream in(line);
    std::string field;
    for (int i = 0; i <= index && std::getline(in, field, '\t'); ++i) {
    }
    return field;
}

TEST_F(StationTest, StartUpWritesBackEveryStartupAndDisplayKey) {
    Ini("Settings", "GOrvexReadMsDelta", "3");
    MakeStation();
    const std::string ini = ReadWholeFile(scratch_.str() + "/WinORVEX.ini");
    for (const char* key : {"GOrvexIgnoreInputMsDelta=50",
                            "GOrvexIgnoreOutputMsDelta=300",
                            "GOrvexReadMsDelta=3",
                            "GOrvexEmptyDetectionsActions=-",
                            "GOrvexDdeName=ORVEX",
                            "GOrvexExportFile=",
                            "Port=8283",
                            "Host=127.0.0.1",
                            "ReconnectSeconds=15",
                            "GOrvexSendNumbers=1",
                            "GOrvexIgnoreUnknownTags=0",
                            "GOrvexIgnoreLSDetections=0",
                            "GOrvexIgnoreFSDetections=0",
                            "GBoxReconnectSeconds=30",
                            "GDaysToAdd=0",
                            "BAbsClock=0",
                            "LogWinLevel=50",
                            "LogFileLevel=75",
                            "BLogDetections=1",
                            "BScrollDetections=1",
                            "SoftwareLocation="}) {
        EXPECT_NE(ini.find(key), std::string::npos) << key << " missing from\n" << ini;
    }
    // The banner, the detection file and the chip table, in that order.
    const std::string log = LogText();
    const auto banner = log.find("------------------------ Lancement WinORVEX version Version 4.50 - 9 jun 2o26");
    const auto saved = log.find("+++ Détections sauvegardées sous " + DetectionFilePath());
    ASSERT_NE(banner, std::string::npos);
    ASSERT_NE(saved, std::string::npos);
    EXPECT_LT(banner, saved);
    EXPECT_TRUE(IsDetectionFileOpen());
    EXPECT_EQ(fs::path(DetectionFilePath()).parent_path(), fs::path(GetLogFolder()));
    EXPECT_EQ(ChipTableCount(), static_cast<std::size_t>(kChips));
}

TEST_F(StationTest, SecondInstanceIsRefusedUnlessCtrlIsHeld) {
    MakeStation();
    ScriptedOperator second;
    FakeKeyboard keys;
    StationServices services;
    services.prompt = &second;
    services.keyboard = &keys;
    {
        Station other(services, StationOptions{});
        EXPECT_EQ(other.Start(), StartOutcome::AlreadyRunning);
        ASSERT_EQ(second.warnings.size(), 1u);
        EXPECT_EQ(second.warnings[0], "Désolé...\nWinORVEX est déjà lancé et ne peut être lancé plusieurs fois...");
    }
    keys.ctrl = true;
    {
        Station other(services, StationOptions{});
        EXPECT_EQ(other.Start(), StartOutcome::Ready);
        EXPECT_EQ(second.warnings.size(), 1u);
    }
}

TEST_F(StationTest, InstanceLockDiesWithItsHolder) {
    // A station that ended (or crashed: the descriptor closes with the process) leaves no stale lock.
    MakeStation();
    station_.reset();
    StationServices services;
    services.prompt = &operator_;
    Station next(services, StationOptions{});
    EXPECT_EQ(next.Start(), StartOutcome::Ready);
}

TEST_F(StationTest, LogLevelWithoutMatchingItemShowsTheSecondItemAndKeepsTheLevel) {
    Ini("Settings", "LogWinLevel", "60");
    Station& station = MakeStation();
    EXPECT_EQ(station.LogLevelItemIndex(), 1);
    EXPECT_EQ(Station::LogLevelItemTexts().at(1).toStdString(), " 25   [Faible]");
    EXPECT_EQ(LogWindowLevel(), 60);

    station.ChooseLogLevelItem(3);
    EXPECT_EQ(LogWindowLevel(), 75);
    EXPECT_EQ(ReadSettingInt("Settings", "LogWinLevel", 0), 75);
    EXPECT_TRUE(LogHas("+ Log level set to 75"));

    SetLanguage(Language::English);
    EXPECT_EQ(Station::LogLevelItemTexts().at(2).toStdString(), " 50   [Medium]");
}

TEST_F(StationTest, CheckBoxesAreSavedAtOnce) {
    Station& station = MakeStation();
    station.SetLogDetections(false);
    station.SetScrollDetections(false);
    FlushSettings();
    EXPECT_EQ(ReadSettingInt("Settings", "BLogDetections", 9), 0);
    EXPECT_EQ(ReadSettingInt("Settings", "BScrollDetections", 9), 0);
    EXPECT_FALSE(station.LogDetections());
    station.SetLogDetections(true);
    EXPECT_EQ(ReadSettingInt("Settings", "BLogDetections", 9), 1);
}

TEST_F(StationTest, BoxStatusFollowsTheReaderComingAndGoing) {
    Ini("Settings", "GBoxReconnectSeconds", "30");
    sim::Simulator& reader = AddReader(1, 20, 0);
    Station& station = MakeStation();
    EXPECT_EQ(station.StatusOf(1), BoxStatus::NotConnected);
    EXPECT_EQ(station.StatusOf(2), BoxStatus::Undefined);
    EXPECT_FALSE(station.ConnectButtonDown());
    EXPECT_FALSE(station.BoxMenuFor(2).show);
    EXPECT_TRUE(station.BoxMenuFor(1).connectEnabled);

    station.ConnectToggle();
    EXPECT_TRUE(station.ConnectButtonDown());
    EXPECT_TRUE(station.BoxCommandsEnabled());
    EXPECT_EQ(station.StatusOf(1), BoxStatus::Connected);
    EXPECT_EQ(sounds_.Count(StationSound::ConnectionMade), 1);
    EXPECT_TRUE(station.BoxMenuFor(1).disconnectEnabled);

    // Gone for a moment: lost unexpectedly (163), reconnecting, then back (165).
    reader.Away(std::chrono::milliseconds(1500));
    ASSERT_TRUE(Pump([&] { return station.StatusOf(1) == BoxStatus::Reconnecting; }));
    EXPECT_EQ(sounds_.Count(StationSound::BoxLost), 1);
    ASSERT_TRUE(Pump([&] { return station.StatusOf(1) == BoxStatus::Connected; }));
    EXPECT_TRUE(Pump([&] { return sounds_.Count(StationSound::BoxReconnected) == 1; }));
    EXPECT_TRUE(LogHas("APP FOUND UNEXPECTED CNX ERROR for box 1 and will restart BoxThread"));

    // Disconnecting by the button asks first; No keeps the boxes.
    operator_.Script({false});
    station.ToggleBoxesButton(false);
    EXPECT_TRUE(station.ConnectButtonDown());
    EXPECT_EQ(station.StatusOf(1), BoxStatus::Connected);
    operator_.Script({true});
    station.ToggleBoxesButton(false);
    ASSERT_TRUE(Pump([&] { return station.StatusOf(1) == BoxStatus::NotConnected; }));
    EXPECT_FALSE(station.ConnectButtonDown());
    EXPECT_EQ(operator_.questions.back(), "Etes vous certain de vouloir vous déconnecter des boîtiers ?");
}

TEST_F(StationTest, LossWithoutReconnectionLeavesTheBoxNotConnected) {
    Ini("Settings", "GBoxReconnectSeconds", "0");
    sim::Simulator& reader = AddReader(1, 20, 0);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_EQ(station.StatusOf(1), BoxStatus::Connected);
    // The reader must have taken the client before it can drop it.
    ASSERT_TRUE(Pump([&] { return reader.Stats() && reader.Stats()->connected; }));
    reader.Drop();
    ASSERT_TRUE(Pump([&] { return station.StatusOf(1) == BoxStatus::NotConnected && !station.Boxes().HasWorker(1); }));
    EXPECT_EQ(sounds_.Count(StationSound::BoxLost), 1);
    EXPECT_FALSE(LogHas("will restart BoxThread"));
}

TEST_F(StationTest, DetectionsReachThePaneInEachBoxsOrder) {
    AddReader(1, 0, 300);
    AddReader(2, 0, 300);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return station.Detections().rowCount() == 600; }));
    const std::vector<std::string> file = DetectionFileLines();
    ASSERT_EQ(file.size(), 600u);
    // Two workers record side by side: each box's detections keep their order in the pane, as in
    // the file; how the two boxes interleave is the order in which their workers got there.
    std::map<std::string, std::vector<std::string>> inFile;
    for (const std::string& line : file) inFile[Field(line, 1)].push_back("# " + Field(line, 2));
    std::map<std::string, std::vector<std::string>> inPane;
    const DetectionsListModel& pane = station.Detections();
    for (int row = 0; row < 600; ++row) {
        const std::string box = pane.data(pane.index(row, 1)).toString().toStdString();
        inPane[box.substr(box.rfind(' ') + 1, 2)].push_back(pane.data(pane.index(row, 2)).toString().toStdString());
    }
    EXPECT_EQ(inPane["31"], inFile["31"]);
    EXPECT_EQ(inPane["32"], inFile["32"]);
    EXPECT_EQ(inFile["31"].size(), 300u);
    EXPECT_TRUE(Pump([&] { return station.RecordedCountText().toStdString() == "600 détections enregistrées"; }));
}

TEST_F(StationTest, RemoveAndRestoreChangeTheCountNotTheFile) {
    AddReader(1, 0, 5);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return station.Detections().rowCount() == 5; }));
    const std::string before = ReadWholeFile(DetectionFilePath());

    operator_.Script({true});
    station.RemoveOrRestoreRows(true, {1, 3});
    EXPECT_EQ(CountActiveResults(), 3u);
    EXPECT_EQ(station.RecordedCountText().toStdString(), "3 détections enregistrées");
    EXPECT_EQ(operator_.questions.back(), "Supprimer ces 2 détections?");
    operator_.Script({true});
    station.RemoveOrRestoreRows(false, {1});
    EXPECT_EQ(CountActiveResults(), 4u);
    EXPECT_EQ(ReadWholeFile(DetectionFilePath()), before);
}

TEST_F(StationTest, ForgetAllAsksThenStartsANewDetectionFile) {
    AddReader(1, 0, 10);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return station.Detections().rowCount() == 10; }));
    const std::string first = DetectionFilePath();

    operator_.Script({false});
    station.ForgetAllDetections();
    EXPECT_EQ(CountActiveResults(), 10u);

    // File names go to the second: forget again once a new file would not get the first one's name.
    ASSERT_TRUE(WaitFor([&] { return GetIncomingDetectionsFilePath() != first; }, std::chrono::seconds(3)));
    operator_.Script({true});
    station.ForgetAllDetections();
    EXPECT_EQ(CountActiveResults(), 0u);
    EXPECT_EQ(station.Detections().rowCount(), 0);
    EXPECT_EQ(station.RecordedCountText().toStdString(), "Aucune détection enregistrée");
    EXPECT_NE(DetectionFilePath(), first);
    EXPECT_EQ(ReadWholeFile(first).size() > 0, true);
    EXPECT_EQ(sounds_.Count(StationSound::Completion), 1);
}

TEST_F(StationTest, ExportAllOnlyWithActiveRecords) {
    const std::string target = scratch_.str() + "/all.rix";
    Ini("Settings", "GOrvexExportFile", target);
    Station& station = MakeStation();
    station.ExportAllDetections();
    EXPECT_FALSE(fs::exists(target));
    AddResult("31", "1001", CChrono(), CChrono(36000, 0), false, true);
    station.ExportAllDetections();
    EXPECT_EQ(ReadWholeFile(target), "1\t31\t1001\t1\t10:00:00.00\t1\r\n");
}

TEST_F(StationTest, ExitAsksThenStopsWorkersAndClosesTheFileInOrder) {
    AddReader(1, 50, 0);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return CountActiveResults() > 3; }));
    QSignalSpy finished(&station, &Station::finished);

    operator_.Script({false});
    EXPECT_FALSE(station.RunExitProcedure());
    EXPECT_EQ(sounds_.Count(StationSound::Quit), 1);
    EXPECT_EQ(operator_.questions.back(), "Souhaitez vraiment quitter le module d'acquisition ?");
    EXPECT_TRUE(station.Boxes().HasWorker(1));
    EXPECT_EQ(finished.count(), 0);

    operator_.Script({true});
    EXPECT_TRUE(station.RunExitProcedure());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(BoxWorker::RunningCount(), 0);
    EXPECT_FALSE(IsDetectionFileOpen());
    EXPECT_EQ(ChipTableCount(), 0u);
    EXPECT_EQ(CountActiveResults(), 0u);
    const std::string log = LogText();
    const auto stopped = log.find("StopBoxThread done for box 4");
    const auto leaving = log.find("+ Sortie du module d'acquisition...");
    const auto last = log.find("------------------------ Sortie WinORVEX");
    ASSERT_NE(stopped, std::string::npos);
    ASSERT_NE(leaving, std::string::npos);
    ASSERT_NE(last, std::string::npos);
    EXPECT_LT(stopped, leaving);
    EXPECT_LT(leaving, last);
}

TEST_F(StationTest, ExitWithCtrlHeldNeitherAsksNorSounds) {
    Station& station = MakeStation();
    keyboard_.ctrl = true;
    EXPECT_TRUE(station.RunExitProcedure());
    EXPECT_TRUE(operator_.questions.empty());
    EXPECT_EQ(sounds_.Count(StationSound::Quit), 0);
}

TEST_F(StationTest, ClearButtonsEmptyTheirPaneAndPlayTheCompletionSound) {
    AddReader(1, 0, 4);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return station.Detections().rowCount() == 4 && station.LogLines().rowCount() > 0; }));
    station.ClearDetectionsPane();
    station.ClearLogWindow();
    station.ClearResultsPane();
    EXPECT_EQ(station.Detections().rowCount(), 0);
    EXPECT_EQ(station.LogLines().rowCount(), 0);
    EXPECT_EQ(sounds_.Count(StationSound::Completion), 3);
    // The records stay: only the view was emptied.
    EXPECT_EQ(CountActiveResults(), 4u);
}

TEST_F(StationTest, DayOffsetLabelFollowsTodayAmongTheRaceDays) {
    SetTodayOverride(20240520);
    Ini("Settings", "GDaysToAdd", "2");
    Station& station = MakeStation();
    // The first race day was two days ago: today is the third, 48 hours on.
    EXPECT_EQ(station.DayOffsetHours(), 48);
    EXPECT_EQ(Station::DayOffsetText(station.DayOffsetHours()).toStdString(), "+48h");
    SetTodayOverride(std::nullopt);
}

}  // namespace
}  // namespace winorvex::test
