#include "export/export_dialog_model.h"

#include "export/time_texts.h"
#include "export_fixture.h"

namespace winorvex::test {
namespace {

class ExportDialogModelTest : public ExportFixture {
protected:
    void RecordTwoDetectors() {
        Record("12", "1", "10:00:00.00");
        Record("12", "1", "10:30:00.00");
        Record("12", "2", "10:01:00.00");
        Record("7", "9", "10:15:30.25");
    }

    ScriptedPrompt prompt_;
};

TEST_F(ExportDialogModelTest, OpensWithTheSettingsAndHandEditedValuesFallBack) {
    ExportDialogModel defaults;
    EXPECT_EQ(defaults.fields.gapText, "");
    EXPECT_EQ(defaults.fields.genericName, "export");
    EXPECT_EQ(defaults.fields.folder, DefaultExportPath());
    EXPECT_EQ(defaults.fields.minutesText, "2");
    EXPECT_FALSE(defaults.fields.periodic);
    EXPECT_EQ(defaults.Mode(), DisplayMode::TimeOfDay);
    EXPECT_EQ(defaults.ServersLabelText(), " <No FTP server>");
    EXPECT_EQ(defaults.FtpTooltipText(), "No FTP settings defined!");

    SetExportSetting("Delta", "00:00:30");
    SetExportSetting("ExportPath", "/data/course");
    SetExportSetting("BFtpExport", "1");
    SetExportSetting("BZip", "1");
    SetExportSetting("DisplayDetectionType", "7");
    SetExportSetting("FtpServersList", "Club\\Ligue");
    SetBackgroundSetting("ExportPeriodMinutes", "-3");
    SetBackgroundSetting("BExport", "1");
    ExportDialogModel model;
    EXPECT_EQ(model.fields.gapText, "00:00:30");
    EXPECT_EQ(model.fields.folder, "/data/course");
    EXPECT_TRUE(model.fields.ftp);
    EXPECT_TRUE(model.fields.zip);
    EXPECT_EQ(model.Mode(), DisplayMode::Compact);
    EXPECT_EQ(model.fields.minutesText, "2");
    EXPECT_TRUE(model.fields.periodic);
    EXPECT_EQ(model.ServersLabelText(), "Club, Ligue");
    EXPECT_EQ(model.FtpTooltipText(), "Transfer to Club, Ligue");
    SetLanguage(Language::French);
    EXPECT_EQ(model.FtpTooltipText(), "Transfert vers Club, Ligue");
    EXPECT_EQ(defaults.ServersLabelText(), "<Aucun serveur FTP>");
}

TEST_F(ExportDialogModelTest, ExportIsDisabledUntilFilterProducesRows) {
    RecordTwoDetectors();
    ExportDialogModel model;
    EXPECT_TRUE(model.Rows().empty());
    EXPECT_FALSE(model.ExportEnabled());
    EXPECT_FALSE(model.ModeButtonsEnabled());
    EXPECT_EQ(model.DataToExportText(), "aucune");
    EXPECT_FALSE(model.ExportNow(prompt_, nullptr).has_value());
    EXPECT_TRUE(prompt_.events.empty());

    // An empty gap is not a time: the message, and the list stays empty.
    EXPECT_FALSE(model.Filter(prompt_));
    EXPECT_EQ(prompt_.events, (std::vector<std::string>{std::string("warn:") + InvalidGapMessage()}));
    EXPECT_FALSE(model.ExportEnabled());

    model.fields.gapText = "00:01:00";
    ASSERT_TRUE(model.Filter(prompt_));
    ASSERT_EQ(model.Rows().size(), 2u);
    EXPECT_TRUE(model.ExportEnabled());
    EXPECT_TRUE(model.ModeButtonsEnabled());
    EXPECT_EQ(model.Rows()[0].cells, (std::array<std::string, 6>{"12", "2", "3", "10:00:00.00", "1", "00:00:00.00"}));
    EXPECT_EQ(model.Rows()[1].cells[0], "7");
    EXPECT_EQ(model.FileCount(), 3);
    EXPECT_EQ(model.DataToExportText(), "3 fichiers de détections - Heures de détections");
    model.SetDisplayMode(DisplayMode::Compact, prompt_);
    EXPECT_EQ(model.DataToExportText(), "3 fichiers de détections - Temps format LOGICA");

    // A negative gap is refused and the list kept.
    model.fields.gapText = "-0:01:00";
    EXPECT_FALSE(model.Filter(prompt_));
    EXPECT_EQ(model.Rows().size(), 2u);
}

TEST_F(ExportDialogModelTest, SelectionDrivesTheHandicapControls) {
    RecordTwoDetectors();
    ExportDialogModel model;
    model.fields.gapText = "00:01:00";
    ASSERT_TRUE(model.Filter(prompt_));
    EXPECT_FALSE(model.HandicapButtonsEnabled());
    EXPECT_EQ(model.HandicapLabelText(), "...");
    EXPECT_FALSE(model.BeginRecalage().has_value());
    EXPECT_FALSE(model.RequestHandicapReset(prompt_));
    EXPECT_TRUE(prompt_.events.size() == 0);

    model.SetSelection(1);
    EXPECT_TRUE(model.HandicapButtonsEnabled());
    auto recalage = model.BeginRecalage();
    ASSERT_TRUE(recalage.has_value());
    EXPECT_EQ(recalage->BibText(), "9");
    EXPECT_EQ(recalage->TimeOfDayText(), "10:15:30.25");
    const auto handicap = recalage->Accept("00:45:10", prompt_);
    ASSERT_TRUE(handicap.has_value());
    model.ApplyRecalage(*handicap);
    // Written at once, shown in the label and the row, the selection kept.
    FlushSettings();
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "Handicap-7", ""), "09:30:20.25");
    EXPECT_EQ(model.Selection(), std::optional<std::size_t>(1));
    EXPECT_EQ(model.HandicapLabelText(), "09:30:20.25");
    EXPECT_EQ(model.Rows()[1].cells[5], "09:30:20.25");

    model.SetDisplayMode(DisplayMode::PassingTime, prompt_);
    EXPECT_EQ(model.Selection(), std::optional<std::size_t>(1));
    EXPECT_EQ(model.Rows()[1].cells[3], "00:45:10.00");

    EXPECT_TRUE(model.RequestHandicapReset(prompt_));
    EXPECT_EQ(model.HandicapLabelText(), "00:00:00.00");
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "Handicap-7", ""), "00:00:00.00");
    model.SetSelection(5);
    EXPECT_FALSE(model.HandicapButtonsEnabled());
}

TEST_F(ExportDialogModelTest, ExportNowChecksInOrder) {
    RecordTwoDetectors();
    ExportDialogModel model;
    model.fields.gapText = "00:01:00";
    ASSERT_TRUE(model.Filter(prompt_));

    const auto warningFor = [&](auto change) {
        ExportDialogModel& m = model;
        change(m);
        prompt_.events.clear();
        EXPECT_FALSE(model.ExportNow(prompt_, nullptr).has_value());
        return prompt_.events.size() == 1 ? prompt_.events[0]
                                          : std::string("<") + std::to_string(prompt_.events.size());
    };
    model.fields.folder = "";
    model.fields.genericName = "";
    model.fields.ftp = true;
    EXPECT_EQ(warningFor([](ExportDialogModel& m) { m.fields.gapText = "abc"; }),
              std::string("warn:") + InvalidGapMessage());
    EXPECT_EQ(warningFor([](ExportDialogModel& m) { m.fields.gapText = "00:01:00"; }),
              "warn:Destination filename mandatory!");
    EXPECT_EQ(warningFor([](ExportDialogModel& m) { m.fields.genericName = "  ../x "; }).substr(0, 30),
              "warn:Invalid generic file name");
    EXPECT_EQ(warningFor([](ExportDialogModel& m) { m.fields.genericName = "  course "; }),
              "warn:Destination folder mandatory!");
    EXPECT_EQ(warningFor([this](ExportDialogModel& m) { m.fields.folder = " " + out_.str() + " "; }),
              "warn:No FTP settings defined!");
    SetLanguage(Language::French);
    EXPECT_EQ(warningFor([](ExportDialogModel&) {}), "warn:Paramètres FTP non définis !");

    model.fields.ftp = false;
    prompt_.events.clear();
    const auto report = model.ExportNow(prompt_, nullptr);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->written.size(), 3u);
    EXPECT_EQ(report->written[0], out_.str() + "/course-12-1.rix");
    ASSERT_EQ(prompt_.events.size(), 1u);
    EXPECT_EQ(prompt_.events[0].rfind("inform:Export de données terminé.", 0), 0u);
}

TEST_F(ExportDialogModelTest, WorkingCopyIsTakenAtFilterAndKeptForTheExport) {
    Record("7", "9", "10:00:00.00");
    ExportDialogModel model;
    EXPECT_EQ(model.WorkingCopy().size(), 1u);
    Record("7", "10", "10:00:01.00");
    EXPECT_EQ(model.WorkingCopy().size(), 1u);
    model.fields.gapText = "00:00:00";
    ASSERT_TRUE(model.Filter(prompt_));
    EXPECT_EQ(model.WorkingCopy().size(), 2u);
    EXPECT_EQ(model.Rows()[0].cells[2], "2");
    EXPECT_EQ(model.DataToExportText(), "1 fichier de détection - Heures de détections");
    Record("7", "11", "10:00:02.00");
    model.fields.folder = out_.str();
    const auto report = model.ExportNow(prompt_, nullptr);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(ReadWholeFile(report->written[0]), "1\t7\t9\t1\t10:00:00.00\t1\r\n2\t7\t10\t1\t10:00:01.00\t1\r\n");
}

TEST_F(ExportDialogModelTest, ServerChoiceAndFolderPicker) {
    ExportDialogModel model;
    EXPECT_TRUE(model.SetFtpOption(true));  // no server yet: the choice opens at once
    model.SetServerLabels({"Club", "Ligue"});
    FlushSettings();
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "FtpServersList", ""), "Club\\Ligue");
    EXPECT_EQ(model.ServerLabels(), (std::vector<std::string>{"Club", "Ligue"}));
    EXPECT_EQ(model.ServersLabelText(), "Club, Ligue");
    EXPECT_FALSE(model.SetFtpOption(true));
    EXPECT_FALSE(model.SetFtpOption(false));

    model.fields.folder = "/data/Course";
    EXPECT_FALSE(model.ChooseFolder("/data/Course/"));
    EXPECT_TRUE(model.ChooseFolder("/data/course/"));  // another folder here: case counts
    EXPECT_EQ(model.fields.folder, "/data/course");
}

TEST_F(ExportDialogModelTest, ClosingWritesTheFieldsAsTheyStand) {
    ExportDialogModel model;
    model.fields.gapText = "0:2:0";
    model.fields.folder = "/data/x";
    model.fields.genericName = "course";
    model.fields.ftp = true;
    model.fields.zip = true;
    model.fields.periodic = true;
    model.SetDisplayMode(DisplayMode::PassingTime, prompt_);
    for (const auto& [typed, saved] : std::vector<std::pair<std::string, std::string>>{
             {"0", "2"}, {"x", "2"}, {"", "2"}, {"-4", "2"}, {"7", "7"}, {" 10 min", "10"}}) {
        model.fields.minutesText = typed;
        const auto result = model.Close();
        EXPECT_TRUE(result.periodicSwitchedOn);
        FlushSettings();
        EXPECT_EQ(ReadSettingText(keys::kBackgroundExportSection, "ExportPeriodMinutes", ""), saved) << typed;
    }
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "Delta", ""), "0:2:0");
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "ExportPath", ""), "/data/x");
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "GenericFilename", ""), "course");
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "BFtpExport", ""), "1");
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "BZip", ""), "1");
    EXPECT_EQ(ReadSettingText(keys::kExportSection, "DisplayDetectionType", ""), "1");
    EXPECT_EQ(ReadSettingText(keys::kBackgroundExportSection, "BExport", ""), "1");
    EXPECT_TRUE(model.WorkingCopy().empty());

    ExportDialogModel reopened;
    EXPECT_FALSE(reopened.Close().periodicSwitchedOn);
}

}  // namespace
}  // namespace winorvex::test
