#include "export/export_run.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "export/handicaps.h"
#include "export/pass_stats.h"
#include "export/zip_dir.h"
#include "export_fixture.h"
#include "zip_inspect.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

class ExportRunTest : public ExportFixture {
protected:
    void SetUp() override {
        ExportFixture::SetUp();
        SetZipDiagnosticStream(nullptr);
    }
    void TearDown() override {
        SetZipDiagnosticStream(stdout);
        ExportFixture::TearDown();
    }

    // Detector 12: runner 20 once, runners 31 and 4 three times each (the last two at the same
    // second pass); a removed detection of 4 that would otherwise split its passages; detector 7
    // once.
    void RecordRace() {
        Record("12", "20", "10:00:00.00");
        Record("12", "31", "10:05:00.00");
        Record("12", "4", "10:06:00.00");
        const CRixResult removed = Record("12", "4", "10:13:00.00");
        Record("12", "31", "10:20:00.00");
        Record("12", "4", "10:20:00.00");
        Record("12", "31", "10:20:30.00");  // within the gap of the one before
        Record("12", "31", "10:40:00.00");
        Record("12", "4", "10:45:00.00");
        Record("7", "9", "10:15:30.25");
        SetResultActive(removed.serial, false);
    }

    ExportOptions Options(DisplayMode mode = DisplayMode::TimeOfDay) const {
        ExportOptions options;
        options.gap = Clock("00:01:00");
        options.mode = mode;
        options.folder = out_.str();
        options.genericName = "export";
        return options;
    }

    ExportReport Run(const ExportOptions& options, ExportUploader* uploader = nullptr) {
        CWorkResultList copy;
        CopyResults(copy, "");
        return RunLinesExport(copy, options, uploader, &prompt_);
    }

    std::string Path(const std::string& name) const { return out_.str() + "/" + name; }

    ScriptedPrompt prompt_;
};

TEST_F(ExportRunTest, OneFilePerDetectorAndPassInTheTimeOfDayForm) {
    RecordRace();
    const ExportReport report = Run(Options());
    EXPECT_TRUE(report.AllWritten());
    EXPECT_EQ(report.written, (std::vector<std::string>{Path("export-12-1.rix"), Path("export-12-2.rix"),
                                                        Path("export-12-3.rix"), Path("export-7-1.rix")}));
    EXPECT_EQ(report.created, report.written);
    EXPECT_EQ(ReadWholeFile(Path("export-12-1.rix")),
              "1\t12\t20\t1\t10:00:00.00\t1\r\n"
              "2\t12\t31\t1\t10:05:00.00\t1\r\n"
              "3\t12\t4\t1\t10:06:00.00\t1\r\n");
    // Two runners at the same time: "31" before "4" (bibs compare as text).
    EXPECT_EQ(ReadWholeFile(Path("export-12-2.rix")),
              "1\t12\t31\t1\t10:20:00.00\t1\r\n"
              "2\t12\t4\t1\t10:20:00.00\t1\r\n");
    EXPECT_EQ(ReadWholeFile(Path("export-12-3.rix")),
              "1\t12\t31\t1\t10:40:00.00\t1\r\n"
              "2\t12\t4\t1\t10:45:00.00\t1\r\n");
    EXPECT_EQ(ReadWholeFile(Path("export-7-1.rix")), "1\t7\t9\t1\t10:15:30.25\t1\r\n");
    EXPECT_EQ(FilesIn(out_.path()).size(), 4u);

    ASSERT_EQ(prompt_.events.size(), 1u);
    SetLanguage(Language::French);
    EXPECT_EQ(prompt_.events[0], "inform:" + ExportSummaryText(report, Options()));
    EXPECT_EQ(ExportSummaryText(report, Options()),
              "Export de données terminé.\n\nLes fichiers suivants ont été créés :\n  " + Path("export-12-1.rix") +
                  "  \n  " + Path("export-12-2.rix") + "  \n  " + Path("export-12-3.rix") + "  \n  " +
                  Path("export-7-1.rix") + "  ");
}

TEST_F(ExportRunTest, PassingTimesAfterTheReSettingExample) {
    Record("7", "9", "10:15:30.25");
    Record("7", "10", "10:20:00.00");
    Record("7", "10", "10:20:00.00");
    CStatLineEntry line;
    line.detector = "7";
    line.firstBib = "9";
    line.firstTime = Clock("10:15:30.25");
    ScriptedPrompt dialog;
    const auto handicap = MakeRecalageModel(line).Accept("00:45:10", dialog);
    ASSERT_TRUE(handicap.has_value());
    ApplyHandicap(line, *handicap);

    const ExportReport passing = Run(Options(DisplayMode::PassingTime));
    EXPECT_EQ(passing.written, (std::vector<std::string>{Path("export-7-1.rix")}));
    EXPECT_EQ(ReadWholeFile(Path("export-7-1.rix")),
              "1\t7\t9\t1\t00:45:10.00\t1\r\n"
              "2\t7\t10\t1\t00:49:39.75\t1\r\n");

    // The compact form, and the empty text of a zero passing time.
    Record("7", "11", "09:30:20.25");
    const ExportReport compact = Run(Options(DisplayMode::Compact));
    EXPECT_EQ(compact.written, (std::vector<std::string>{Path("export-7-1-ljk.txt")}));
    EXPECT_EQ(ReadWholeFile(Path("export-7-1-ljk.txt")),
              "dossard\ttemps\tcommentaire\r\n"
              "dossard\tperformancen\tcommentaire\r\n"
              "11\t\t\r\n"
              "9\t4510\t\r\n"
              "10\t4940\t\r\n");
}

TEST_F(ExportRunTest, ArchiveLeavesOnlyItselfWithTheSameBytes) {
    RecordRace();
    ScratchDir plain;
    ExportOptions plainOptions = Options();
    plainOptions.folder = plain.str();
    ASSERT_TRUE(Run(plainOptions).AllWritten());

    ExportOptions options = Options();
    options.archive = true;
    options.folder = out_.str() + "/";  // a trailing separator is ignored
    const std::time_t before = std::time(nullptr);
    const ExportReport report = Run(options);
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(report.AllWritten());
    EXPECT_EQ(report.archive, Path("export.zip"));
    EXPECT_EQ(report.created, (std::vector<std::string>{Path("export.zip")}));
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"export.zip"}));

    const ZipInspection zip = InspectZip(Path("export.zip"));
    ASSERT_TRUE(zip.ok) << zip.output;
    EXPECT_EQ(zip.names, (std::vector<std::string>{"export/export-12-1.rix", "export/export-12-2.rix",
                                                   "export/export-12-3.rix", "export/export-7-1.rix"}));
    for (const auto& [name, entry] : zip.entries) {
        EXPECT_EQ(entry.method, 8);
        EXPECT_EQ(entry.extraLength, 0u);
        EXPECT_EQ(entry.bytes, ReadWholeFile(plain.str() + "/" + name.substr(7))) << name;
        std::tm tm{};
        ASSERT_EQ(std::sscanf(entry.dateTime.c_str(), "%d-%d-%d_%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                              &tm.tm_hour, &tm.tm_min, &tm.tm_sec),
                  6);
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        tm.tm_isdst = -1;
        const std::time_t dated = std::mktime(&tm);
        EXPECT_GE(dated, before - 2) << entry.dateTime;
        EXPECT_LE(dated, after) << entry.dateTime;
    }
    std::string unzipOutput;
    EXPECT_TRUE(UnzipTestPasses(Path("export.zip"), unzipOutput)) << unzipOutput;
}

TEST_F(ExportRunTest, ArchiveTakesOnlyThisRunsFilesFromAnExistingSubFolder) {
    Record("7", "9", "10:15:30.25");
    out_.WriteFile("export/notes.txt", "the operator's own file");
    ExportOptions options = Options();
    options.archive = true;
    const ExportReport report = Run(options);
    EXPECT_TRUE(report.AllWritten());
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"export.zip", "export/"}));
    EXPECT_EQ(FilesIn(out_.path() / "export"), (std::vector<std::string>{"notes.txt"}));
    EXPECT_EQ(InspectZip(Path("export.zip")).names, (std::vector<std::string>{"export/export-7-1.rix"}));
}

TEST_F(ExportRunTest, FileThatCannotBeWrittenIsReportedAndNeitherZippedNorSent) {
    RecordRace();
    fs::create_directories(out_.path() / "export" / "export-12-2.rix");  // a folder in the way
    SetExportSetting("FtpServersList", "Club");
    RecordingUploader uploader;
    uploader.servers = {"Club"};
    ExportOptions options = Options();
    options.archive = true;
    options.ftp = true;
    const ExportReport report = Run(options, &uploader);
    EXPECT_FALSE(report.AllWritten());
    EXPECT_EQ(report.failed, (std::vector<std::string>{Path("export/export-12-2.rix")}));
    EXPECT_EQ(report.written.size(), 3u);
    EXPECT_EQ(InspectZip(Path("export.zip")).names,
              (std::vector<std::string>{"export/export-12-1.rix", "export/export-12-3.rix", "export/export-7-1.rix"}));
    ASSERT_EQ(uploader.jobs.size(), 1u);
    EXPECT_EQ(uploader.jobs[0].localPath, Path("export.zip"));
    EXPECT_EQ(uploader.jobs[0].remoteName, "export.zip");
    // The folder in the way was not made by the run: the sub-folder stays with it.
    EXPECT_EQ(FilesIn(out_.path() / "export"), (std::vector<std::string>{"export-12-2.rix/"}));
    EXPECT_NE(report.summary.find("The following files could not be written:\n  " + Path("export/export-12-2.rix")),
              std::string::npos)
        << report.summary;
}

TEST_F(ExportRunTest, FailedArchiveKeepsTheFilesAndSendsThemOneByOne) {
    Record("7", "9", "10:15:30.25");
    Record("8", "9", "10:15:30.25");
    fs::create_directories(out_.path() / "export.zip");  // the archive cannot take its name
    SetExportSetting("FtpServersList", "Club");
    RecordingUploader uploader;
    uploader.servers = {"Club"};
    ExportOptions options = Options();
    options.archive = true;
    options.ftp = true;
    const ExportReport report = Run(options, &uploader);
    EXPECT_TRUE(report.archiveFailed);
    EXPECT_EQ(report.created, (std::vector<std::string>{Path("export/export-7-1.rix"), Path("export/export-8-1.rix")}));
    EXPECT_EQ(FilesIn(out_.path() / "export"), (std::vector<std::string>{"export-7-1.rix", "export-8-1.rix"}));
    EXPECT_EQ(FilesIn(out_.path() / "export.zip"), std::vector<std::string>{});
    ASSERT_EQ(uploader.jobs.size(), 2u);
    EXPECT_EQ(uploader.jobs[1].remoteName, "export-8-1.rix");
    EXPECT_NE(report.summary.find("The archive " + Path("export.zip") + " could not be created"), std::string::npos);
}

TEST_F(ExportRunTest, UploadsFileByFileInTheOrderOfTheSelectedServers) {
    Record("12", "1", "10:00:00.00");
    Record("12", "1", "10:10:00.00");
    Record("7", "1", "10:00:00.00");
    SetExportSetting("FtpServersList", "Ligue \\ Club\\\\Nowhere");
    RecordingUploader uploader;
    uploader.servers = {"Club", "Ligue"};
    ExportOptions options = Options();
    options.ftp = true;
    const ExportReport report = Run(options, &uploader);
    ASSERT_EQ(uploader.jobs.size(), 6u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Ligue", "export-12-1.rix"}, {"Club", "export-12-1.rix"}, {"Ligue", "export-12-2.rix"},
        {"Club", "export-12-2.rix"},  {"Ligue", "export-7-1.rix"}, {"Club", "export-7-1.rix"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(uploader.jobs[i].label, expected[i].first) << i;
        EXPECT_EQ(uploader.jobs[i].remoteName, expected[i].second) << i;
        EXPECT_EQ(uploader.jobs[i].localPath, Path(expected[i].second)) << i;
    }
    EXPECT_EQ(report.jobsQueued, 6);
    EXPECT_TRUE(report.ftpLaunched);
    EXPECT_EQ(report.unknownLabels, (std::vector<std::string>{"Nowhere"}));
    EXPECT_NE(report.summary.find("\n\nTransfert FTP lancé.\nUnknown FTP servers: Nowhere"), std::string::npos)
        << report.summary;
}

TEST_F(ExportRunTest, FtpStepThatLaunchesNothingSaysWhy) {
    Record("7", "9", "10:15:30.25");
    ExportOptions options = Options();
    options.ftp = true;
    RecordingUploader uploader;
    uploader.servers = {"Club"};

    const auto ftpError = [&](ExportUploader* used) {
        const ExportReport report = Run(options, used);
        EXPECT_FALSE(report.ftpLaunched);
        EXPECT_EQ(report.jobsQueued, 0);
        const std::string tail = "\n\nErreur de lancement transfert FTP : " + report.ftpError;
        EXPECT_EQ(report.summary.substr(report.summary.size() - tail.size()), tail);
        return report.ftpError;
    };
    EXPECT_EQ(ftpError(&uploader), "No FTP server selected...");
    SetExportSetting("FtpServersList", " \\ ");
    EXPECT_EQ(ftpError(&uploader), "No FTP server selected...");
    SetExportSetting("FtpServersList", "Ligue\\Region");
    EXPECT_EQ(ftpError(&uploader), "no FTP server matches: Ligue, Region");
    EXPECT_EQ(ftpError(nullptr), "FTP not available in this build");
    uploader.listReadable = false;
    EXPECT_EQ(ftpError(&uploader), "No FTP server defined...");
    uploader.listReadable = true;
    uploader.servers.clear();
    EXPECT_EQ(ftpError(&uploader), "No FTP server defined...");
    uploader.servers = {"Ligue"};
    uploader.refuseQueue = true;
    EXPECT_EQ(ftpError(&uploader), "export-7-1.rix [Ligue] : queue closed");
    EXPECT_TRUE(uploader.jobs.empty());
}

TEST_F(ExportRunTest, RefusedRunsWriteNothing) {
    Record("7", "9", "10:15:30.25");
    for (const char* name : {"", "..", "../escape", "a/b", "x\ty"}) {
        ExportOptions options = Options();
        options.genericName = name;
        options.archive = true;
        const ExportReport report = Run(options);
        EXPECT_TRUE(report.refused) << name;
        EXPECT_TRUE(report.written.empty()) << name;
    }
    ExportOptions noFolder = Options();
    noFolder.folder = "";
    EXPECT_EQ(Run(noFolder).refusal, "Destination folder mandatory!");
    EXPECT_TRUE(FilesIn(out_.path()).empty());
    EXPECT_TRUE(FilesIn(out_.path().parent_path() / "escape").empty());

    // A sub-folder that cannot be made: a file holds its name.
    out_.WriteFile("export", "in the way");
    ExportOptions options = Options();
    options.archive = true;
    prompt_.events.clear();
    const ExportReport blocked = Run(options);
    EXPECT_TRUE(blocked.refused);
    EXPECT_EQ(blocked.refusal, "Cannot create the export folder " + Path("export"));
    EXPECT_EQ(prompt_.events, (std::vector<std::string>{"warn:" + blocked.refusal}));
    EXPECT_EQ(FilesIn(out_.path()), (std::vector<std::string>{"export"}));

    // Quiet: nothing shown, still refused and logged.
    options.quiet = true;
    prompt_.events.clear();
    EXPECT_TRUE(Run(options).refused);
    EXPECT_TRUE(prompt_.events.empty());
    EXPECT_EQ(Occurrences(LogText(), "## Cannot create the export folder"), 2u);
}

TEST_F(ExportRunTest, UnsafeDetectorsAndCollidingNamesStayApart) {
    Record("a/b", "1", "10:00:00.00");
    Record("a_b", "2", "10:00:00.00");
    Record("../..", "3", "10:00:00.00");
    const ExportReport report = Run(Options());
    EXPECT_TRUE(report.AllWritten());
    EXPECT_EQ(FilesIn(out_.path()),
              (std::vector<std::string>{"export-.._..-1.rix", "export-a_b-1.rix", "export-a_b~2-1.rix"}));
    EXPECT_EQ(ReadWholeFile(Path("export-a_b-1.rix")), "1\ta/b\t1\t1\t10:00:00.00\t1\r\n");
    EXPECT_EQ(ReadWholeFile(Path("export-a_b~2-1.rix")), "1\ta_b\t2\t1\t10:00:00.00\t1\r\n");
}

TEST_F(ExportRunTest, NothingToExportEndsWithoutSummary) {
    const CRixResult removed = Record("7", "9", "10:15:30.25");
    SetResultActive(removed.serial, false);
    ExportOptions options = Options();
    options.archive = true;
    const ExportReport report = Run(options);
    EXPECT_TRUE(report.created.empty());
    EXPECT_TRUE(report.summary.empty());
    EXPECT_TRUE(prompt_.events.empty());
    EXPECT_TRUE(FilesIn(out_.path()).empty());
}

}  // namespace
}  // namespace winorvex::test
