// What a load says about the file it read (lines taken and rejected, a binary file named as such)
// and the alert for an empty table while chips are translated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chips/chip_table.h"
#include "chips/chip_table_alert.h"
#include "core/log_fixture.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "support/recording_station_events.h"

namespace winorvex::test {
namespace {

class ChipTableReportTest : public LogFixture {
protected:
    void SetUp() override {
        LogFixture::SetUp();
        SetLanguage(Language::English);
        savedSendNumbers_ = Settings().sendNumbers.load();
    }
    void TearDown() override {
        Settings().sendNumbers = savedSendNumbers_;
        ClearChipTable();
        LogFixture::TearDown();
    }

    // Loads the bytes as the data folder's table; returns the detail line.
    std::string Load(const std::string& bytes, std::string* message = nullptr) {
        const std::string path = data_.WriteFile("OrvexTable.dtb", bytes);
        std::string text;
        std::string detail;
        EXPECT_TRUE(LoadChipTableFrom(data_.str(), "", "OrvexTable.dtb", text, detail)) << path;
        if (message != nullptr) *message = text;
        return detail;
    }

    ScratchDir data_;
    int savedSendNumbers_ = 0;
};

TEST_F(ChipTableReportTest, TheLoadMessageStaysAndALineCountsTakenAndRejected) {
    std::string message;
    // Line 3 has one word, line 5 two words that are not numbers; blank lines are neither.
    const std::string detail =
        Load("12 0580031A2B3C\r\n\r\nlonely\r\n13 0580031A2B3D\r\nA1 B2\r\n   \r\n14 X\r\n", &message);
    EXPECT_EQ(message.rfind("+++ Chip translation table loaded (3 entries). File ", 0), 0u) << message;
    EXPECT_EQ(detail, "+++ Chip table: 3 lines taken, 2 rejected (first rejected: line 3)");

    EXPECT_EQ(Load("1 A\n2 B\n"), "+++ Chip table: 2 lines taken, 0 rejected");

    SetLanguage(Language::French);
    EXPECT_EQ(Load("1 A\nx\n"), "+++ Table de correspondance : 1 ligne prise, 1 rejetée (première rejetée : ligne 2)");
}

TEST_F(ChipTableReportTest, AMostlyBinaryFileIsNamedAsSuch) {
    // More rejected than taken.
    EXPECT_EQ(Load("1 A\n\x01\x02\x03\n\xff\xfe\xfd\xfc\nzz\n"),
              "### Chip table file looks binary, not a text table: 1 line taken, 3 rejected (first rejected: line 2)");
    // A NUL byte, however many lines were taken.
    std::string withNul = "1 A\n2 B\n3 C\n4 D";
    withNul += std::string("\0\0\n", 3);
    EXPECT_EQ(Load(withNul),
              "### Chip table file looks binary, not a text table: 4 lines taken, 0 rejected, NUL bytes");
}

TEST_F(ChipTableReportTest, FilesThatWereNotReadGiveNoCountLine) {
    std::string message;
    std::string detail = "stale";
    data_.WriteFile("OrvexTable.dtb", "\xFF\xFE\x31\x00");
    EXPECT_FALSE(LoadChipTableFrom(data_.str(), "", "OrvexTable.dtb", message, detail));
    EXPECT_EQ(message, "### Error loading file");
    EXPECT_TRUE(detail.empty());
    EXPECT_FALSE(LoadChipTableFrom("", "", "OrvexTable.dtb", message, detail));
    EXPECT_TRUE(detail.empty());
}

TEST_F(ChipTableReportTest, AnEmptyTableWhileChipsAreTranslatedRaisesOneAlertWithItsMessageBox) {
    Settings().sendNumbers = 1;
    ClearChipTable();
    RecordingStationEvents sink;
    EXPECT_TRUE(AlertIfEveryReadRefused(&sink));
    ASSERT_EQ(sink.AlertCount(), 1u);
    EXPECT_EQ(sink.Alerts()[0].text, "no chip translation table: every read will be refused");
    EXPECT_TRUE(sink.Alerts()[0].withMessageBox);

    // A file that loads but gives no entry is just as empty.
    Load("no numbers here\n");
    EXPECT_EQ(ChipTableCount(), 0u);
    EXPECT_TRUE(AlertIfEveryReadRefused(&sink));

    Load("1 A\n");
    EXPECT_FALSE(AlertIfEveryReadRefused(&sink));
    EXPECT_TRUE(EveryReadRefusedAlertText().empty());
    ClearChipTable();
    Settings().sendNumbers = 0;  // chips shown as they are: nothing is refused
    EXPECT_FALSE(AlertIfEveryReadRefused(&sink));
    EXPECT_EQ(sink.AlertCount(), 2u);

    // With no station the alert is a level-0 log line.
    Settings().sendNumbers = 1;
    SetLanguage(Language::French);
    EXPECT_TRUE(AlertIfEveryReadRefused(nullptr));
    EXPECT_NE(
        FileText().find("######## aucune table de correspondance des puces : toutes les lectures seront refusées"),
        std::string::npos)
        << FileText();
}

}  // namespace
}  // namespace winorvex::test
