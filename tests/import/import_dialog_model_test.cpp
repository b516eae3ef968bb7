// The import dialog's decisions, without widgets.
#include "import/import_dialog_model.h"

#include <gtest/gtest.h>

#include <deque>

#include "core/local_time.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "import/import_test_helpers.h"
#include "import/remote_file_name.h"
#include "support/test_support.h"

namespace winorvex::import_test {
namespace {

class ScriptedPrompt : public OperatorPrompt {
public:
    std::deque<bool> answers;
    std::vector<std::string> questions;
    std::vector<std::string> warnings;
    bool AskYesNo(std::string_view text, bool) override {
        questions.emplace_back(text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Warn(std::string_view text) override { warnings.emplace_back(text); }
    void Inform(std::string_view) override {}
};

class ImportDialogModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetTodayOverride(20240520);
        settingsPath_ = scratch_.WriteFile("WinORVEX.ini",
                                           "[ImportDetections]\nCurrentParseDir=/logs/in\nCurrentSaveDir=/logs/out\n");
        SetSettingsFilePath(settingsPath_);
        const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
        for (std::size_t i = 0; i < 4; ++i) RaceDayDates().dates[i] = days[i];
        Settings().sendNumbers = 0;
        Settings().ignoreUnknownTags = 0;
        Settings().ignoreInputMsDelta = 50;
    }
    void TearDown() override {
        SetSettingsFilePath("");
        SetTodayOverride(std::nullopt);
        SetLanguage(Language::French);
        Settings().sendNumbers = 1;
    }

    // A model whose search found these reads and markers on 18 May 2024.
    void Search(ImportDialogModel& model, const std::string& log) {
        model.logFile = scratch_.WriteFile("reader.log", log);
        model.date = {2024, 5, 18};
        const SearchPreparation prep = model.PrepareSearch();
        ASSERT_TRUE(prep.ready) << prep.message;
        RecordingObserver observer;
        model.ApplySearchResult(SearchReaderLog(prep.request, prep.settings, observer, nullptr), &prompt_);
    }

    test::ScratchDir scratch_;
    std::string settingsPath_;
    ImportDialogMemory memory_;
    ScriptedPrompt prompt_;
};

TEST(ImportChoices, DetectorListAndDayCorrections) {
    const std::vector<std::string>& items = ImportDetectorItems();
    ASSERT_EQ(items.size(), 32u);
    EXPECT_EQ(items[0], "31     CLASSIC");
    EXPECT_EQ(items[1], "C31    Contrôle CLASSIC");
    EXPECT_EQ(items[2], "10     ");
    EXPECT_EQ(items[3], "C10    Contrôle");
    EXPECT_EQ(items[31], "C24    Contrôle");
    EXPECT_EQ(DetectorOfItem(items[1]), "C31");
    EXPECT_EQ(DetectorOfItem(items[2]), "10");
    EXPECT_EQ(FindDetectorItem("C24"), 31);
    EXPECT_EQ(FindDetectorItem("C2"), -1);
    EXPECT_EQ(ImportDayCorrectionLabel(0), "");
    EXPECT_EQ(ImportDayCorrectionLabel(3), "+72h");
    SetLanguage(Language::English);
    EXPECT_EQ(ImportDayCorrectionItems()[2], "Add 48 hours to times");
    SetLanguage(Language::French);
    EXPECT_EQ(ImportDayCorrectionItems()[0], "Utiliser le temps tel quel");
}

TEST(ImportChoices, WindowTimes) {
    EXPECT_EQ(ParseWindowTime("10:00:00"), 36000);
    EXPECT_EQ(ParseWindowTime("23:59:59.75"), 86399);
    EXPECT_EQ(ParseWindowTime("7.05.00"), 7 * 3600 + 300);
    for (const char* bad :
         {"24:00:00", "25:00:00", "-1:00:00", "10:60:00", "10:00:60", "10:-5:00", "10h", "", "10:00"}) {
        EXPECT_FALSE(ParseWindowTime(bad).has_value()) << bad;
    }
}

TEST_F(ImportDialogModelTest, OpeningValues) {
    ImportDialogModel model(memory_);
    EXPECT_EQ(model.parseDir, "/logs/in");
    EXPECT_EQ(model.saveDir, "/logs/out");
    EXPECT_EQ(model.date.year, 2024);
    EXPECT_EQ(model.date.month, 5);
    EXPECT_EQ(model.date.day, 20) << "today";
    EXPECT_EQ(model.dayCorrection, 2) << "today is the third race day";
    EXPECT_EQ(model.DayCorrectionText(), "+48h");
    EXPECT_EQ(model.startText, "00:00:00");
    EXPECT_EQ(model.endText, "23:59:59");
    EXPECT_TRUE(model.logFile.empty());
    EXPECT_FALSE(model.CanImportOrSave());
    EXPECT_EQ(model.StartMarkerTip(), "");

    WriteSettingInt("VALDRONE", "ExtendedStatus", 1);
    EXPECT_EQ(model.StartMarkerTip(), "Use a marker (if any) to init start time");
    EXPECT_EQ(model.EndMarkerTip(), "Use a marker (if any) to init end time");

    model.ChooseLogFile("/elsewhere/reader.log");
    model.ChooseOutputFile("/saved/here.rix");
    model.Close();
    FlushSettings();
    EXPECT_EQ(ReadSettingText(kImportSection, kCurrentParseDirKey, ""), "/elsewhere");
    EXPECT_EQ(ReadSettingText(kImportSection, kCurrentSaveDirKey, ""), "/saved");
}

TEST_F(ImportDialogModelTest, SearchRemembersAndChecks) {
    {
        ImportDialogModel model(memory_);
        model.date = {2024, 5, 19};
        model.startText = "10:00:00";
        model.endText = "24:00:00";
        SearchPreparation prep = model.PrepareSearch();
        EXPECT_FALSE(prep.ready);
        EXPECT_EQ(prep.message, "End Time is invalid !");
        EXPECT_EQ(prep.focus, ImportDialogField::EndTime);

        model.startText = "10:75:00";
        prep = model.PrepareSearch();
        EXPECT_EQ(prep.message, "Start Time is invalid !");
        EXPECT_EQ(prep.focus, ImportDialogField::StartTime);

        model.startText = "10:00:00";
        model.endText = "11:00:00";
        model.logFile = scratch_.str() + "/none.log";
        prep = model.PrepareSearch();
        EXPECT_EQ(prep.message, "File to import is empty or does not exist\n" + scratch_.str() + "/none.log");
        EXPECT_EQ(prep.focus, ImportDialogField::LogFile);
        EXPECT_EQ(model.dayCorrection, 1) << "preselected from the picked date";

        model.logFile = scratch_.WriteFile("reader.log", TagLine("058000000001", "240519", "103000", 0));
        prep = model.PrepareSearch();
        ASSERT_TRUE(prep.ready);
        EXPECT_EQ(prep.request.start, Stamp("20240519", "100000"));
        EXPECT_EQ(prep.request.end, Stamp("20240519", "110000")) << "an ordinary end stops at its first hundredth";
        EXPECT_EQ(prep.request.midnight, Stamp("20240519", "000000"));
        EXPECT_EQ(prep.settings.today, 20240520u);
        EXPECT_EQ(model.Headings(),
                  (std::vector<std::string>{"Import ELITE detections from file " + model.logFile,
                                            "Import detections on Dim 19 Mai 2024 between 10:00:00 and 11:00:00"}));
        EXPECT_EQ(model.Information().Lines().back(), model.Headings()[1]);

        model.endText = "23:59:59";
        prep = model.PrepareSearch();
        EXPECT_EQ(prep.request.end, Stamp("20240519", "235959") + CChrono(0, 999)) << "the end of day is whole";
    }
    ImportDialogModel reopened(memory_);
    EXPECT_EQ(reopened.date.day, 19);
    EXPECT_EQ(reopened.startText, "10:00:00");
    EXPECT_EQ(reopened.endText, "23:59:59");
    EXPECT_EQ(reopened.dayCorrection, 1);
}

TEST_F(ImportDialogModelTest, MarkerMenus) {
    WriteSettingInt("VALDRONE", "ExtendedStatus", 1);
    ImportDialogModel model(memory_);
    Search(model, "KMark-20240518103000:Wave 2\r\nKMark-20240518140512:Finish closed\r\n");
    ASSERT_EQ(model.Markers().size(), 2u);
    const std::vector<MarkerMenuEntry> start = model.StartMenu();
    ASSERT_EQ(start.size(), 3u);
    EXPECT_EQ(start[0].text, "00:00:00 : Start of day");
    EXPECT_EQ(start[0].fieldValue, "00:00:00");
    EXPECT_EQ(start[1].text, "10:30:00 : Wave 2");
    EXPECT_EQ(start[1].fieldValue, "10:30:00");
    const std::vector<MarkerMenuEntry> end = model.EndMenu();
    ASSERT_EQ(end.size(), 3u);
    EXPECT_EQ(end[1].text, "14:05:12 : Finish closed");
    EXPECT_EQ(end[2].text, "23:59:59 : End of day");
    EXPECT_EQ(end[2].fieldValue, "23:59:59");
    SetLanguage(Language::French);
    EXPECT_EQ(model.StartMenu()[0].text, "00:00:00 : Début de journée");
    EXPECT_EQ(model.EndMenu()[2].text, "23:59:59 : Fin de journée");

    WriteSettingInt("VALDRONE", "ExtendedStatus", 0);
    Search(model, "KMark-20240518103000:Wave 2\r\n");
    EXPECT_EQ(model.StartMenu().size(), 1u) << "no markers outside the extended status mode";
}

TEST_F(ImportDialogModelTest, ImportNeedsADetectorAndAYes) {
    ImportDialogModel model(memory_);
    Search(model, TagLine("058000000001", "240518", "103000", 0));
    ASSERT_EQ(model.FoundCount(), 1u);
    EXPECT_FALSE(model.CanImportOrSave());
    EXPECT_FALSE(model.RequestImport(prompt_).endDialog);
    EXPECT_TRUE(prompt_.questions.empty()) << "nothing happens without a detector";

    model.TakeDownloadedFile(model.logFile, "C12");
    EXPECT_EQ(model.SelectedDetector(), "C12");
    EXPECT_TRUE(model.CanImportOrSave());
    prompt_.answers = {false, true};
    EXPECT_FALSE(model.RequestImport(prompt_).endDialog);
    EXPECT_EQ(model.Order().action, ImportAction::None);
    EXPECT_TRUE(model.RequestImport(prompt_).endDialog);
    EXPECT_TRUE(prompt_.questions[0].starts_with("This operation will merge detections found in this file with those"));
    EXPECT_EQ(model.Order().action, ImportAction::Import);
    EXPECT_EQ(model.Order().detector, "C12");
    EXPECT_EQ(model.Order().dayCorrection, 0);
    EXPECT_EQ(model.Order().headings, model.Headings());
}

TEST_F(ImportDialogModelTest, SaveChecksTheOutputFile) {
    ImportDialogModel model(memory_);
    Search(model, TagLine("058000000001", "240518", "103000", 0));
    model.detectorIndex = 0;
    EXPECT_FALSE(model.RequestSave(prompt_).endDialog);
    EXPECT_EQ(prompt_.warnings, std::vector<std::string>{"No output file is specified..."});

    model.outputFile = scratch_.str() + "/out.txt";
    EXPECT_TRUE(model.RequestSave(prompt_).endDialog);
    EXPECT_EQ(model.Order().outputPath, scratch_.str() + "/out.txt.rix");
    EXPECT_EQ(model.Order().detector, "31");
    EXPECT_TRUE(prompt_.questions.empty());

    model.outputFile = scratch_.WriteFile("OUT.RIX", "old");
    prompt_.answers = {false};
    EXPECT_FALSE(model.RequestSave(prompt_).endDialog);
    EXPECT_EQ(prompt_.questions.back(),
              "File\n" + model.outputFile + "\nalready exists. It will be replaced by this operation.\nAre you sure?");
    prompt_.answers = {true};
    EXPECT_TRUE(model.RequestSave(prompt_).endDialog);
    EXPECT_EQ(model.Order().outputPath, scratch_.str() + "/OUT.RIX");
    EXPECT_EQ(test::ReadWholeFile(model.outputFile), "old") << "the old file stays until the new one is whole";
}

TEST_F(ImportDialogModelTest, UnreadableFileWarnsWithTheReason) {
    ImportDialogModel model(memory_);
    LogSearchResult failed;
    failed.error = "Cannot open file x: Permission denied";
    model.ApplySearchResult(std::move(failed), &prompt_);
    EXPECT_EQ(prompt_.warnings, std::vector<std::string>{"Cannot open file x: Permission denied"});
    EXPECT_EQ(model.FoundCount(), 0u);
}

TEST(PlainRemoteFileName, NeverLeavesTheFolder) {
    EXPECT_EQ(PlainRemoteFileName("tty01.log"), "tty01.log");
    EXPECT_EQ(PlainRemoteFileName("/var/log/tty01.log"), "tty01.log");
    EXPECT_EQ(PlainRemoteFileName("..\\..\\evil.log"), "evil.log");
    EXPECT_EQ(PlainRemoteFileName("../"), "");
    EXPECT_EQ(PlainRemoteFileName(".."), "");
    EXPECT_EQ(PlainRemoteFileName("a\nb\x01.log"), "ab.log");
}

TEST(InformationList, BoundedWithVisibleLineBreaks) {
    InformationList list;
    EXPECT_EQ(list.Add("a\r\nb"), 0u);
    EXPECT_EQ(list.Lines().front(), "a<CR><LF>b");
    for (int i = 1; i < 8000; ++i) list.Add(std::to_string(i));
    EXPECT_EQ(list.Size(), 8000u);
    EXPECT_EQ(list.Add("last"), 2000u);
    EXPECT_EQ(list.Size(), 6001u);
    EXPECT_EQ(list.Lines().front(), "2000");
    EXPECT_EQ(list.Lines().back(), "last");
}

}  // namespace
}  // namespace winorvex::import_test
