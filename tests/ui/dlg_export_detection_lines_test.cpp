// The export window, the re-setting window and the FTP servers window over a scratch data folder,
// driven through their widgets on the offscreen platform.
#include "ui/dlg_export_detection_lines.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "export/export_fixture.h"
#include "export/time_texts.h"
#include "ui/dlg_ftp_servers.h"
#include "ui/dlg_recalage.h"

namespace winorvex::test {
namespace {

// Runs `act` on the modal window of this type once it is open.
template <typename Dialog>
void WhenOpen(std::function<void(Dialog&)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

std::string Text(const QLabel* label) {
    return label->text().toStdString();
}

class ExportDialogTest : public ExportFixture {
protected:
    void RecordTwoDetectors() {
        Record("12", "1", "10:00:00.00");
        Record("12", "1", "10:30:00.00");
        Record("12", "2", "10:01:00.00");
        Record("7", "9", "10:15:30.25");
    }

    // The server choice scripted: counts its openings and answers `serverAnswer`.
    ExportDialogChoosers Scripted() {
        ExportDialogChoosers choosers = DefaultExportDialogChoosers();
        choosers.servers = [this](QWidget*, const std::vector<std::string>& selected) {
            serverCalls.push_back(selected);
            return serverAnswer;
        };
        choosers.folder = [this](QWidget*, const QString&) { return folderAnswer; };
        return choosers;
    }

    static std::string Setting(const char* section, const char* key) {
        FlushSettings();
        return ReadSettingText(section, key, "<none>");
    }

    ScriptedPrompt prompt_;
    std::vector<std::vector<std::string>> serverCalls;
    std::optional<std::vector<std::string>> serverAnswer;
    QString folderAnswer;
};

TEST_F(ExportDialogTest, ExportNowIsDisabledUntilFilterAndThenWritesTheFiles) {
    RecordTwoDetectors();
    CDlgExportDetectionLines dialog(prompt_, nullptr, nullptr, Scripted());
    EXPECT_FALSE(dialog.ExportButton()->isEnabled());
    EXPECT_FALSE(dialog.ModeButton(DisplayMode::Compact)->isEnabled());
    EXPECT_FALSE(dialog.RecalageButton()->isEnabled());
    EXPECT_EQ(Text(dialog.DataLabel()), "aucune");
    EXPECT_EQ(Text(dialog.HandicapLabel()), "...");
    EXPECT_EQ(Text(dialog.ServersLabel()), " <No FTP server>");
    EXPECT_TRUE(dialog.ModeButton(DisplayMode::TimeOfDay)->isChecked());
    const auto headings = ExportDialogModel::Headings();
    for (int c = 0; c < dialog.DistributionTable()->columnCount(); ++c) {
        EXPECT_EQ(dialog.DistributionTable()->horizontalHeaderItem(c)->text().toStdString(),
                  headings[static_cast<std::size_t>(c)]);
    }

    // An empty gap is not a time: the message, nothing listed, the export still disabled.
    QTest::mouseClick(dialog.FilterButton(), Qt::LeftButton);
    EXPECT_EQ(prompt_.events, (std::vector<std::string>{std::string("warn:") + InvalidGapMessage()}));
    EXPECT_EQ(dialog.DistributionTable()->rowCount(), 0);
    EXPECT_FALSE(dialog.ExportButton()->isEnabled());

    dialog.GapField()->setText(QStringLiteral("00:01:00"));
    QTest::mouseClick(dialog.FilterButton(), Qt::LeftButton);
    ASSERT_EQ(dialog.DistributionTable()->rowCount(), 2);
    EXPECT_EQ(dialog.DistributionTable()->item(0, 0)->text(), QStringLiteral("12"));
    EXPECT_EQ(dialog.DistributionTable()->item(0, 2)->text(), QStringLiteral("3"));
    EXPECT_TRUE(dialog.ExportButton()->isEnabled());
    EXPECT_TRUE(dialog.ModeButton(DisplayMode::Compact)->isEnabled());
    EXPECT_EQ(Text(dialog.DataLabel()), "3 fichiers de détections - Heures de détections");

    QTest::mouseClick(dialog.ModeButton(DisplayMode::Compact), Qt::LeftButton);
    EXPECT_EQ(dialog.Model().Mode(), DisplayMode::Compact);
    EXPECT_EQ(Text(dialog.DataLabel()), "3 fichiers de détections - Temps format LOGICA");

    // The folder picker's choice fills the field; the export writes there.
    folderAnswer = QString::fromStdString(out_.str() + "/");
    QTest::mouseClick(dialog.FolderButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.FolderField()->text().toStdString(), out_.str());
    QTest::mouseClick(dialog.ExportButton(), Qt::LeftButton);
    ASSERT_TRUE(dialog.LastExport().has_value());
    EXPECT_FALSE(dialog.LastExport()->refused) << dialog.LastExport()->refusal;
    EXPECT_EQ(dialog.LastExport()->written.size(), 3u);
    EXPECT_EQ(FilesIn(out_.path()).size(), 3u);
    // The export does not save the settings; closing does.
    EXPECT_EQ(Setting(keys::kExportSection, "Delta"), "<none>");
    QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
    EXPECT_EQ(Setting(keys::kExportSection, "Delta"), "00:01:00");
    EXPECT_EQ(Setting(keys::kExportSection, "ExportPath"), out_.str());
    EXPECT_EQ(Setting(keys::kExportSection, "DisplayDetectionType"), "2");
    EXPECT_EQ(dialog.DistributionTable()->rowCount(), 0);
}

TEST_F(ExportDialogTest, MinutesThatAreNoNumberOrBelowOneAreSavedAsTwo) {
    for (const char* typed : {"0", "x", "", "7"}) {
        SetBackgroundSetting(keys::kBackgroundExport, "0");
        CDlgExportDetectionLines dialog(prompt_, nullptr, nullptr, Scripted());
        dialog.MinutesField()->SetText(QString::fromUtf8(typed));
        dialog.PeriodicBox()->setChecked(true);
        dialog.reject();  // the close box saves as "Fermer" does
        ASSERT_TRUE(dialog.Closed().has_value());
        EXPECT_TRUE(dialog.Closed()->periodicSwitchedOn);
        EXPECT_EQ(Setting(keys::kBackgroundExportSection, keys::kExportPeriodMinutes),
                  std::string(typed) == "7" ? "7" : "2")
            << "typed: " << typed;
        EXPECT_EQ(Setting(keys::kBackgroundExportSection, keys::kBackgroundExport), "1");
    }
    // The arrows stay within 1 to 10 and start from a number even after a letter.
    CDlgExportDetectionLines dialog(prompt_, nullptr, nullptr, Scripted());
    EXPECT_EQ(dialog.MinutesField()->text(), QStringLiteral("7"));
    dialog.MinutesField()->stepBy(5);
    EXPECT_EQ(dialog.MinutesField()->text(), QStringLiteral("10"));
    dialog.MinutesField()->SetText(QStringLiteral("x"));
    dialog.MinutesField()->stepBy(-1);
    EXPECT_EQ(dialog.MinutesField()->text(), QStringLiteral("1"));
    dialog.MinutesField()->stepBy(2);
    EXPECT_EQ(dialog.MinutesField()->text(), QStringLiteral("3"));
}

TEST_F(ExportDialogTest, ADoubleClickReSetsTheHandicapWrittenAtOnceWithTheSelectionKept) {
    RecordTwoDetectors();
    CDlgExportDetectionLines dialog(prompt_, nullptr, nullptr, Scripted());
    dialog.GapField()->setText(QStringLiteral("00:01:00"));
    dialog.Filter();
    ASSERT_EQ(dialog.DistributionTable()->rowCount(), 2);

    dialog.DistributionTable()->selectRow(1);
    EXPECT_TRUE(dialog.RecalageButton()->isEnabled());
    EXPECT_EQ(Text(dialog.HandicapLabel()), "00:00:00.00");
    bool seen = false;
    WhenOpen<CDlgRecalage>([&](CDlgRecalage& recalage) {
        seen = true;
        EXPECT_EQ(Text(recalage.BibLabel()), "9");
        EXPECT_EQ(Text(recalage.TimeOfDayLabel()), "10:15:30.25");
        EXPECT_EQ(recalage.PassingTimeField()->text(), QStringLiteral("10:15:30.25"));
        // Later than the time of day: refused, the window stays.
        recalage.PassingTimeField()->setText(QStringLiteral("11:00:00"));
        recalage.accept();
        EXPECT_TRUE(recalage.isVisible());
        EXPECT_EQ(prompt_.events.size(), 1u);
        recalage.PassingTimeField()->setText(QStringLiteral("00:45:10"));
        recalage.accept();
    });
    emit dialog.DistributionTable()->cellDoubleClicked(1, 0);
    EXPECT_TRUE(seen);
    EXPECT_EQ(Setting(keys::kExportSection, "Handicap-7"), "09:30:20.25");
    EXPECT_EQ(Text(dialog.HandicapLabel()), "09:30:20.25");
    EXPECT_EQ(dialog.DistributionTable()->item(1, 5)->text(), QStringLiteral("09:30:20.25"));
    ASSERT_EQ(dialog.DistributionTable()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(dialog.DistributionTable()->selectionModel()->selectedRows().front().row(), 1);

    // Cancel leaves the handicap; the reset asks and writes zero at once.
    WhenOpen<CDlgRecalage>([](CDlgRecalage& recalage) { recalage.reject(); });
    QTest::mouseClick(dialog.RecalageButton(), Qt::LeftButton);
    EXPECT_EQ(Setting(keys::kExportSection, "Handicap-7"), "09:30:20.25");
    QTest::mouseClick(dialog.ResetButton(), Qt::LeftButton);
    EXPECT_EQ(Setting(keys::kExportSection, "Handicap-7"), "00:00:00.00");
    EXPECT_EQ(Text(dialog.HandicapLabel()), "00:00:00.00");
    dialog.reject();
}

TEST_F(ExportDialogTest, TickingFtpWithoutServersOpensTheChoiceAtOnce) {
    CDlgExportDetectionLines dialog(prompt_, nullptr, nullptr, Scripted());
    serverAnswer = std::vector<std::string>{"Club", "Ligue"};
    QTest::mouseClick(dialog.FtpBox(), Qt::LeftButton);
    ASSERT_EQ(serverCalls.size(), 1u);
    EXPECT_TRUE(serverCalls[0].empty());
    EXPECT_EQ(Text(dialog.ServersLabel()), "Club, Ligue");
    EXPECT_NE(dialog.FtpBox()->toolTip().indexOf(QStringLiteral("Transfer to Club, Ligue")), -1);
    EXPECT_EQ(Setting(keys::kExportSection, keys::kFtpServersList), "Club\\Ligue");

    // With servers chosen, ticking does not open it; the button does, with the current labels.
    QTest::mouseClick(dialog.FtpBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.FtpBox(), Qt::LeftButton);
    EXPECT_EQ(serverCalls.size(), 1u);
    serverAnswer.reset();  // cancelled: nothing changes
    QTest::mouseClick(dialog.ServersButton(), Qt::LeftButton);
    ASSERT_EQ(serverCalls.size(), 2u);
    EXPECT_EQ(serverCalls[1], (std::vector<std::string>{"Club", "Ligue"}));
    EXPECT_EQ(Text(dialog.ServersLabel()), "Club, Ligue");
    dialog.reject();
    EXPECT_EQ(Setting(keys::kExportSection, "BFtpExport"), "1");
}

class FtpServersDialogTest : public ExportFixture {
protected:
    void SetUp() override {
        ExportFixture::SetUp();
        path_ = data_.WriteFile("FtpServers.dat",
                                "Zeta\tz.example\tzu\tzp\t/in\r\n"
                                "alpha\ta.example\tau\tap\t\r\n");
    }

    static QString ItemText(const CDlgFtpServers& dialog, int row) { return dialog.List()->item(row)->text(); }

    std::string path_;
    ScriptedPrompt prompt_;
};

TEST_F(FtpServersDialogTest, ListSortedCheckedAndViews) {
    CDlgFtpServers dialog({" Zeta "}, path_, nullptr, &prompt_);
    ASSERT_EQ(dialog.List()->count(), 2);
    EXPECT_EQ(ItemText(dialog, 0), QStringLiteral("alpha"));
    EXPECT_EQ(ItemText(dialog, 1), QStringLiteral("Zeta"));
    EXPECT_EQ(dialog.List()->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(dialog.List()->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Serveurs  FTP"));

    dialog.show();
    EXPECT_FALSE(dialog.InformationGroup()->isVisible());
    EXPECT_EQ(dialog.ViewButton()->text(), QStringLiteral(">>"));
    QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.InformationGroup()->isVisible());
    EXPECT_EQ(dialog.ViewButton()->text(), QStringLiteral("<<"));
    EXPECT_EQ(dialog.Field(FtpServerField::Password)->echoMode(), QLineEdit::Password);

    dialog.List()->setCurrentRow(1);
    EXPECT_EQ(dialog.Field(FtpServerField::Site)->text(), QStringLiteral("z.example"));
    EXPECT_EQ(dialog.Field(FtpServerField::Directory)->text(), QStringLiteral("/in"));
    QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.InformationGroup()->isVisible());
}

TEST_F(FtpServersDialogTest, ValidateWithAnEmptyLabelWarnsAndOkReturnsTheCheckedLabels) {
    const std::string before = ReadWholeFile(path_);
    CDlgFtpServers dialog({"Zeta"}, path_, nullptr, &prompt_);
    dialog.show();
    QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.AddButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.List()->isEnabled());
    EXPECT_FALSE(dialog.AddButton()->isEnabled());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    EXPECT_TRUE(dialog.ValidateButton()->isEnabled());

    QTest::keyClicks(dialog.Field(FtpServerField::Site), QStringLiteral("club.example"));
    QTest::mouseClick(dialog.ValidateButton(), Qt::LeftButton);
    EXPECT_EQ(prompt_.events, (std::vector<std::string>{"warn:Label is empty!"}));
    EXPECT_TRUE(dialog.Editor().Editing());
    EXPECT_EQ(dialog.Editor().Focus(), FtpServerField::Label);
    // OK is refused while editing, and nothing is written.
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ReadWholeFile(path_), before);

    QTest::keyClicks(dialog.Field(FtpServerField::Label), QStringLiteral("Club"));
    QTest::keyClicks(dialog.Field(FtpServerField::User), QStringLiteral("cu"));
    QTest::keyClicks(dialog.Field(FtpServerField::Password), QStringLiteral("cp"));
    QTest::mouseClick(dialog.ValidateButton(), Qt::LeftButton);
    EXPECT_EQ(prompt_.events.size(), 1u);
    EXPECT_FALSE(dialog.Editor().Editing());
    ASSERT_EQ(dialog.List()->count(), 3);
    EXPECT_EQ(ItemText(dialog, 1), QStringLiteral("Club"));
    EXPECT_EQ(dialog.List()->currentRow(), 1);
    dialog.List()->item(1)->setCheckState(Qt::Checked);

    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.CheckedLabels(), (std::vector<std::string>{"Club", "Zeta"}));
    const std::string after = ReadWholeFile(path_);
    EXPECT_NE(after.find("Club\tclub.example\tcu\tcp\t\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("Zeta\tz.example\tzu\tzp\t/in\r\n"), std::string::npos) << after;
}

TEST_F(FtpServersDialogTest, TheEntryPointReadsTheDataFolderAndCancelWritesNothing) {
    const std::string before = ReadWholeFile(path_);
    WhenOpen<CDlgFtpServers>([](CDlgFtpServers& dialog) {
        dialog.List()->setCurrentRow(0);
        QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);
        QTest::mouseClick(dialog.RemoveButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.List()->count(), 1);
        dialog.reject();
    });
    EXPECT_FALSE(RunFtpServersDialog(nullptr, {"alpha"}).has_value());
    EXPECT_EQ(ReadWholeFile(path_), before);

    WhenOpen<CDlgFtpServers>([](CDlgFtpServers& dialog) { dialog.accept(); });
    const auto labels = RunFtpServersDialog(nullptr, {"alpha", "Zeta"});
    ASSERT_TRUE(labels.has_value());
    EXPECT_EQ(*labels, (std::vector<std::string>{"alpha", "Zeta"}));
}

}  // namespace
}  // namespace winorvex::test
