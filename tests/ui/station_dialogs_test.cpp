// The station's dialog commands with their windows: what the main window's buttons will run.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include "app/station_fixture.h"
#include "reader/box_manager.h"
#include "ui/config_dialog.h"
#include "ui/insert_detection_dialog.h"

namespace winorvex::test {
namespace {

// Runs `act` on the modal window of this type once it is open.
template <typename Dialog>
void WhenOpen(std::function<void(Dialog&)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) act(*dialog);
    });
}

class StationDialogsTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        scratch_.WriteFile("OrvexTable.dtb", "12 E200001234\r\n");
    }
};

TEST_F(StationDialogsTest, TheInsertionWindowRecordsOnceAndCancelRecordsNothing) {
    Station& station = MakeStation();
    WhenOpen<InsertDetectionDialog>([](InsertDetectionDialog& dialog) {
        EXPECT_EQ(dialog.focusWidget(), dialog.BibField());
        dialog.BibField()->setText(QStringLiteral("12"));
        dialog.TimeField()->setText(QStringLiteral("10:15:00.00"));
        dialog.DayList()->setCurrentIndex(1);
        dialog.accept();
    });
    ASSERT_TRUE(RunInsertDetectionDialog(nullptr, station));
    const std::vector<CRixResult> records = CopyActiveResults();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].timeText, "34:15:00.00");
    EXPECT_EQ(sounds_.Count(StationSound::Detection), 1);

    WhenOpen<InsertDetectionDialog>([](InsertDetectionDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(RunInsertDetectionDialog(nullptr, station));
    EXPECT_EQ(CountActiveResults(), 1u);
}

TEST_F(StationDialogsTest, TheConfigurationWindowWritesOnlyWhenConfirmed) {
    Station& station = MakeStation();
    const std::string iniPath = scratch_.str() + "/WinORVEX.ini";
    const std::string before = ReadWholeFile(iniPath);
    WhenOpen<ConfigDialog>([](ConfigDialog& dialog) {
        dialog.DirectPortField()->setText(QStringLiteral("80"));
        dialog.accept();  // refused: the range message, the window stays
        dialog.reject();
    });
    EXPECT_FALSE(RunConfigurationDialog(nullptr, station));
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(ReadWholeFile(iniPath), before);

    WhenOpen<ConfigDialog>([](ConfigDialog& dialog) {
        dialog.Row(1).host->setText(QStringLiteral("reader2"));
        dialog.Row(1).port->setText(QStringLiteral("10002"));
        dialog.Row(1).detector->setCurrentIndex(3);
        dialog.accept();
    });
    ASSERT_TRUE(RunConfigurationDialog(nullptr, station));
    const std::string after = ReadWholeFile(iniPath);
    EXPECT_NE(after.find("BoxHost1=reader2"), std::string::npos) << after;
    EXPECT_NE(after.find("BoxIdDetector1=12"), std::string::npos) << after;
    EXPECT_EQ(station.Boxes().Box(2).GetDetectorId(), "12");
}

}  // namespace
}  // namespace winorvex::test
