// The two download dialogs over a real station: the ELITE log dialog against pyftpdlib and a
// simulated reader's side service, the handheld dialog against a simulated reader, and the import
// dialog taking what they hand back (and waiting for a handheld download still being written).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/download_boxes.h"
#include "app/station_fixture.h"
#include "detections/result_list.h"
#include "import/import_dialog_model.h"
#include "import/import_test_helpers.h"
#include "pyftpd_server.h"
#include "reader/box_manager.h"
#include "ui/dlg_ftp_tty_log.h"
#include "ui/dlg_handheld_download.h"
#include "ui/dlg_import_elite.h"
#include "ui/progress_dialog.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Texts = std::vector<std::string>;

Texts Rows(QListWidget* list) {
    Texts rows;
    for (int row = 0; row < list->count(); ++row) rows.push_back(list->item(row)->text().toStdString());
    return rows;
}

Texts ActionTexts(QMenu* menu) {
    Texts texts;
    for (QAction* action : menu->actions()) texts.push_back(action->text().toStdString());
    return texts;
}

class DownloadDialogsTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        root_ = scratch_.str() + "/reader";
        folder_ = scratch_.str() + "/downloads";
        fs::create_directories(root_);
        fs::create_directories(folder_);
        std::ofstream(root_ + "/tty01.log") << "aa0102030405060708091011\r\n";
        std::ofstream(root_ + "/FS2.log") << "aa01\r\n";
        std::ofstream(root_ + "/system.log") << "boot\r\n";
        std::ofstream(root_ + "/empty.log");
        Ini("DownloadElite", "DownloadElitePath", folder_);
    }
    void TearDown() override {
        server_.Stop();
        StationTest::TearDown();
    }

    bool StartServer() {
        PyFtpServer::Options options;
        options.anonymous = true;
        return server_.Start(root_, options, skip_);
    }

    // Box 1 is an ELITE reader whose logs the FTP server holds.
    Station& EliteStation(sim::Options reader = {}) {
        AddSimulator(1, reader);
        Ini("OrvexBoxes", "BoxFtpPort0", std::to_string(server_.Port()));
        Station& station = MakeStation();
        SetLanguage(Language::English);
        return station;
    }

    static int Find(QListWidget* list, const std::string& prefix) {
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->text().toStdString().rfind(prefix, 0) == 0) return row;
        }
        return -1;
    }

    PyFtpServer server_;
    std::string skip_;
    std::string root_;
    std::string folder_;
};

TEST_F(DownloadDialogsTest, TheEliteDialogListsByTheOptionRefusesAnEmptyFileAndDownloads) {
    if (!StartServer()) GTEST_SKIP() << skip_;
    Station& station = EliteStation();
    const std::string tag = station.Boxes().Box(1).Address().FileTag();
    CDlgFtpTtyLog dialog(station);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "ELITE log download");
    ASSERT_EQ(dialog.BoxList()->count(), 1);
    EXPECT_EQ(dialog.BoxList()->currentText().toStdString(), "Box 1 " + station.Boxes().Box(1).Address().Description());
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), folder_);
    EXPECT_TRUE(dialog.OnlyDetectionFilesBox()->isChecked());

    // The first refresh comes by itself, shortly after opening.
    ASSERT_TRUE(Pump([&] { return !dialog.Busy() && dialog.FileList()->count() == 2; }));
    Texts rows = Rows(dialog.FileList());
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (Texts{"File [FS2.log] : 6 bytes", "File [tty01.log] : 26 bytes"}));

    // The option counts from the next refresh on.
    dialog.OnlyDetectionFilesBox()->setChecked(false);
    EXPECT_EQ(dialog.FileList()->count(), 2);
    dialog.RefreshButton()->click();
    EXPECT_EQ(Rows(dialog.FileList()), Texts{"Looking for available files..."});
    ASSERT_TRUE(Pump([&] { return !dialog.Busy() && dialog.FileList()->count() == 4; }));

    ASSERT_TRUE(server_.CatchUp());
    const int logins = server_.CountEvents("LOGIN");
    dialog.FileList()->setCurrentRow(Find(dialog.FileList(), "File [empty.log]"));
    dialog.DownloadButton()->click();
    EXPECT_FALSE(dialog.Busy());
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(operator_.warnings[0], "File empty.log is empty!");
    ASSERT_TRUE(server_.CatchUp());
    EXPECT_EQ(server_.CountEvents("LOGIN"), logins) << "no transfer for an empty file";

    dialog.FileList()->setCurrentRow(Find(dialog.FileList(), "File [tty01.log]"));
    dialog.FolderField()->setText(QString::fromStdString("  " + folder_ + "  "));
    dialog.DownloadButton()->click();
    ASSERT_TRUE(Pump([&] { return !dialog.Busy(); }));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(operator_.informations, std::vector<std::string>{"Download done"});
    EXPECT_EQ(dialog.Result().path, folder_ + "/" + tag + "_tty01.log");
    EXPECT_EQ(dialog.Result().detector, "31");
    EXPECT_EQ(ReadWholeFile(dialog.Result().path), "aa0102030405060708091011\r\n");
    EXPECT_EQ(ReadSettingText("DownloadElite", "DownloadElitePath", ""), folder_);
    EXPECT_FALSE(ReadSettingBool("DownloadElite", "BOnlyDetectionFiles", true));
}

TEST_F(DownloadDialogsTest, AFailedDownloadSaysSoAndStaysOpenWithNoResult) {
    if (!StartServer()) GTEST_SKIP() << skip_;
    Station& station = EliteStation();
    CDlgFtpTtyLog dialog(station);
    ASSERT_TRUE(Pump([&] { return !dialog.Busy() && dialog.FileList()->count() == 2; }));
    dialog.FileList()->setCurrentRow(Find(dialog.FileList(), "File [tty01.log]"));
    fs::remove(root_ + "/tty01.log");  // gone since the listing
    dialog.Download();
    ASSERT_TRUE(Pump([&] { return !dialog.Busy(); }));
    EXPECT_EQ(operator_.warnings, std::vector<std::string>{"Download error"});
    EXPECT_TRUE(dialog.Result().path.empty());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(DownloadDialogsTest, ALiteOrSerialBoxIsNamedAsSuch) {
    Ini("OrvexBoxes", "BoxHost0", "/dev/ttyS0");
    Ini("OrvexBoxes", "BoxPort0", "9600");
    sim::Options lite;
    lite.model = sim::Model::kLite;
    AddSimulator(2, lite);
    Station& station = MakeStation();
    SetLanguage(Language::English);
    CDlgFtpTtyLog dialog(station);
    ASSERT_EQ(dialog.BoxList()->count(), 2);
    for (int box : {0, 1}) {
        dialog.BoxList()->setCurrentIndex(box);
        ASSERT_TRUE(Pump([&] {
            return !dialog.Busy() && Rows(dialog.FileList()) == Texts{"Connexion error. Is it really an Elite box ?"};
        })) << box;
    }
    dialog.ClearHistory();
    ASSERT_TRUE(Pump([&] { return !dialog.Busy(); }));
    EXPECT_EQ(operator_.warnings, std::vector<std::string>{"Error when clearing history files..."});
}

TEST_F(DownloadDialogsTest, ClearingTheHistoryEmptiesTheReadersLogOnlyWhenConfirmed) {
    sim::Options reader;
    reader.log_file = scratch_.str() + "/reader-history.log";
    reader.rate = 200;
    reader.count = 20;
    AddSimulator(1, reader);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return fs::exists(reader.log_file) && fs::file_size(reader.log_file) > 0; }));
    ASSERT_TRUE(Pump([&] { return DetectionFileLines().size() >= 20; }));
    SetLanguage(Language::English);
    CDlgFtpTtyLog dialog(station, nullptr, FtpTimeouts{1000, 2, 1});
    ASSERT_TRUE(Pump([&] { return !dialog.Busy() && dialog.FileList()->count() == 1; }, 15s));

    operator_.Script({false, true});
    dialog.ClearHistoryButton()->click();
    EXPECT_FALSE(dialog.Busy());
    EXPECT_GT(fs::file_size(reader.log_file), 0u);
    dialog.ClearHistoryButton()->click();
    ASSERT_TRUE(Pump([&] { return !dialog.Busy(); }, 15s));
    ASSERT_EQ(operator_.questions.size(), 2u);
    EXPECT_EQ(operator_.questions[1],
              "Do you really want to clear ELITE history files?\nAll those files will be cleared...");
    EXPECT_FALSE(operator_.defaults[1]);
    EXPECT_TRUE(operator_.warnings.empty()) << operator_.warnings.front();
    EXPECT_EQ(fs::file_size(reader.log_file), 0u);
}

TEST_F(DownloadDialogsTest, TheHandheldDialogShowsTheCountersRecordsAndDownloads) {
    sim::Options handheld;
    handheld.start_paused = true;
    handheld.rate = 500;
    sim::Simulator& reader = AddSimulator(1, handheld);
    Ini("DownloadHandheld", "DownloadHandheldPath", folder_);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    SetLanguage(Language::English);
    HandheldTimings timings;
    timings.detailPoll = 20ms;
    CDlgHandheldDownload dialog(station, nullptr, timings);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Handheld reader download");
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), folder_);
    ASSERT_TRUE(Pump([&] { return dialog.InformationView()->count() == 5 && !dialog.Polling(); }));
    EXPECT_EQ(Rows(dialog.InformationView())[0], "Looking for detections...");
    EXPECT_EQ(Rows(dialog.InformationView())[1], "Detections recorded: 0");

    EXPECT_EQ(ActionTexts(dialog.RecordMenu()), (Texts{"Start Record", "Stop Record"}));
    dialog.RecordMenu()->actions().at(0)->trigger();
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recording; }));
    reader.SendReads(12);
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recorded == 12; }));
    dialog.RecordMenu()->actions().at(1)->trigger();
    ASSERT_TRUE(Pump([&] { return !reader.Stats()->engine.recording; }));
    dialog.RefreshButton()->click();
    ASSERT_TRUE(Pump([&] { return !dialog.Polling() && dialog.InformationView()->count() == 5; }));
    EXPECT_EQ(Rows(dialog.InformationView())[1], "Detections recorded: 12");

    dialog.DownloadButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::string path = dialog.Result().path;
    EXPECT_EQ(path.rfind(folder_ + "/" + station.Boxes().Box(1).Address().FileTag() + "-", 0), 0u) << path;
    EXPECT_TRUE(dialog.Result().detector.empty());
    EXPECT_EQ(ReadSettingText("DownloadHandheld", "DownloadHandheldPath", ""), folder_);
    COrvexBox& box = station.Boxes().Box(1);
    ASSERT_TRUE(Pump([&] { return !box.IsDownloadFileOpen(); }, 20s));
    std::istringstream in(ReadWholeFile(path));
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    EXPECT_EQ(lines, 12);
}

TEST_F(DownloadDialogsTest, AHandheldDownloadImportsEveryRecordedRead) {
    sim::Options handheld;
    handheld.start_paused = true;
    handheld.rate = 500;
    handheld.date = 20240518;
    sim::Simulator& reader = AddSimulator(1, handheld);
    Station& station = MakeStation();
    station.ConnectAllBoxes();
    constexpr std::uint64_t kRecords = 25;
    {
        HandheldDownloadModel recorder(station.Boxes(), nullptr);
        ASSERT_TRUE(recorder.SetRecording(0, true));
        ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recording; }));
        reader.SendReads(kRecords);
        ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recorded == kRecords; }));
        ASSERT_TRUE(recorder.SetRecording(0, false));
        ASSERT_TRUE(Pump([&] { return !reader.Stats()->engine.recording; }));
    }
    // The live reads are recorded as they come; the download must not record them again.
    ASSERT_TRUE(Pump([&] { return ResultCount() == kRecords; }));

    DownloadedLog downloaded;
    {
        CDlgHandheldDownload dialog(station);
        dialog.FolderField()->setText(QString::fromStdString(folder_));
        dialog.Download();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        downloaded = dialog.Result();
    }
    CDlgImportElite import(station);
    import.TakeDownload(downloaded.path, downloaded.detector);
    import.DateField()->setDate(QDate(2024, 5, 18));
    import.Search();
    ASSERT_TRUE(Pump([&] { return !import.WaitingForDownload() && !import.Searching(); }, 20s));
    EXPECT_EQ(import.Model().FoundCount(), kRecords);
    EXPECT_EQ(ResultCount(), kRecords);
}

class ImportDownloadTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        SetTodayOverride(20240520);
    }
    void TearDown() override {
        SetTodayOverride(std::nullopt);
        StationTest::TearDown();
    }
    static bool InformationHas(CDlgImportElite& dialog, const std::string& prefix) {
        for (const std::string& row : Rows(dialog.InformationView())) {
            if (row.rfind(prefix, 0) == 0) return true;
        }
        return false;
    }
};

TEST_F(ImportDownloadTest, ADownloadFillsTheFileAndSelectsTheBoxItNames) {
    Station& station = MakeStation();
    SetLanguage(Language::English);
    CDlgImportElite dialog(station);
    dialog.TakeDownload("/logs/50-10000-C15_tty01.log", "C15");
    EXPECT_EQ(dialog.LogFileField()->text().toStdString(), "/logs/50-10000-C15_tty01.log");
    EXPECT_EQ(dialog.DetectorList()->currentText().toStdString().rfind("C15 ", 0), 0u);
    EXPECT_TRUE(dialog.ImportButton()->isEnabled() == false) << "nothing found yet";
    // A handheld download names no box: the choice already made stays.
    dialog.TakeDownload("/logs/50-10000-31-20240520-101500.log", "");
    EXPECT_EQ(dialog.LogFileField()->text().toStdString(), "/logs/50-10000-31-20240520-101500.log");
    EXPECT_EQ(dialog.DetectorList()->currentText().toStdString().rfind("C15 ", 0), 0u);
}

TEST_F(ImportDownloadTest, SearchWaitsForTheEndOfADownloadStillWritingTheFile) {
    Ini("OrvexBoxes", "BoxHost0", "127.0.0.1");
    Ini("OrvexBoxes", "BoxPort0", "10000");
    Station& station = MakeStation();
    SetLanguage(Language::English);
    COrvexBox& box = station.Boxes().Box(1);
    const std::string path = scratch_.str() + "/handheld.log";
    ASSERT_TRUE(box.OpenDownloadFile(path));
    ASSERT_TRUE(box.WriteDownloadLine(import_test::TagLine("058001000001", "240518", "100500", 0)));
    EXPECT_EQ(BoxDownloadingInto(station.Boxes(), path), 1);

    CDlgImportElite dialog(station);
    dialog.TakeDownload(path, "");
    dialog.DateField()->setDate(QDate(2024, 5, 18));
    dialog.Search();
    EXPECT_TRUE(dialog.WaitingForDownload());
    ASSERT_NE(dialog.DownloadWaitProgress(), nullptr);
    EXPECT_FALSE(dialog.Searching());
    ASSERT_TRUE(box.WriteDownloadLine(import_test::TagLine("058001000002", "240518", "103000", 12)));
    box.CloseDownloadFile();
    ASSERT_TRUE(Pump([&] { return !dialog.WaitingForDownload() && !dialog.Searching(); }));
    EXPECT_EQ(dialog.DownloadWaitProgress(), nullptr);
    // Both reads: the search came only once the file was whole.
    EXPECT_EQ(dialog.Model().FoundCount(), 2u);

    // The operator may stop waiting; the search then does not run.
    ASSERT_TRUE(box.OpenDownloadFile(path, true));
    const std::size_t rows = static_cast<std::size_t>(dialog.InformationView()->count());
    dialog.Search();
    ASSERT_TRUE(dialog.WaitingForDownload());
    dialog.DownloadWaitProgress()->StopButton()->click();
    ASSERT_TRUE(Pump([&] { return !dialog.WaitingForDownload(); }));
    EXPECT_FALSE(dialog.Searching());
    EXPECT_EQ(static_cast<std::size_t>(dialog.InformationView()->count()), rows + 1);
    EXPECT_TRUE(InformationHas(dialog, "Search not started: the download into " + path));
    box.CloseDownloadFile();
}

}  // namespace
}  // namespace winorvex::test
