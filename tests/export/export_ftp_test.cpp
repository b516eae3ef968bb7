// The export's FTP option through the real FTP queue, against two pyftpdlib servers on loopback:
// every file goes to every chosen server, file by file, the servers in the order of the list.
#include <filesystem>

#include "export/export_run.h"
#include "export/ftp_export_uploader.h"
#include "export_fixture.h"
#include "ftp/ftp_queue.h"
#include "ftp/ftp_servers.h"
#include "pyftpd_server.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

class ExportFtpTest : public ExportFixture {
protected:
    bool StartServers() {
        const fs::path a = root_.path() / "club";
        const fs::path b = root_.path() / "ligue";
        fs::create_directories(a / "resultats");
        fs::create_directories(b);
        std::string why;
        if (!club_.Start(a.string(), {}, why) || !ligue_.Start(b.string(), {}, why)) {
            skip_ = why;
            return false;
        }
        const std::vector<CFtpServer> servers = {
            {"resultats", "secret", club_.Site(), "tester", "Club"},
            {"", "secret", ligue_.Site(), "tester", "Ligue"},
        };
        std::string error;
        EXPECT_EQ(SaveFtpServers(servers, GetFtpServersFilePath(), error), 0) << error;
        return true;
    }

    ScratchDir root_;
    PyFtpServer club_;
    PyFtpServer ligue_;
    std::string skip_;
};

TEST_F(ExportFtpTest, EveryFileToEveryServerInTheOrderOfTheList) {
    if (!StartServers()) GTEST_SKIP() << "no FTP server for the test: " << skip_;
    // Detector 12: runner 20 once, runner 31 three times: three files.
    Record("12", "20", "10:00:00.00");
    Record("12", "31", "10:05:00.00");
    Record("12", "31", "10:20:00.00");
    Record("12", "31", "10:40:00.00");
    SetExportSetting("FtpServersList", " Club \\ Ligue ");

    UploadWatcher watcher;
    FtpQueue queue(watcher);
    queue.StartFtpThread();
    FtpExportUploader uploader(queue, &watcher);
    ExportOptions options;
    options.gap = Clock("00:01:00");
    options.mode = DisplayMode::TimeOfDay;
    options.folder = out_.str();
    options.genericName = "race";
    options.ftp = true;
    options.quiet = true;
    CWorkResultList copy;
    CopyResults(copy, "");
    const ExportReport report = RunLinesExport(copy, options, &uploader, nullptr);
    ASSERT_TRUE(report.AllWritten());
    ASSERT_EQ(report.written.size(), 3u);
    EXPECT_TRUE(report.ftpLaunched) << report.ftpError;
    EXPECT_EQ(report.jobsQueued, 6);

    std::vector<UploadOutcome> outcomes;
    ASSERT_TRUE(uploader.WaitForUploads(std::chrono::seconds(60), outcomes));
    ASSERT_EQ(outcomes.size(), 6u);
    const std::vector<std::string> expected = {"race-12-1.rix:Club",  "race-12-1.rix:Ligue", "race-12-2.rix:Club",
                                               "race-12-2.rix:Ligue", "race-12-3.rix:Club",  "race-12-3.rix:Ligue"};
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_TRUE(outcomes[i].succeeded) << outcomes[i].errorText;
        EXPECT_EQ(outcomes[i].remoteName + ":" + outcomes[i].label, expected[i]);
    }
    for (const char* name : {"race-12-1.rix", "race-12-2.rix", "race-12-3.rix"}) {
        const std::string local = ReadWholeFile(out_.str() + "/" + name);
        EXPECT_EQ(ReadWholeFile((root_.path() / "club" / "resultats" / name).string()), local) << name;
        EXPECT_EQ(ReadWholeFile((root_.path() / "ligue" / name).string()), local) << name;
    }
    queue.StopFtpTransfers();
}

TEST_F(ExportFtpTest, AnUploadReplacedByAnotherLabelForTheSameFolderEndsWithIt) {
    if (!StartServers()) GTEST_SKIP() << "no FTP server for the test: " << skip_;
    // "Course" is the club's server and folder under another label.
    const std::vector<CFtpServer> servers = {
        {"resultats", "secret", club_.Site(), "tester", "Club"},
        {"resultats", "secret", club_.Site(), "tester", "Course"},
    };
    std::string error;
    ASSERT_EQ(SaveFtpServers(servers, GetFtpServersFilePath(), error), 0) << error;
    const std::string local = out_.WriteFile("race-12-1.rix", "1\t12\t31\t1\t10:00:00.00\t1\r\n");

    UploadWatcher watcher;
    FtpQueue queue(watcher);
    FtpExportUploader uploader(queue, &watcher);
    ASSERT_EQ(uploader.LoadServers(error), 2) << error;
    // Both queued before the thread runs: the second takes the first one's place.
    ASSERT_TRUE(uploader.QueueUpload("Club", local, "race-12-1.rix", error)) << error;
    ASSERT_TRUE(uploader.QueueUpload("Course", local, "race-12-1.rix", error)) << error;
    EXPECT_EQ(queue.WaitingJobs(), 1u);
    queue.StartFtpThread();

    std::vector<UploadOutcome> outcomes;
    ASSERT_TRUE(uploader.WaitForUploads(std::chrono::seconds(20), outcomes));
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].label, "Club");
    EXPECT_EQ(outcomes[1].label, "Course");
    for (const UploadOutcome& outcome : outcomes) {
        EXPECT_TRUE(outcome.succeeded) << outcome.errorText;
        EXPECT_EQ(outcome.remoteName, "race-12-1.rix");
    }
    EXPECT_EQ(ReadWholeFile((root_.path() / "club" / "resultats" / "race-12-1.rix").string()), ReadWholeFile(local));
    queue.StopFtpTransfers();
}

}  // namespace
}  // namespace winorvex::test
