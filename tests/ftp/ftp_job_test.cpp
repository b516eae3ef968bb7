// Upload, download and listing against a real FTP server (pyftpdlib) on 127.0.0.1.
#include "ftp/ftp_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/file_utils.h"
#include "core/settings.h"
#include "ftp/ftp_listing.h"
#include "ftp_test_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FtpJobTest : public FtpServerFixture {
protected:
    // Runs the upload and keeps every state it went through.
    int Upload(CFtpJob& job, std::vector<int>* states = nullptr) {
        if (states != nullptr) {
            job.SetStateReporter([states](const FtpJobStateEvent& event) { states->push_back(event.state); });
        }
        return job.UploadFile();
    }

    std::vector<std::string> LeftoverTemporaries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.find(".part-") != std::string::npos || name.find(".lock") != std::string::npos) {
                names.push_back(name);
            }
        }
        return names;
    }
};

class FtpUploadModeTest : public FtpJobTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FtpUploadModeTest, UploadsIntoLoginFolderAndSubFolder) {
    START_FTP_SERVER_OR_SKIP();
    fs::create_directories(root() / "resultats");
    const std::string content(30000, 'x');
    for (const std::string folder : {"", " resultats "}) {
        CFtpJob job = MakeJob(1, folder);
        job.putPassive = GetParam() ? 1 : 0;
        job.SetLocalFile(WriteLocal("export.txt", content + folder));
        job.SetRemoteName("export.txt");
        EXPECT_EQ(job.fileSize, static_cast<std::int64_t>(content.size() + folder.size()));
        std::vector<int> states;
        ASSERT_EQ(Upload(job, &states), kFtpResultOk) << job.errorText;
        EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateTransferring, kFtpStateDone));
        EXPECT_EQ(job.bytesDone, job.fileSize);
        const fs::path remoteFolder = folder.empty() ? root() : root() / "resultats";
        EXPECT_TRUE(ReadWholeFile((remoteFolder / "export.txt").string()) == content + folder);
        EXPECT_THAT(LeftoverTemporaries(remoteFolder), ::testing::IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(PassiveAndActive, FtpUploadModeTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

TEST_F(FtpJobTest, ReplacesStaleLockAndOldFileEvenWhenServerRefusesRenameOntoExisting) {
    for (const bool refuses : {false, true}) {
        SCOPED_TRACE(refuses ? "server refuses rename onto existing" : "plain server");
        PyFtpServer::Options options;
        options.refuseRenameOntoExisting = refuses;
        server_.Stop();
        START_FTP_SERVER_OR_SKIP(options);
        scratch_.WriteFile("root/res.txt.lock", "half of an earlier upload");
        scratch_.WriteFile("root/res.txt", "old results");
        CFtpJob job = MakeJob(1);
        job.SetLocalFile(WriteLocal("res.txt", "new results"));
        job.SetRemoteName("res.txt");
        ASSERT_EQ(Upload(job), kFtpResultOk) << job.errorText;
        EXPECT_EQ(scratch_.ReadFile("root/res.txt"), "new results");
        EXPECT_FALSE(fs::exists(root() / "res.txt.lock"));
    }
}

TEST_F(FtpJobTest, RenameWithoutReplyIsLookedAtBeforeAnythingElse) {
    SetLanguage(Language::English);
    const std::string content(50000, 'n');
    struct Case {
        std::string drop;
        std::vector<std::string> refused;
    };
    for (const Case& test : {Case{"after", {}}, Case{"after", {"SIZE"}}, Case{"before", {}}}) {
        SCOPED_TRACE("connection dropped " + test.drop + " the rename" + (test.refused.empty() ? "" : ", no SIZE"));
        PyFtpServer::Options options;
        options.dropOnRename = test.drop;
        options.refuseCommands = test.refused;
        server_.Stop();
        START_FTP_SERVER_OR_SKIP(options);
        scratch_.WriteFile("root/res.txt", "old results");
        fs::remove(root() / "res.txt.lock");
        CFtpJob job = MakeJob(1);
        job.SetLocalFile(WriteLocal("res.txt", content));
        job.SetRemoteName("res.txt");
        std::vector<int> states;
        const int result = Upload(job, &states);
        ASSERT_TRUE(server_.CatchUp());
        if (test.drop == "after") {
            // The new file is in place (by its size, or in the listing): a success, and nothing
            // more is done to it.
            EXPECT_EQ(result, kFtpResultOk) << job.errorText;
            EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateTransferring, kFtpStateDone));
            EXPECT_TRUE(scratch_.ReadFile("root/res.txt") == content);
            EXPECT_FALSE(fs::exists(root() / "res.txt.lock"));
            EXPECT_EQ(server_.CountEvents("DROP"), 1);
        } else {
            // Never renamed, never refused: the old file stays, the new one under its temporary
            // name, after one more try on a new connection.
            EXPECT_EQ(result, kFtpResultFailed);
            EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateTransferring, kFtpStateFailed));
            EXPECT_EQ(job.errorText, "Rename not answered (RNTO res.txt), uploaded file kept as res.txt.lock");
            EXPECT_EQ(scratch_.ReadFile("root/res.txt"), "old results");
            EXPECT_TRUE(scratch_.ReadFile("root/res.txt.lock") == content);
            EXPECT_EQ(server_.CountEvents("DROP"), 2);
        }
    }
}

TEST_F(FtpJobTest, EveryRenameRefusedKeepsTheNewDataUnderTheTemporaryName) {
    PyFtpServer::Options options;
    options.refuseRename = true;
    START_FTP_SERVER_OR_SKIP(options);
    scratch_.WriteFile("root/res.txt", "old results");
    for (const Language language : {Language::French, Language::English}) {
        SetLanguage(language);
        const std::string content = language == Language::French ? "nouveaux résultats" : "new results";
        CFtpJob job = MakeJob(1);
        job.SetLocalFile(WriteLocal("res.txt", content));
        job.SetRemoteName("res.txt");
        std::vector<int> states;
        EXPECT_EQ(Upload(job, &states), kFtpResultFailed);
        EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateTransferring, kFtpStateFailed));
        EXPECT_EQ(job.errorText,
                  language == Language::French
                      ? "Renommage refusé (RNTO res.txt : 550), fichier envoyé conservé sous res.txt.lock"
                      : "Rename refused (RNTO res.txt: 550), uploaded file kept as res.txt.lock");
        EXPECT_EQ(scratch_.ReadFile("root/res.txt.lock"), content);
    }
    // The old file went only because the server refused the rename onto it in so many words.
    EXPECT_FALSE(fs::exists(root() / "res.txt"));
    EXPECT_THAT(FileText(), HasSubstr("rename to res.txt refused (550), old file deleted for a second try"));
}

TEST_F(FtpJobTest, DuringSlowUploadOnlyTheLockNameIsListed) {
    PyFtpServer::Options options;
    options.readLimit = 200 * 1024;
    START_FTP_SERVER_OR_SKIP(options);
    const std::string content(600 * 1024, 'r');
    CFtpJob job = MakeJob(1);
    job.SetLocalFile(WriteLocal("big.bin", content));
    job.SetRemoteName("big.bin");
    int result = -100;
    std::thread uploader([&] { result = job.UploadFile(); });

    ASSERT_TRUE(WaitFor([&] { return FileSizeOf((root() / "big.bin.lock").string()) > 0; }));
    std::vector<CFtpFileDesc> files;
    std::string error;
    EXPECT_EQ(ListRemoteFiles(server_.Site(), options.user, options.password, "", "*", files, error), 0) << error;
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "big.bin.lock");
    uploader.join();

    ASSERT_EQ(result, kFtpResultOk) << job.errorText;
    EXPECT_TRUE(ReadWholeFile((root() / "big.bin").string()) == content);
    EXPECT_FALSE(fs::exists(root() / "big.bin.lock"));
}

TEST_F(FtpJobTest, WrongPasswordOrNoListenerIsNoConnection) {
    START_FTP_SERVER_OR_SKIP();
    SetLanguage(Language::English);
    const std::string localFile = WriteLocal("a.txt", "a");
    const std::string silentSite = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
    for (const bool wrongPassword : {true, false}) {
        CFtpJob job = MakeJob(1);
        if (wrongPassword) {
            job.password = "not-the-password";
        } else {
            job.site = silentSite;
        }
        job.SetLocalFile(localFile);
        job.SetRemoteName("a.txt");
        std::vector<int> states;
        EXPECT_EQ(Upload(job, &states), kFtpResultNoConnection);
        EXPECT_EQ(job.state, kFtpStateFailed);
        EXPECT_EQ(job.errorText, "Can't connect to site " + job.site);
        EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateFailed));

        CFtpJob download = MakeJob(0);
        download.site = job.site;
        download.password = job.password;
        download.SetLocalFile((local() / "got.txt").string());
        download.SetRemoteName("a.txt");
        EXPECT_EQ(download.DownloadFile(), kFtpResultNoConnection);
        EXPECT_EQ(download.errorText, "Can't connect to site " + job.site);
    }
    // A site typed with credentials in it is refused, and its error text leaves them out.
    CFtpJob typed = MakeJob(1);
    typed.site = "user:typed-secret@" + server_.Site();
    typed.SetLocalFile(localFile);
    typed.SetRemoteName("a.txt");
    EXPECT_EQ(Upload(typed), kFtpResultNoConnection);
    EXPECT_EQ(typed.errorText, "Can't connect to site " + server_.Site());
    EXPECT_EQ(FileText().find("not-the-password"), std::string::npos);
    EXPECT_FALSE(fs::exists(local() / "got.txt"));
    EXPECT_THAT(LeftoverTemporaries(local()), ::testing::IsEmpty());
}

TEST_F(FtpJobTest, MissingOrRefusedFolderIsNotEntered) {
    PyFtpServer::Options options;
    options.refuseFolder = "private";
    START_FTP_SERVER_OR_SKIP(options);
    fs::create_directories(root() / "private");
    for (const std::string folder : {"missing", "private"}) {
        CFtpJob job = MakeJob(1, folder);
        job.SetLocalFile(WriteLocal("a.txt", "a"));
        job.SetRemoteName("a.txt");
        EXPECT_EQ(Upload(job), kFtpResultNoFolder);
        EXPECT_EQ(job.state, kFtpStateFailed);
        EXPECT_EQ(job.errorText, "SetCurrentDirectory Error: 550 (0x226)");

        CFtpJob download = MakeJob(0, folder);
        download.SetLocalFile((local() / "a.txt").string());
        download.SetRemoteName("a.txt");
        EXPECT_EQ(download.DownloadFile(), kFtpResultNoFolder);

        std::vector<CFtpFileDesc> files;
        std::string error;
        EXPECT_EQ(ListRemoteFiles(server_.Site(), options.user, options.password, folder, "*", files, error), -3);
        EXPECT_EQ(error, "SetCurrentDirectory Error: 550 (0x226)");
    }
    EXPECT_TRUE(fs::is_empty(root() / "private"));
}

TEST_F(FtpJobTest, LocalFileGoneSinceQueueingFailsWithoutLogin) {
    START_FTP_SERVER_OR_SKIP();
    const std::string path = WriteLocal("gone.txt", "soon gone");
    CFtpJob job = MakeJob(1);
    job.SetLocalFile(path);
    job.SetRemoteName("gone.txt");
    fs::remove(path);
    for (const Language language : {Language::French, Language::English}) {
        SetLanguage(language);
        EXPECT_EQ(Upload(job), kFtpResultNoLocalFile);
        EXPECT_EQ(job.state, kFtpStateFailed);
        EXPECT_EQ(job.errorText,
                  (language == Language::French ? "Erreur d'ouverture du fichier " : "Can't open sourceFile ") + path);
    }
    // A folder where the file was is no readable file either.
    std::filesystem::create_directories(path);
    EXPECT_EQ(Upload(job), kFtpResultNoLocalFile);
    ASSERT_TRUE(server_.CatchUp());
    EXPECT_EQ(server_.CountEvents("CONNECT"), 0);
    EXPECT_EQ(server_.CountEvents("LOGIN"), 0);
}

TEST_F(FtpJobTest, StalledServerEndsByTimeOut) {
    PyFtpServer::Options options;
    options.stallOn = {"STOR", "RETR"};
    START_FTP_SERVER_OR_SKIP(options);
    scratch_.WriteFile("root/a.log", "log");
    CFtpJob job = MakeJob(1);
    FtpTimeouts timeouts = job.Timeouts();
    timeouts.lowSpeedTimeS = 1;
    job.SetTimeouts(timeouts);
    job.SetLocalFile(WriteLocal("a.txt", "a"));
    job.SetRemoteName("a.txt");
    EXPECT_EQ(Upload(job), kFtpResultFailed);
    EXPECT_EQ(job.state, kFtpStateFailed);
    EXPECT_FALSE(job.errorText.empty());

    CFtpJob download = MakeJob(0);
    download.SetTimeouts(timeouts);
    download.SetLocalFile((local() / "a.log").string());
    download.SetRemoteName("a.log");
    EXPECT_EQ(download.DownloadFile(), kFtpResultFailed);
    EXPECT_FALSE(download.errorText.empty());
    EXPECT_THAT(LeftoverTemporaries(local()), ::testing::IsEmpty());
}

TEST_F(FtpJobTest, ServerSilentAfterConnectIsNoConnection) {
    PyFtpServer::Options options;
    options.stallOn = {"GREETING"};
    START_FTP_SERVER_OR_SKIP(options);
    CFtpJob job = MakeJob(1);
    FtpTimeouts timeouts = job.Timeouts();
    timeouts.lowSpeedTimeS = 1;
    job.SetTimeouts(timeouts);
    job.SetLocalFile(WriteLocal("a.txt", "a"));
    job.SetRemoteName("a.txt");
    EXPECT_EQ(Upload(job), kFtpResultNoConnection);
}

TEST_F(FtpJobTest, CutDataConnectionFailsAndRemovesTheLockFile) {
    PyFtpServer::Options options;
    options.cutDataAfter = 64 * 1024;
    START_FTP_SERVER_OR_SKIP(options);
    scratch_.WriteFile("root/big.bin", "previous complete file");
    CFtpJob job = MakeJob(1);
    job.SetLocalFile(WriteLocal("big.bin", std::string(4 << 20, 'c')));
    job.SetRemoteName("big.bin");
    std::vector<int> states;
    EXPECT_EQ(Upload(job, &states), kFtpResultFailed);
    EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateTransferring, kFtpStateFailed));
    EXPECT_FALSE(job.errorText.empty());
    EXPECT_LE(job.errorText.size(), 254u);
    EXPECT_FALSE(fs::exists(root() / "big.bin.lock"));
    EXPECT_TRUE(scratch_.ReadFile("root/big.bin") == "previous complete file");
}

TEST_F(FtpJobTest, UnsafeRemoteNamesFailBeforeConnecting) {
    START_FTP_SERVER_OR_SKIP();
    const std::string path = WriteLocal("a.txt", "a");
    for (const std::string name : {"../a.txt", "sub/a.txt", "a\r\nDELE x", "", ".."}) {
        for (const int upload : {1, 0}) {
            CFtpJob job = MakeJob(upload);
            job.SetLocalFile(upload ? path : (local() / "b.txt").string());
            job.SetRemoteName(name);
            EXPECT_EQ(upload ? job.UploadFile() : job.DownloadFile(), kFtpResultFailed) << name;
            EXPECT_EQ(job.state, kFtpStateFailed);
            EXPECT_EQ(job.errorText.find('\n'), std::string::npos);
        }
    }
    ASSERT_TRUE(server_.CatchUp());
    EXPECT_EQ(server_.CountEvents("CONNECT"), 0);
}

TEST_F(FtpJobTest, NamesWithSpacesAndPercentSignsReachTheServerUnchanged) {
    START_FTP_SERVER_OR_SKIP();
    fs::create_directories(root() / "dossier 100%");
    CFtpJob job = MakeJob(1, "dossier 100%");
    job.SetLocalFile(WriteLocal("a.txt", "spaced"));
    job.SetRemoteName("résultats #1 %20.txt");
    ASSERT_EQ(Upload(job), kFtpResultOk) << job.errorText;
    EXPECT_EQ(scratch_.ReadFile("root/dossier 100%/résultats #1 %20.txt"), "spaced");
}

TEST_F(FtpJobTest, DownloadAndListing) {
    START_FTP_SERVER_OR_SKIP();
    scratch_.WriteFile("root/logs/a.log", std::string(10, 'a'));
    scratch_.WriteFile("root/logs/B.LOG", std::string(2000, 'b'));
    scratch_.WriteFile("root/logs/c.txt", "c");
    scratch_.WriteFile("root/logs/up..and-away.log", "a name no download may use");
    fs::create_directories(root() / "logs" / "old.log");

    std::vector<CFtpFileDesc> files;
    std::string error;
    ASSERT_EQ(ListRemoteFiles(server_.Site(), options_.user, options_.password, "logs", "*.log", files, error), 0)
        << error;
    std::vector<std::pair<std::string, std::int64_t>> seen;
    for (const auto& file : files) seen.emplace_back(file.name, file.size);
    std::sort(seen.begin(), seen.end());
    EXPECT_THAT(seen, ElementsAre(std::pair<std::string, std::int64_t>("B.LOG", 2000),
                                  std::pair<std::string, std::int64_t>("a.log", 10)));

    fs::create_directories(local());
    scratch_.WriteFile("local/B.LOG", "older copy");
    CFtpJob job = MakeJob(0, "logs");
    job.SetLocalFile((local() / "B.LOG").string());
    job.SetRemoteName("B.LOG");
    std::vector<int> states;
    job.SetStateReporter([&](const FtpJobStateEvent& event) { states.push_back(event.state); });
    ASSERT_EQ(job.DownloadFile(), kFtpResultOk) << job.errorText;
    EXPECT_THAT(states, ElementsAre(kFtpStateStarted, kFtpStateTransferring, kFtpStateDone));
    EXPECT_EQ(scratch_.ReadFile("local/B.LOG"), std::string(2000, 'b'));
    EXPECT_THAT(LeftoverTemporaries(local()), ::testing::IsEmpty());
}

TEST_F(FtpJobTest, MissingRemoteFileKeepsTheLocalCopy) {
    START_FTP_SERVER_OR_SKIP();
    scratch_.WriteFile("local/x.log", "kept");
    for (const Language language : {Language::French, Language::English}) {
        SetLanguage(language);
        CFtpJob job = MakeJob(0);
        job.SetLocalFile((local() / "x.log").string());
        job.SetRemoteName("x.log");
        EXPECT_EQ(job.DownloadFile(), kFtpResultFailed);
        EXPECT_EQ(job.state, kFtpStateFailed);
        EXPECT_EQ(job.errorText, language == Language::French
                                     ? "Erreur non documentée Microsoft. Cause possible : fichier distant inexistant."
                                     : "Unknown extended error. Possible cause: remote file does not exist.");
    }
    EXPECT_EQ(scratch_.ReadFile("local/x.log"), "kept");
    EXPECT_THAT(LeftoverTemporaries(local()), ::testing::IsEmpty());
}

TEST_F(FtpJobTest, EmptyUserLogsInAnonymously) {
    PyFtpServer::Options options;
    options.anonymous = true;
    START_FTP_SERVER_OR_SKIP(options);
    CFtpJob job = MakeJob(1);
    job.user.clear();
    job.password.clear();
    job.SetLocalFile(WriteLocal("a.txt", "anonymous"));
    job.SetRemoteName("a.txt");
    ASSERT_EQ(Upload(job), kFtpResultOk) << job.errorText;
    // The server's line for the login may still be on its way to the test when the job ends.
    ASSERT_TRUE(server_.CatchUp());
    EXPECT_EQ(server_.CountEvents("LOGIN anonymous"), 1);
}

TEST(FtpJobSettingsTest, PassiveModesComeFromTheSettings) {
    ScratchDir scratch;
    const std::string ini = scratch.WriteFile("WinORVEX.ini", "[FtpSettings]\nBPutInPassiveMode=0\n");
    SetSettingsFilePath(ini);
    const CFtpJob upload(1);
    EXPECT_EQ(upload.putPassive, 0);
    EXPECT_EQ(upload.getPassive, 1);
    EXPECT_EQ(upload.state, kFtpStateCreated);
    SetSettingsFilePath("");
}

}  // namespace
}  // namespace winorvex::test
