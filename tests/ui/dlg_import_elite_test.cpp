// The reader-log import dialog over a real station: its opening state, a search run off the
// station thread with its progress window, the Import and Save buttons, the marker menus and the
// operator's stop.
#include "ui/dlg_import_elite.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include "app/station_fixture.h"
#include "import/import_dialog_model.h"
#include "import/import_test_helpers.h"
#include "ui/progress_dialog.h"

namespace winorvex::test {
namespace {

using import_test::TagLine;

class ImportDialogTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        SetTodayOverride(20240520);
        Ini("ImportDetections", "CurrentParseDir", "/logs/in");
        Ini("ImportDetections", "CurrentSaveDir", scratch_.str());
    }
    void TearDown() override {
        SetTodayOverride(std::nullopt);
        Settings().sendNumbers = 1;
        StationTest::TearDown();
    }

    Station& English(bool extended = false) {
        if (extended) Ini("VALDRONE", "ExtendedStatus", "1");
        Station& station = MakeStation();
        SetLanguage(Language::English);
        Settings().sendNumbers = 0;
        return station;
    }

    // Types the file and the date (18 May 2024) and searches, waiting for the search's end.
    void SearchIn(CDlgImportElite& dialog, const std::string& log) {
        dialog.LogFileField()->setText(QString::fromStdString(scratch_.WriteFile("reader.log", log)));
        dialog.DateField()->setDate(QDate(2024, 5, 18));
        dialog.Search();
        ASSERT_TRUE(Pump([&] { return !dialog.Searching(); }));
    }

    static QStringList Texts(QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions()) texts << action->text();
        return texts;
    }
    static bool InformationHas(CDlgImportElite& dialog, const QString& prefix) {
        for (int row = 0; row < dialog.InformationView()->count(); ++row) {
            if (dialog.InformationView()->item(row)->text().startsWith(prefix)) return true;
        }
        return false;
    }

    const std::string twoReads_ =
        TagLine("058001000001", "240518", "100500", 0) + TagLine("058001000002", "240518", "103000", 12);
};

TEST_F(ImportDialogTest, OpensWithTheRememberedValuesAndNothingToImport) {
    Station& station = English();
    station.ImportMemory().lastStart = "09:00:00";
    CDlgImportElite dialog(station);
    EXPECT_EQ(dialog.DateField()->date(), QDate(2024, 5, 20)) << "today";
    EXPECT_EQ(dialog.DateField()->minimumDate(), QDate(2000, 1, 1));
    EXPECT_EQ(dialog.DateField()->maximumDate(), QDate(2038, 1, 1));
    EXPECT_EQ(dialog.StartField()->text(), QStringLiteral("09:00:00"));
    EXPECT_EQ(dialog.EndField()->text(), QStringLiteral("23:59:59"));
    EXPECT_TRUE(dialog.LogFileField()->text().isEmpty());
    EXPECT_TRUE(dialog.StartMarkerButton()->toolTip().isEmpty()) << "no markers outside the extended status mode";
    EXPECT_EQ(dialog.DetectorList()->count(), 32);
    EXPECT_EQ(dialog.DetectorList()->currentIndex(), -1);
    EXPECT_EQ(dialog.DayCorrectionList()->count(), 4);
    EXPECT_EQ(dialog.FoundCount()->text(), QStringLiteral("0"));
    EXPECT_FALSE(dialog.ImportButton()->isEnabled());
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());
    EXPECT_EQ(dialog.AbnormalEventsBox()->text(), QStringLiteral("Display all abnormal events found in file"));
    EXPECT_EQ(dialog.ClearButton()->text(), QStringLiteral("Clear those logs ^^^^^^"));
    ASSERT_NE(dialog.LogFileButton()->menu(), nullptr);
    EXPECT_EQ(Texts(dialog.LogFileButton()->menu()),
              (QStringList{QStringLiteral("Select a file on your disk"), QStringLiteral("Get data from your ELITE box"),
                           QStringLiteral("Get data from your HANDHELD reader")}));

    dialog.DayCorrectionList()->setCurrentIndex(3);
    EXPECT_EQ(dialog.DayCorrectionLabel()->text(), QStringLiteral("+72h"));
    dialog.DayCorrectionList()->setCurrentIndex(0);
    EXPECT_TRUE(dialog.DayCorrectionLabel()->text().isEmpty());

    // Outside the extended status mode the menus hold only the day's ends.
    EXPECT_EQ(Texts(dialog.StartMarkerMenu()).size(), 1);
    EXPECT_EQ(Texts(dialog.EndMarkerMenu()), QStringList{QStringLiteral("23:59:59 : End of day")});

    // A refused field: the reason, no search.
    dialog.StartField()->setText(QStringLiteral("25:00:00"));
    dialog.Search();
    EXPECT_FALSE(dialog.Searching());
    ASSERT_FALSE(operator_.warnings.empty());
    EXPECT_EQ(operator_.warnings.back(), "Start Time is invalid !");
    dialog.StartField()->setText(QStringLiteral("00:00:00"));
    dialog.Search();
    EXPECT_EQ(operator_.warnings.back().rfind("File to import is empty or does not exist", 0), 0u);

    dialog.reject();
    FlushSettings();
    EXPECT_EQ(ReadSettingText(kImportSection, kCurrentParseDirKey, ""), "/logs/in") << "written when it closes";
}

TEST_F(ImportDialogTest, ASearchEnablesImportAndSaveOnceADetectorIsChosen) {
    Station& station = English();
    CDlgImportElite dialog(station);
    dialog.LogFileField()->setText(QString::fromStdString(scratch_.WriteFile("reader.log", twoReads_)));
    dialog.DateField()->setDate(QDate(2024, 5, 18));
    dialog.Search();
    ASSERT_NE(dialog.SearchProgress(), nullptr) << "the search runs with its progress window";
    EXPECT_FALSE(dialog.isEnabled()) << "the progress window holds the dialog";
    ASSERT_TRUE(Pump([&] { return !dialog.Searching(); }));
    EXPECT_EQ(dialog.SearchProgress(), nullptr);
    EXPECT_TRUE(dialog.isEnabled());

    EXPECT_EQ(dialog.FoundCount()->text(), QStringLiteral("2"));
    EXPECT_TRUE(InformationHas(dialog, QStringLiteral("Import ELITE detections from file ")));
    EXPECT_TRUE(InformationHas(dialog, QStringLiteral("* 2 suitable detections found in selected time range")));
    EXPECT_FALSE(dialog.ImportButton()->isEnabled()) << "no detector yet";
    dialog.DetectorList()->setCurrentIndex(2);
    EXPECT_TRUE(dialog.ImportButton()->isEnabled());
    EXPECT_TRUE(dialog.SaveButton()->isEnabled());

    dialog.ClearButton()->click();
    EXPECT_EQ(dialog.InformationView()->count(), 0);

    // Save: ".rix" appended, then the order runs off the station thread and writes the file.
    dialog.OutputField()->setText(QString::fromStdString(scratch_.str() + "/out.txt"));
    dialog.Save();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const ImportOrder order = dialog.Model().Order();
    ASSERT_EQ(order.action, ImportAction::Save);
    EXPECT_EQ(order.outputPath, scratch_.str() + "/out.txt.rix");
    EXPECT_EQ(order.detector, "10");
    QPointer<QObject> run = StartImportOrder(nullptr, station, order, dialog.Model().Found());
    ASSERT_FALSE(run.isNull());
    ASSERT_TRUE(Pump([&] { return run.isNull(); })) << "the run ends itself";
    const std::string saved = ReadWholeFile(order.outputPath);
    EXPECT_EQ(saved.rfind("1\t10\t058001000001\t1\t10:05:00", 0), 0u) << saved;
}

TEST_F(ImportDialogTest, ImportMergesAfterTheQuestion) {
    Station& station = English();
    CDlgImportElite dialog(station);
    SearchIn(dialog, twoReads_);
    dialog.DetectorList()->setCurrentIndex(0);
    operator_.Script({false});
    dialog.Import();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << "No keeps the dialog";
    EXPECT_EQ(dialog.Model().Order().action, ImportAction::None);
    operator_.Script({true});
    dialog.Import();
    ASSERT_EQ(dialog.Model().Order().action, ImportAction::Import);
    ClearResults();
    QPointer<QObject> run = StartImportOrder(nullptr, station, dialog.Model().Order(), dialog.Model().Found());
    ASSERT_TRUE(Pump([&] { return run.isNull(); }));
    EXPECT_EQ(ResultCount(), 2u);
}

TEST_F(ImportDialogTest, MarkerMenusInTheExtendedStatusMode) {
    Station& station = English(true);
    CDlgImportElite dialog(station);
    EXPECT_EQ(dialog.StartMarkerButton()->toolTip(), QStringLiteral("Use a marker (if any) to init start time"));
    EXPECT_EQ(dialog.EndMarkerButton()->toolTip(), QStringLiteral("Use a marker (if any) to init end time"));
    SearchIn(dialog, twoReads_ + "KMark-20240518103000:Wave 2\r\nKMark-20240518140512:Finish closed\r\n");
    ASSERT_EQ(dialog.Model().Markers().size(), 2u);

    QMenu* start = dialog.StartMarkerMenu();
    const QStringList startTexts = Texts(start);
    ASSERT_EQ(startTexts.size(), 3);
    EXPECT_EQ(startTexts[1], QStringLiteral("10:30:00 : Wave 2"));
    EXPECT_EQ(startTexts[2], QStringLiteral("14:05:12 : Finish closed"));
    start->actions()[1]->trigger();
    EXPECT_EQ(dialog.StartField()->text(), QStringLiteral("10:30:00"));
    start->actions()[0]->trigger();
    EXPECT_EQ(dialog.StartField()->text(), QStringLiteral("00:00:00"));

    QMenu* end = dialog.EndMarkerMenu();
    EXPECT_EQ(Texts(end), (QStringList{QStringLiteral("10:30:00 : Wave 2"), QStringLiteral("14:05:12 : Finish closed"),
                                       QStringLiteral("23:59:59 : End of day")}));
    end->actions()[1]->trigger();
    EXPECT_EQ(dialog.EndField()->text(), QStringLiteral("14:05:12"));
    EXPECT_EQ(dialog.StartMarkerMenu()->actions().size(), 3) << "filled afresh, never twice";
}

TEST_F(ImportDialogTest, TheProgressWindowsStopEndsTheSearch) {
    Station& station = English();
    // Long enough that the search is still reading when the stop comes right after it started.
    std::string log;
    const std::string line = TagLine("058001000001", "240518", "100500", 0);
    log.reserve(line.size() * 400000);
    for (int i = 0; i < 400000; ++i) log += line;
    CDlgImportElite dialog(station);
    dialog.LogFileField()->setText(QString::fromStdString(scratch_.WriteFile("big.log", log)));
    dialog.DateField()->setDate(QDate(2024, 5, 18));
    dialog.Search();
    ASSERT_NE(dialog.SearchProgress(), nullptr);
    dialog.SearchProgress()->StopButton()->click();
    ASSERT_TRUE(Pump([&] { return !dialog.Searching(); }));
    EXPECT_TRUE(InformationHas(dialog, QStringLiteral("* Search cancelled by the operator after ")));
    EXPECT_TRUE(dialog.isEnabled());

    // Closing during a search stops it and ends with no order.
    dialog.Search();
    ASSERT_TRUE(dialog.Searching());
    dialog.reject();
    EXPECT_FALSE(dialog.Searching());
    EXPECT_EQ(dialog.SearchProgress(), nullptr);
    EXPECT_EQ(dialog.Model().Order().action, ImportAction::None);
}

TEST_F(ImportDialogTest, TheInformationListStaysBoundedAndInStepWithTheModel) {
    Station& station = English();
    std::string log;
    for (int i = 0; i < 9000; ++i) log += "junk " + std::to_string(i) + "\r\n";
    CDlgImportElite dialog(station);
    dialog.AbnormalEventsBox()->setChecked(true);
    SearchIn(dialog, log);
    const std::size_t kept = dialog.Model().Information().Size();
    EXPECT_LE(kept, InformationList::kMaxLines);
    ASSERT_EQ(static_cast<std::size_t>(dialog.InformationView()->count()), kept);
    EXPECT_EQ(dialog.InformationView()->item(0)->text().toStdString(), dialog.Model().Information().Lines().front());
    EXPECT_TRUE(InformationHas(dialog, QStringLiteral("+ Box fileBox invalid input: junk 8999")));
    EXPECT_FALSE(InformationHas(dialog, QStringLiteral("+ Box fileBox invalid input: junk 0"))) << "the oldest went";
}

}  // namespace
}  // namespace winorvex::test
