#include "export/periodic_export.h"

#include "export/export_run.h"
#include "export_fixture.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;

class FakeClock : public MonotonicClock {
public:
    std::chrono::steady_clock::time_point Now() const override { return now; }
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
};

class PeriodicExportTest : public ExportFixture {
protected:
    void SetUp() override {
        ExportFixture::SetUp();
        SetExportSetting("Delta", "00:01:00");
        SetExportSetting("ExportPath", out_.str());
        SetExportSetting("GenericFilename", "bg");
        SetBackgroundSetting("BExport", "1");
        Record("7", "9", "10:15:30.25");
    }

    // Checks once a second for the given time.
    void Tick(std::chrono::seconds duration) {
        for (auto left = duration; left > 0s; left -= 1s) {
            clock_.now += 1s;
            periodic_.RunPeriodicExportCheck();
        }
    }

    FakeClock clock_;
    RecordingUploader uploader_;
    PeriodicExport periodic_{clock_, &uploader_};
};

TEST_F(PeriodicExportTest, ExportsOnceMoreThanAPeriodHasPassed) {
    periodic_.RunPeriodicExportCheck();  // starts the period, no export
    EXPECT_EQ(periodic_.RunCount(), 0);
    EXPECT_TRUE(FilesIn(out_.path()).empty());
    Tick(120s);  // exactly two minutes: not later than the period yet
    EXPECT_EQ(periodic_.RunCount(), 0);
    Tick(1s);
    EXPECT_EQ(periodic_.RunCount(), 1);
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"bg-7-1.rix"}));
    // A fresh copy each time: a detection recorded meanwhile is in the next export.
    Record("7", "9", "10:30:00.00");
    Tick(120s);
    EXPECT_EQ(periodic_.RunCount(), 1);
    Tick(1s);
    EXPECT_EQ(periodic_.RunCount(), 2);
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"bg-7-1.rix", "bg-7-2.rix"}));
}

TEST_F(PeriodicExportTest, SwitchingOffAndOnStartsANewPeriod) {
    periodic_.RunPeriodicExportCheck();
    Tick(100s);
    SetBackgroundSetting("BExport", "0");
    Tick(60s);
    EXPECT_EQ(periodic_.RunCount(), 0);
    SetBackgroundSetting("BExport", "1");
    Tick(120s);  // the period started at the first check after switching on
    EXPECT_EQ(periodic_.RunCount(), 0);
    Tick(2s);
    EXPECT_EQ(periodic_.RunCount(), 1);

    periodic_.RestartPeriod();
    Tick(121s);
    EXPECT_EQ(periodic_.RunCount(), 1);
    Tick(1s);
    EXPECT_EQ(periodic_.RunCount(), 2);
}

TEST_F(PeriodicExportTest, HandEditedPeriodsAndHugeOnes) {
    for (const char* minutes : {"0", "x", "-3", ""}) {
        SetBackgroundSetting("ExportPeriodMinutes", minutes);
        EXPECT_EQ(ReadExportPeriodMinutes(), 2) << minutes;
    }
    SetBackgroundSetting("ExportPeriodMinutes", "1");
    periodic_.RunPeriodicExportCheck();
    Tick(61s);
    EXPECT_EQ(periodic_.RunCount(), 1);

    SetBackgroundSetting("ExportPeriodMinutes", "2147483647");
    clock_.now += std::chrono::hours(24 * 365 * 100);  // a century: still within the period
    periodic_.RunPeriodicExportCheck();
    EXPECT_EQ(periodic_.RunCount(), 1);
    SetBackgroundSetting("ExportPeriodMinutes", "99999999999999");
    periodic_.RunPeriodicExportCheck();
    EXPECT_EQ(periodic_.RunCount(), 1);
}

TEST_F(PeriodicExportTest, SettingsThatAllowNoExportAreLoggedOncePerChange) {
    SetExportSetting("Delta", "");
    periodic_.RunPeriodicExportCheck();
    Tick(121s);
    Tick(121s);
    EXPECT_EQ(periodic_.RunCount(), 2);
    EXPECT_TRUE(FilesIn(out_.path()).empty());
    EXPECT_EQ(Occurrences(LogText(), "## Periodic export: minimum time between two detections (Delta) not set"), 1u);

    SetExportSetting("Delta", "-1:00:00");
    Tick(121s);
    EXPECT_EQ(Occurrences(LogText(), "## Periodic export: invalid minimum time (Delta): \"-1:00:00\""), 1u);
    SetExportSetting("Delta", "00:01:00");
    SetExportSetting("GenericFilename", "../up");
    Tick(121s);
    EXPECT_EQ(Occurrences(LogText(), "## Periodic export: Invalid generic file name"), 1u);
    SetExportSetting("GenericFilename", "bg");
    SetExportSetting("ExportPath", "  ");
    Tick(121s);
    EXPECT_EQ(Occurrences(LogText(), "## Periodic export: export folder not set"), 1u);
    SetExportSetting("ExportPath", out_.str());
    SetExportSetting("BFtpExport", "1");
    Tick(121s);
    EXPECT_EQ(Occurrences(LogText(), "## Periodic export: no FTP server selected"), 1u);
    EXPECT_TRUE(FilesIn(out_.path()).empty());
    EXPECT_TRUE(uploader_.jobs.empty());

    // Servers selected but none defined: the files are written, the transfer's failure logged once.
    SetExportSetting("FtpServersList", "Club");
    Tick(121s);
    Tick(121s);
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"bg-7-1.rix"}));
    EXPECT_EQ(Occurrences(LogText(), "## Periodic export: No FTP server defined..."), 1u);
    uploader_.servers = {"Club"};
    Tick(121s);
    EXPECT_EQ(periodic_.LastProblem(), "");
    ASSERT_EQ(uploader_.jobs.size(), 1u);
    EXPECT_EQ(uploader_.jobs[0].remoteName, "bg-7-1.rix");
}

TEST_F(PeriodicExportTest, BackgroundExportUsesTheSavedSettings) {
    SetExportSetting("BZip", "1");
    SetExportSetting("DisplayDetectionType", "7");  // any other value is the compact form
    ExportReport report;
    EXPECT_EQ(RunBackgroundExport(nullptr, &report), "");
    EXPECT_EQ(report.archive, out_.str() + "/bg.zip");
    EXPECT_TRUE(report.summary.find("bg.zip") != std::string::npos);
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"bg.zip"}));
    EXPECT_EQ(BackgroundExportProblem(), "");
}

}  // namespace
}  // namespace winorvex::test
