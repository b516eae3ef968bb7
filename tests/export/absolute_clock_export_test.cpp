// Exports of results recorded with the absolute clock (BAbsClock=1): their time text is seconds
// since 1970, which has no time of day. The minimum gap and the passes go by that absolute time;
// the compact form, which needs a passing time, leaves them out and says how many.
#include "export/export_dialog_model.h"
#include "export/export_run.h"
#include "export/pass_stats.h"
#include "export/periodic_export.h"
#include "export_fixture.h"

namespace winorvex::test {
namespace {

constexpr std::int32_t kStart = 1716000000;

class AbsoluteClockExportTest : public ExportFixture {
protected:
    static void RecordAbsolute(std::string_view bib, std::int32_t secondsAfterStart, std::uint16_t ms = 0) {
        AddResult("12", bib, CChrono(kStart + secondsAfterStart, ms), CChrono(), true, false);
    }

    // Runner 31 at +0 s, +30 s and +5 min; runner 20 twice at +10.5 s.
    void SetUp() override {
        ExportFixture::SetUp();
        RecordAbsolute("31", 0);
        RecordAbsolute("20", 10, 500);
        RecordAbsolute("31", 30);
        RecordAbsolute("20", 10, 500);
        RecordAbsolute("31", 300);
    }

    static ExportOptions Options(DisplayMode mode, std::string_view gap) {
        ExportOptions options;
        options.gap = Clock(gap);
        options.mode = mode;
        options.genericName = "race";
        options.quiet = true;
        return options;
    }

    static std::vector<std::string> Texts(const WorkResultPointers& results) {
        std::vector<std::string> texts;
        for (const CWorkResult* result : results) texts.push_back(result->bib + "@" + result->timeText);
        return texts;
    }
};

TEST_F(AbsoluteClockExportTest, TheGapAndThePassesGoByTheAbsoluteTime) {
    CWorkResultList copy;
    CopyResults(copy, "");
    ASSERT_EQ(copy[0].timeText, "1716000000.0");
    EXPECT_FALSE(copy[0].time.IsSet());
    EXPECT_EQ(copy[0].orderTime, CChrono(kStart, 0));

    // One minute: 31 at +30 s is within the gap of +0 s; 20's second read is the same read.
    std::vector<DetectorPasses> stats = ComputeDetectorStatistics(PointersTo(copy), Clock("00:01:00"), true);
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].line.maxPass, 2);
    EXPECT_EQ(stats[0].line.detections, 3);
    ASSERT_EQ(stats[0].passes.size(), 2u);
    EXPECT_EQ(Texts(stats[0].passes[0]), (std::vector<std::string>{"31@1716000000.0", "20@1716000010.50"}));
    EXPECT_EQ(Texts(stats[0].passes[1]), (std::vector<std::string>{"31@1716000300.0"}));

    // No gap: only the repeated read of one instant collapses.
    stats = ComputeDetectorStatistics(PointersTo(copy), CChrono(), true);
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].line.maxPass, 3);
    EXPECT_EQ(stats[0].line.detections, 4);
    EXPECT_EQ(Texts(stats[0].passes[1]), (std::vector<std::string>{"31@1716000030.0"}));
}

TEST_F(AbsoluteClockExportTest, TimeOfDayFilesHoldTheRunnersPasses) {
    ExportOptions options = Options(DisplayMode::TimeOfDay, "00:01:00");
    options.folder = out_.str();
    CWorkResultList copy;
    CopyResults(copy, "");
    const ExportReport report = RunLinesExport(copy, options, nullptr, nullptr);
    ASSERT_TRUE(report.AllWritten());
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"race-12-1.rix", "race-12-2.rix"}));
    EXPECT_EQ(ReadWholeFile(out_.str() + "/race-12-1.rix"),
              "1\t12\t31\t1\t1716000000.0\t2\r\n"
              "2\t12\t20\t1\t1716000010.50\t2\r\n");
    EXPECT_EQ(ReadWholeFile(out_.str() + "/race-12-2.rix"), "1\t12\t31\t1\t1716000300.0\t2\r\n");
    EXPECT_EQ(report.skippedAbsolute, 0);
}

TEST_F(AbsoluteClockExportTest, TheCompactFormCountsWhatItLeavesOutAndSaysSo) {
    ExportOptions options = Options(DisplayMode::Compact, "00:01:00");
    options.folder = out_.str();
    options.quiet = false;
    CWorkResultList copy;
    CopyResults(copy, "");
    ScriptedPrompt prompt;
    const ExportReport report = RunLinesExport(copy, options, nullptr, &prompt);
    EXPECT_EQ(report.skippedAbsolute, 3);
    ASSERT_EQ(prompt.events.size(), 1u);
    EXPECT_NE(prompt.events[0].find("3 absolute-clock detections not exported in the LOGICA form"), std::string::npos)
        << prompt.events[0];
    EXPECT_EQ(Occurrences(LogText(), "### Data export: 3 absolute-clock detections not exported in the LOGICA form"),
              1u)
        << LogText();

    // The dialog says it before the export.
    SetExportSetting("Delta", "00:01:00");
    SetExportSetting("DisplayDetectionType", "2");
    ExportDialogModel model;
    ASSERT_TRUE(model.Filter(prompt));
    EXPECT_EQ(model.AbsolutePassages(), 3);
    EXPECT_EQ(model.DataToExportText(),
              "2 fichiers de détections - Temps format LOGICA (3 absolute-clock detections left out)");
    model.SetDisplayMode(DisplayMode::PassingTime, prompt);
    EXPECT_EQ(model.DataToExportText(), "2 fichiers de détections - Temps de passages");
}

TEST_F(AbsoluteClockExportTest, ThePeriodicExportLogsWhatItLeftOut) {
    SetExportSetting("Delta", "00:00:00");
    SetExportSetting("ExportPath", out_.str());
    SetExportSetting("GenericFilename", "bg");
    SetExportSetting("DisplayDetectionType", "2");
    ExportReport report;
    EXPECT_EQ(RunBackgroundExport(nullptr, &report), "");
    // No gap: 31 three times, 20 once.
    EXPECT_EQ(report.written.size(), 3u);
    EXPECT_EQ(report.skippedAbsolute, 4);
    EXPECT_EQ(Occurrences(LogText(), "### Data export: 4 absolute-clock detections not exported in the LOGICA form"),
              1u)
        << LogText();
}

}  // namespace
}  // namespace winorvex::test
