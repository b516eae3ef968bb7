#include "results_link/results_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/texts.h"
#include "results_link/results_messages.h"

namespace winorvex {
namespace {

class ResultsLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CurrentLanguage();
        SetLanguage(Language::French);
    }
    void TearDown() override { SetLanguage(saved_); }

    static std::vector<std::string> LogTexts(const ResultsLineOutcome& outcome) {
        std::vector<std::string> texts;
        for (const auto& line : outcome.logLines) {
            EXPECT_EQ(line.level, 0) << line.text;
            texts.push_back(line.text);
        }
        return texts;
    }

    Language saved_ = Language::French;
};

// kt04: tag, PASS, CLT-GAL, CLT-CAT, CLT-SEX, NUMBER, LAST, FIRST, SEX, SCAT, CAT, TEAM, TIME, spare, STATUS.
std::string Kt04(int pass, int gal, int cat, int sexRank, const std::string& sex, const std::string& time, int status,
                 const std::string& team = "AC Lyon") {
    return "kt04\\" + std::to_string(pass) + "\\" + std::to_string(gal) + "\\" + std::to_string(cat) + "\\" +
           std::to_string(sexRank) + "\\123\\DUPONT\\Marie\\" + sex + "\\SE\\Senior\\" + team + "\\" + time + "\\0\\" +
           std::to_string(status);
}

TEST_F(ResultsLineTest, ErrorLinesLogTheStatusText) {
    auto outcome = DecodeResultsLine("ERR:1000");
    EXPECT_EQ(outcome.kind, ResultsLineKind::Error);
    EXPECT_EQ(outcome.code, 1000);
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"$$$ Connexion refusée"});
    EXPECT_FALSE(outcome.display.has_value());

    outcome = DecodeResultsLine("ERR:7");
    EXPECT_EQ(outcome.code, 7);
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"$$$ Status inconnu"});
    SetLanguage(Language::English);
    EXPECT_EQ(LogTexts(DecodeResultsLine("ERR:7")), std::vector<std::string>{"$$$ unknown status"});
    EXPECT_EQ(LogTexts(DecodeResultsLine("ERR:-6")), std::vector<std::string>{"$$$ Nombre max de passages atteint"});

    outcome = DecodeResultsLine("ERR:oops");
    EXPECT_EQ(outcome.kind, ResultsLineKind::Undecodable);
    EXPECT_EQ(outcome.code, 105);
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"$$$ Can't decode ERR:oops"});
}

TEST_F(ResultsLineTest, InformationLinesLogTheirLabelExceptThePingAnswer) {
    auto outcome = DecodeResultsLine("NFO:20 Ping answered");
    EXPECT_EQ(outcome.kind, ResultsLineKind::Information);
    EXPECT_EQ(outcome.code, 105);
    EXPECT_TRUE(outcome.logLines.empty());

    outcome = DecodeResultsLine("NFO:5 Marathon de Paris");
    EXPECT_EQ(outcome.informationCode, 5);
    EXPECT_EQ(outcome.informationText, "Marathon de Paris");
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"$$$ Nom de la compétition: Marathon de Paris"});
    EXPECT_EQ(LogTexts(DecodeResultsLine("NFO:6")), std::vector<std::string>{"$$$ Nom du fichier"});
    EXPECT_EQ(LogTexts(DecodeResultsLine("NFO:99 x")), std::vector<std::string>{"$$$ Commande inconnue: x"});
    SetLanguage(Language::English);
    EXPECT_EQ(LogTexts(DecodeResultsLine("NFO:99 x")), std::vector<std::string>{"$$$ unknown command: x"});

    outcome = DecodeResultsLine("NFO: nothing");
    EXPECT_EQ(outcome.kind, ResultsLineKind::Undecodable);
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"$$$ Can't decode NFO: nothing"});
}

TEST_F(ResultsLineTest, VersionAnswersBelowTheMinimumAreRefused) {
    auto outcome = DecodeResultsLine("NFO:27 4,3,9,0");
    EXPECT_EQ(outcome.versionText, "4.39_");
    EXPECT_TRUE(outcome.incompatibleVersion);
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"$$$ Version: 4,3,9,0"});

    outcome = DecodeResultsLine("NFO:27 4,4,0,0");
    EXPECT_EQ(outcome.versionText, "4.40_");
    EXPECT_FALSE(outcome.incompatibleVersion);

    outcome = DecodeResultsLine("NFO:27 4,0,4,1");
    EXPECT_EQ(outcome.versionText, "4.4a");
    EXPECT_FALSE(outcome.incompatibleVersion);

    // A newer major number is not refused because "1" sorts before "4".
    EXPECT_FALSE(DecodeResultsLine("NFO:27 10,0,0,0").incompatibleVersion);
    EXPECT_TRUE(DecodeResultsLine("NFO:27 3,9,9,9").incompatibleVersion);
    // Nothing readable: nothing to refuse.
    EXPECT_FALSE(DecodeResultsLine("NFO:27 unknown").incompatibleVersion);
    EXPECT_FALSE(DecodeResultsLine("NFO:27").incompatibleVersion);
}

TEST(VersionText, ReadsFourIntegers) {
    EXPECT_EQ(VersionText("4,4,0,0"), "4.40_");
    EXPECT_EQ(VersionText("5,1,2,3"), "5.12c");
    EXPECT_EQ(VersionText(" 4, 4, 1, 26 trailing"), "4.41z");
    EXPECT_EQ(VersionText("4,4,0"), "");
    EXPECT_EQ(VersionText("4 ,4,0,0"), "");
    EXPECT_EQ(VersionText("4,4,0,27"), "");
    EXPECT_EQ(VersionText("4,4,0,-1"), "");
    EXPECT_TRUE(IsCompatibleResultsVersion("4.40_"));
    EXPECT_TRUE(IsCompatibleResultsVersion("4.41_"));
    EXPECT_FALSE(IsCompatibleResultsVersion("4.3_"));
    EXPECT_TRUE(IsCompatibleResultsVersion(""));
}

TEST(OrdinalText, FrenchKnowsTheFirstOfEachSex) {
    EXPECT_EQ(OrdinalText(0, "M", Language::French), "?ème");
    EXPECT_EQ(OrdinalText(1, "F", Language::French), "1ère");
    EXPECT_EQ(OrdinalText(1, "M", Language::French), "1er");
    EXPECT_EQ(OrdinalText(1, "X", Language::French), "1ème");
    EXPECT_EQ(OrdinalText(1, "", Language::French), "1ème");
    EXPECT_EQ(OrdinalText(12, "F", Language::French), "12ème");
}

TEST(OrdinalText, EnglishLooksAtTheLastDigitOnly) {
    EXPECT_EQ(OrdinalText(0, "M", Language::English), "?th");
    EXPECT_EQ(OrdinalText(1, "F", Language::English), "1st");
    EXPECT_EQ(OrdinalText(2, "F", Language::English), "2nd");
    EXPECT_EQ(OrdinalText(3, "F", Language::English), "3rd");
    EXPECT_EQ(OrdinalText(4, "F", Language::English), "4th");
    EXPECT_EQ(OrdinalText(11, "F", Language::English), "11st");
    EXPECT_EQ(OrdinalText(12, "F", Language::English), "12nd");
    EXPECT_EQ(OrdinalText(13, "F", Language::English), "13rd");
    EXPECT_EQ(OrdinalText(20, "F", Language::English), "20th");
    EXPECT_EQ(OrdinalText(101, "F", Language::English), "101st");
}

TEST_F(ResultsLineTest, AcceptedRecordFillsDisplayPaneAndSpeech) {
    const auto outcome = DecodeResultsLine(Kt04(1, 12, 2, 10, "F", "01:02:03", 3));
    ASSERT_EQ(outcome.kind, ResultsLineKind::RunnerRecord);
    EXPECT_EQ(outcome.code, 3);
    ASSERT_TRUE(outcome.display && outcome.summaryItem && outcome.record);
    EXPECT_EQ(outcome.record->format, "kt04");
    EXPECT_EQ(outcome.display->name, "Marie DUPONT                  ");
    EXPECT_EQ(outcome.display->name.size(), 30u);
    EXPECT_EQ(outcome.display->rank, "12ème - 10ème F - 2ème SE");
    EXPECT_EQ(outcome.display->time, "01:02:03");
    EXPECT_TRUE(outcome.logLines.empty());
    const CSummaryItem& item = *outcome.summaryItem;
    EXPECT_EQ(item.name, outcome.display->name);
    EXPECT_EQ(item.bib, 123);
    EXPECT_EQ(item.time, "01:02:03");
    EXPECT_EQ(item.pass, ".");
    EXPECT_EQ(item.result, "12ème - 10ème F - 2ème SE");
    EXPECT_FALSE(item.error);
    EXPECT_EQ(outcome.speechText, "Marie  DUPONT");

    EXPECT_EQ(DecodeResultsLine(Kt04(3, 1, 1, 1, "F", "01:02:03", 3)).display->rank, "1ère - 1ère F - 1ère SE");
    EXPECT_EQ(DecodeResultsLine(Kt04(3, 1, 1, 1, "F", "01:02:03", 3)).summaryItem->pass, "p3");
    SetLanguage(Language::English);
    EXPECT_EQ(DecodeResultsLine(Kt04(1, 12, 2, 10, "F", "01:02:03", 3)).display->rank, "12nd - 10th F - 2nd SE");
}

TEST_F(ResultsLineTest, UnrankedRunnerShowsSexAndCategory) {
    const auto outcome = DecodeResultsLine(Kt04(2, 0, 0, 0, "M", "00:00:00", 3));
    ASSERT_TRUE(outcome.display.has_value());
    EXPECT_EQ(outcome.display->rank, "M - Senior");
    EXPECT_EQ(outcome.display->time, "        ");
    EXPECT_EQ(outcome.summaryItem->time, "        ");
    EXPECT_EQ(outcome.summaryItem->pass, "p2");
}

TEST_F(ResultsLineTest, RefusedDetectionShowsTheStatusAsAnError) {
    const auto outcome = DecodeResultsLine(Kt04(1, 0, 0, 0, "M", "01:02:03", -5));
    EXPECT_EQ(outcome.code, -5);
    ASSERT_TRUE(outcome.display && outcome.summaryItem);
    EXPECT_EQ(outcome.summaryItem->result, "Coureur inconnu");
    EXPECT_TRUE(outcome.summaryItem->error);
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"------------------------ Coureur inconnu"});
    EXPECT_EQ(outcome.speechText, "Marie  DUPONT");
    // Any status but 3 is an error line, even the "time unchanged" one.
    EXPECT_TRUE(DecodeResultsLine(Kt04(1, 5, 1, 1, "M", "01:02:03", 0)).summaryItem->error);
}

TEST_F(ResultsLineTest, ControlTimeChangesNothing) {
    const auto outcome = DecodeResultsLine(Kt04(1, 12, 2, 10, "F", "01:02:03", -8));
    EXPECT_EQ(outcome.kind, ResultsLineKind::ControlTime);
    EXPECT_EQ(outcome.code, -8);
    EXPECT_FALSE(outcome.display.has_value());
    EXPECT_FALSE(outcome.summaryItem.has_value());
    EXPECT_TRUE(outcome.logLines.empty());
    EXPECT_TRUE(outcome.speechText.empty());
}

TEST_F(ResultsLineTest, EmptyFieldMakesAKt04RecordUndecodable) {
    const auto outcome = DecodeResultsLine(Kt04(1, 12, 2, 10, "F", "01:02:03", 3, ""));
    EXPECT_EQ(outcome.kind, ResultsLineKind::UndecodableRecord);
    EXPECT_EQ(outcome.code, -20);
    ASSERT_TRUE(outcome.display.has_value());
    EXPECT_EQ(outcome.display->name, "Decoding");
    EXPECT_EQ(outcome.display->rank, "");
    EXPECT_EQ(outcome.display->time, "Error");
    EXPECT_FALSE(outcome.summaryItem.has_value());
    // The kt06 attempt reads tag, PASS, DIST, NATION, RACE and CLT-GAL, then fails on the name.
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"Erreur décodage réponse: (ret=6)"});
    SetLanguage(Language::English);
    EXPECT_EQ(LogTexts(DecodeResultsLine("hello")), std::vector<std::string>{"Error decoding response: (ret=1)"});
}

TEST_F(ResultsLineTest, Kt05AndKt06CarryDistanceNationAndRace) {
    auto outcome =
        DecodeResultsLine("kt05\\2\\21.1\\FRA\\7\\3\\5\\42\\Martin\\Luc\\M\\V1\\Veteran 1\\Club\\01:30:00\\x\\3");
    ASSERT_TRUE(outcome.record.has_value());
    EXPECT_EQ(outcome.record->format, "kt05");
    EXPECT_DOUBLE_EQ(outcome.record->distance, 21.1);
    EXPECT_EQ(outcome.record->nation, "FRA");
    EXPECT_EQ(outcome.record->number, 42);
    EXPECT_EQ(outcome.display->rank, "7ème - 5ème M - 3ème V1");
    EXPECT_EQ(outcome.summaryItem->pass, "p2");

    outcome = DecodeResultsLine(
        "kt06\\1\\42.195\\BEL\\Marathon\\1\\1\\1\\7\\Petit\\Anne\\F\\SE\\Senior\\Team\\02:59:59\\x\\3");
    ASSERT_TRUE(outcome.record.has_value());
    EXPECT_EQ(outcome.record->format, "kt06");
    EXPECT_EQ(outcome.record->race, "Marathon");
    EXPECT_EQ(outcome.display->rank, "1ère - 1ère F - 1ère SE");
    EXPECT_EQ(outcome.display->time, "02:59:59");

    // Formatted input ignores what follows the last field.
    outcome = DecodeResultsLine(Kt04(1, 2, 2, 2, "M", "01:00:00", 3) + "\\extra\\fields");
    EXPECT_EQ(outcome.kind, ResultsLineKind::RunnerRecord);
}

TEST_F(ResultsLineTest, SeparatedFormAllowsEmptyFieldsButNotMissingOnes) {
    // Two ignored fields, then PASS, DIST, NATION, RACE, GAL, CAT, SEX, NUMBER, LAST, FIRST, SEX,
    // SCAT, CAT, TEAM, TIME, spare, STATUS.
    const std::string full = "RES:1\\a\\b\\4\\10.5\\\\\\3\\1\\2\\77\\Leroy\\\\M\\SE\\Senior\\\\00:45:00\\\\3";
    auto outcome = DecodeResultsLine(full);
    ASSERT_EQ(outcome.kind, ResultsLineKind::RunnerRecord);
    EXPECT_EQ(outcome.record->format, "RES:1");
    EXPECT_EQ(outcome.record->pass, 4);
    EXPECT_EQ(outcome.record->number, 77);
    EXPECT_EQ(outcome.record->team, "");
    EXPECT_EQ(outcome.display->rank, "3ème - 2ème M - 1er SE");
    EXPECT_EQ(outcome.speechText, "Leroy");
    EXPECT_EQ(outcome.summaryItem->pass, "p4");
    // No digits read as 0.
    outcome = DecodeResultsLine("RES:1\\a\\b\\x\\y\\\\\\\\\\\\\\L\\F\\M\\SE\\Senior\\\\00:45:00\\\\3");
    ASSERT_TRUE(outcome.record.has_value());
    EXPECT_EQ(outcome.record->pass, 0);
    EXPECT_EQ(outcome.record->overallRank, 0);

    const std::string shortLine = full.substr(0, full.rfind('\\'));  // 18 fields
    outcome = DecodeResultsLine(shortLine);
    EXPECT_EQ(outcome.kind, ResultsLineKind::UndecodableRecord);
    EXPECT_EQ(outcome.code, -20);
    EXPECT_EQ(outcome.display->name, "Decoding");
    EXPECT_EQ(LogTexts(outcome), std::vector<std::string>{"Erreur décodage réponse: (ret=18)"});
    EXPECT_EQ(DecodeResultsLine("RES:1").kind, ResultsLineKind::UndecodableRecord);
}

TEST_F(ResultsLineTest, TextsAreCutToTheirCapacityOnCharacterBoundaries) {
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "é";
    const std::string line = "kt04\\1\\1\\1\\1\\5\\" + longName +
                             "\\Ann\\FEMALE-AND-MORE-THAN-TWENTY\\SE\\Senior\\T\\"
                             "01:00:00\\0\\3";
    const auto outcome = DecodeResultsLine(line);
    ASSERT_TRUE(outcome.record.has_value());
    EXPECT_EQ(outcome.record->lastName.size(), 255u * 2);  // 255 characters of two bytes
    EXPECT_EQ(outcome.record->sex, "FEMALE-AND-MORE-THA");
    // The name column is padded by characters, not bytes.
    std::string accented = Kt04(1, 1, 1, 1, "F", "01:00:00", 3);
    accented.replace(accented.find("DUPONT"), 6, "Dupré");
    const auto padded = DecodeResultsLine(accented);
    ASSERT_TRUE(padded.display.has_value());
    EXPECT_EQ(padded.display->name, "Marie Dupré                   ");
}

}  // namespace
}  // namespace winorvex
