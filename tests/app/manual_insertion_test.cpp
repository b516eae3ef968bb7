// The manual insertion: the form's checks and the recording through the live-read path.
#include "app/manual_insertion.h"

#include <mutex>

#include "app/detections_list_model.h"
#include "app/dialog_commands.h"
#include "core/local_time.h"
#include "detections/record_detection.h"
#include "station_fixture.h"

namespace winorvex::test {
namespace {

// What a recorded detection was handed to, as the direct connection would see it.
class RecordingOutputs : public DetectionOutputs {
public:
    bool IsDirectConnected() override { return connected; }
    void SendDirectLine(std::string_view line) override {
        std::lock_guard lock(mutex);
        sent.emplace_back(line);
    }
    void AddToDetectionsPane(std::string_view text, std::uint32_t, const CChrono&) override {
        std::lock_guard lock(mutex);
        pane.emplace_back(text);
    }
    bool connected = false;
    std::mutex mutex;
    std::vector<std::string> sent;
    std::vector<std::string> pane;
};

class ManualInsertionTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        // Bib 13's chip text is its own number: it cannot be told from a missing chip.
        scratch_.WriteFile("OrvexTable.dtb", "12 E200001234\r\n13 13\r\n14 E200001400\r\n");
        SetLastManualDetectorIndex(0);
    }
    void TearDown() override {
        Settings().sendNumbers = 1;
        Settings().daysToAdd = 0;
        StationTest::TearDown();
    }
    void DeclareBox(int index, const char* detector) {
        const std::string i = std::to_string(index);
        Ini("OrvexBoxes", "BoxHost" + i, "127.0.0.1");
        Ini("OrvexBoxes", "BoxPort" + i, "10000");
        Ini("OrvexBoxes", "BoxIdDetector" + i, detector);
    }
    // The operator types these texts and presses OK until the form accepts them (at most twice).
    InsertDialogRunner Typing(std::vector<std::string> bibs, std::string time, int dayIndex,
                              std::vector<InsertFormCheck>* checks = nullptr) {
        return [=, this](InsertTimeForm& form) {
            opened_ = form;
            for (const std::string& bib : bibs) {
                const InsertFormCheck check = ConfirmInsertTimeForm(form, bib, time, dayIndex, form.detectorSelection);
                if (checks != nullptr) checks->push_back(check);
                if (check.accepted) return true;
            }
            return false;  // Cancel
        };
    }
    InsertTimeForm opened_;
};

TEST_F(ManualInsertionTest, TwentyFourHoursAddedRecordsTheDailyTimeAndTodaysAbsoluteTime) {
    DeclareBox(0, "31");
    DeclareBox(2, "12");
    Station& station = MakeStation();
    ASSERT_TRUE(InsertManualDetection(station, Typing({"12"}, " 10:15:00.00 ", 1)));

    EXPECT_EQ(opened_.detectors, (std::vector<std::string>{"31", "12"}));
    EXPECT_EQ(opened_.detectorSelection, 0);
    EXPECT_EQ(opened_.dayIndex, 0);
    EXPECT_EQ(opened_.clockText.rfind("Insertion du temps : ", 0), 0u);

    const std::vector<CRixResult> records = CopyActiveResults();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].bib, "12");
    EXPECT_EQ(records[0].detector, "31");
    EXPECT_EQ(records[0].timeText, "34:15:00.00");
    EXPECT_FALSE(records[0].IsAbsolute());
    const std::vector<std::string> lines = DetectionFileLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "1\t31\t12\t1\t34:15:00.00\t1");
    EXPECT_TRUE(LogHas("+++ Ajout manuel d'une détection Id. Boîtier 31 à 34:15:00.00 pour le coureur 12"));
    // One sound and one pane line, "Man." with the bib.
    EXPECT_EQ(sounds_.Count(StationSound::Detection), 1);
    ASSERT_TRUE(Pump([&] { return station.Detections().rowCount() == 1; }));
    const std::string row = station.Detections().Pane().Line(0).text;
    EXPECT_NE(row.find("+24h 10:15:00\tMan.\t# 12"), std::string::npos) << row;
    EXPECT_EQ(station.RecordedCountText().toStdString(), "1 détection enregistrée");
}

TEST_F(ManualInsertionTest, TheAbsoluteTimeIsTodayAtTheTypedTimeAndReachesTheResultsProgram) {
    MakeStation();
    InsertTimeForm form = OpenInsertTimeForm({"31"}, CChrono(CChrono::kNowAbs));
    ASSERT_TRUE(ConfirmInsertTimeForm(form, "12", "10:15:00.00", 1, 0).accepted);
    EXPECT_EQ(form.time.FormatAbsClockHundredths(), "10:15:00.00");
    EXPECT_EQ(form.time.FormatDateShort(), CChrono(CChrono::kNowAbs).FormatDateShort());

    RecordingOutputs outputs;
    outputs.connected = true;
    const ManualRecording recorded = RecordManualDetection(form, outputs, &sounds_);
    EXPECT_EQ(recorded.daily.FormatDailyHundredths(), "34:15:00.00");
    ASSERT_EQ(outputs.sent.size(), 1u);
    EXPECT_EQ(outputs.sent[0], "AddRixClock(1\t31\t12\t1\t34:15:00.00)");
    EXPECT_EQ(outputs.pane, (std::vector<std::string>{"Man.\t# 12"}));

    // Absolute clock records: the same path stores the absolute time text.
    Settings().absClock = 1;
    Settings().logDetections = 0;
    outputs.connected = false;
    const ManualRecording absolute = RecordManualDetection(form, outputs, nullptr);
    Settings().absClock = 0;
    Settings().logDetections = 1;
    EXPECT_TRUE(absolute.record.IsAbsolute());
    EXPECT_EQ(outputs.sent.size(), 1u);
    EXPECT_EQ(outputs.pane.size(), 1u);
}

TEST_F(ManualInsertionTest, WithoutTranslationTheChipIsRecordedAndTheBibShown) {
    Settings().sendNumbers = 0;
    Station& station = MakeStation();
    Settings().sendNumbers = 0;
    // No box configured: nothing offered, an empty detector recorded.
    ASSERT_TRUE(InsertManualDetection(station, Typing({"12"}, "08:00:00.50", 0)));
    EXPECT_TRUE(opened_.detectors.empty());
    EXPECT_EQ(opened_.detectorSelection, -1);
    const std::vector<CRixResult> records = CopyActiveResults();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].bib, "E200001234");
    EXPECT_EQ(records[0].detector, "");
    EXPECT_EQ(records[0].timeText, "08:00:00.50");
    ASSERT_TRUE(Pump([&] { return station.Detections().rowCount() == 1; }));
    const std::string row = station.Detections().Pane().Line(0).text;
    EXPECT_NE(row.find("Man.\tE200001234\t# 12"), std::string::npos) << row;
}

TEST_F(ManualInsertionTest, RefusalsRecordNothing) {
    Station& station = MakeStation();
    std::vector<InsertFormCheck> checks;
    EXPECT_FALSE(InsertManualDetection(
        station, Typing({"", "12x", "1 2", "0", "-4", "99999999999", "abc"}, "10:15:00.00", 0, &checks)));
    ASSERT_EQ(checks.size(), 7u);
    for (const InsertFormCheck& check : checks) {
        EXPECT_FALSE(check.accepted);
        EXPECT_EQ(check.message, "Dossard vide ou invalide !");
        EXPECT_TRUE(check.clearBib);
    }
    checks.clear();
    EXPECT_FALSE(InsertManualDetection(station, Typing({"13", "99", "65548"}, "10:15:00.00", 0, &checks)));
    // 65548 is not bib 12 seen through 16 bits.
    ASSERT_EQ(checks.size(), 3u);
    for (const InsertFormCheck& check : checks) {
        EXPECT_EQ(check.message, "Dossard non trouvé dans la table de correspondance !");
        EXPECT_FALSE(check.clearBib);
    }
    for (const char* time : {"", "10:15", "24:00:00.00", "10:60:00.00", "10:15:60.00", "10:15:00.100", "-1:15:00.00",
                             "10:15:00.00x", "1:2:3:4:5", "ten"}) {
        checks.clear();
        EXPECT_FALSE(InsertManualDetection(station, Typing({"12"}, time, 0, &checks))) << time;
        ASSERT_EQ(checks.size(), 1u);
        EXPECT_EQ(checks[0].message, "Temps invalide !") << time;
    }
    // One digit after the seconds is neither read as .05 nor guessed as .50: two digits asked for.
    for (const char* time : {"10:15:00.5", " 10.15.00.0 "}) {
        checks.clear();
        EXPECT_FALSE(InsertManualDetection(station, Typing({"12"}, time, 0, &checks))) << time;
        ASSERT_EQ(checks.size(), 1u);
        EXPECT_EQ(checks[0].message,
                  "Temps invalide : les centièmes s'écrivent avec deux chiffres (.50 pour une demi-seconde, .05 "
                  "pour cinq centièmes).")
            << time;
    }
    // Cancel records nothing either.
    EXPECT_FALSE(InsertManualDetection(station, [](InsertTimeForm&) { return false; }));
    EXPECT_EQ(CountActiveResults(), 0u);
    EXPECT_TRUE(DetectionFileLines().empty());
    EXPECT_EQ(sounds_.Count(StationSound::Detection), 0);
    EXPECT_FALSE(LogHas("Ajout manuel"));

    // Without a chip table the form does not even open.
    ClearChipTable();
    bool opened = false;
    EXPECT_FALSE(InsertManualDetection(station, [&](InsertTimeForm&) { return opened = true; }));
    EXPECT_FALSE(opened);
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(operator_.warnings[0],
              "Aucune table de correspondance n'a pu être chargée.\nVous ne pouvez saisir des temps manuellement...");
}

TEST_F(ManualInsertionTest, TheDetectorChoiceIsRememberedAndTheDayIndexFollowsToday) {
    DeclareBox(0, "31");
    DeclareBox(1, "12");
    Ini("Settings", "GDaysToAdd", "2");
    Station& station = MakeStation();
    ASSERT_TRUE(InsertManualDetection(station, [](InsertTimeForm& form) {
        return ConfirmInsertTimeForm(form, "14", "09:00:00.00", form.dayIndex, 1).accepted;
    }));
    EXPECT_EQ(CopyActiveResults().back().detector, "12");
    EXPECT_EQ(CopyActiveResults().back().timeText, "57:00:00.00");
    EXPECT_EQ(LastManualDetectorIndex(), 1);

    ASSERT_FALSE(InsertManualDetection(station, Typing({}, "", 0)));
    EXPECT_EQ(opened_.detectorSelection, 1);
    EXPECT_EQ(opened_.dayIndex, 2);
    // A remembered index past a shorter list falls back to the first item.
    EXPECT_EQ(OpenInsertTimeForm({"31"}, CChrono(CChrono::kNowAbs)).detectorSelection, 0);

    EXPECT_EQ(DayCorrectionLabel(0), "");
    EXPECT_EQ(DayCorrectionLabel(2), "+48h");
    EXPECT_EQ(DayCorrectionItems()[1], "Ajouter 24h aux temps");
}

TEST(ManualInsertionTexts, BibsAndTimesOfDay) {
    int bib = 0;
    EXPECT_TRUE(ParseRunnerBib(" 0042 ", bib));
    EXPECT_EQ(bib, 42);
    EXPECT_TRUE(ParseRunnerBib("2147483647", bib));
    EXPECT_FALSE(ParseRunnerBib("2147483648", bib));
    EXPECT_FALSE(ParseRunnerBib("+5", bib));

    CChrono daily;
    ASSERT_TRUE(ParseTimeOfDay("23:59:59.99", daily));
    EXPECT_EQ(daily, CChrono(86399, 990));
    ASSERT_TRUE(ParseTimeOfDay("7.05.09", daily));
    EXPECT_EQ(daily, CChrono(7 * 3600 + 5 * 60 + 9, 0));
    EXPECT_FALSE(ParseTimeOfDay("10::15.00", daily));
    EXPECT_FALSE(ParseTimeOfDay("10:15:00.", daily));
    EXPECT_FALSE(ParseTimeOfDay("10:15:00.5", daily));
    ASSERT_TRUE(ParseTimeOfDay("10:15:00.50", daily));
    EXPECT_EQ(daily, CChrono(36900, 500));
    ASSERT_TRUE(ParseTimeOfDay("10:15:00.05", daily));
    EXPECT_EQ(daily, CChrono(36900, 50));
    // Single digits in the other fields are whole numbers, as before.
    ASSERT_TRUE(ParseTimeOfDay("9:5:3", daily));
    EXPECT_EQ(daily, CChrono(9 * 3600 + 5 * 60 + 3, 0));
    EXPECT_FALSE(OneDigitHundredths("9:5:3"));
    EXPECT_FALSE(OneDigitHundredths("10:15:00.50"));
    EXPECT_TRUE(OneDigitHundredths("10:15:00.5"));
}

}  // namespace
}  // namespace winorvex::test
