// winorvex-export --ftp against a pyftpdlib server the test starts, as an operator would run it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ftp/pyftpd_server.h"
#include "process_runner.h"
#include "support/test_support.h"

namespace winorvex::test {
namespace {

#ifdef WINORVEX_EXPORT_EXE

namespace fs = std::filesystem;

std::size_t Occurrences(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
    return count;
}

// Two labels for one site and folder (a club's server entered twice, under its own name and a
// generic one): the queue sends each file once, and the tool must not wait for the copy it
// replaced.
TEST(ExportToolFtpTest, TwoLabelsForOneSiteAndFolderEndWithoutWaiting) {
    ScratchDir data;
    ScratchDir input;
    ScratchDir out;
    ScratchDir served;
    fs::create_directories(served.path() / "resultats");
    PyFtpServer server;
    std::string why;
    if (!server.Start(served.str(), {}, why)) GTEST_SKIP() << "no FTP server for the test: " << why;

    const std::string site = server.Site();
    data.WriteFile("FtpServers.dat", "Club\t" + site + "\ttester\tsecret\tresultats\r\n" + "Course\t" + site +
                                         "\ttester\tsecret\tresultats\r\n");
    data.WriteFile("WinORVEX.ini", "[ExportDetectionLines]\r\nFtpServersList=Club\\Course\r\n");
    // Runner 31 three times: three files, six uploads asked for.
    const std::string in = input.WriteFile("in.dat",
                                           "1\t12\t31\t1\t10:00:00.00\t1\n"
                                           "2\t12\t31\t1\t10:10:00.00\t1\n"
                                           "3\t12\t31\t1\t10:20:00.00\t1\n");
    const ProgramResult run =
        RunProgram({WINORVEX_EXPORT_EXE, "--data-dir", data.str(), "--lang", "en", "--gap", "00:01:00", "--mode", "0",
                    "--folder", out.str(), "--name", "race", "--ftp", "--wait-seconds", "20", in},
                   "/dev/null", {"no_proxy=*", "NO_PROXY=*"}, std::chrono::seconds(60));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("ftp-queued\t6\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("unfinished"), std::string::npos) << run.out;
    EXPECT_EQ(Occurrences(run.out, "upload\tok\tClub\t"), 3u) << run.out;
    EXPECT_EQ(Occurrences(run.out, "upload\tok\tCourse\t"), 3u) << run.out;
    for (const char* name : {"race-12-1.rix", "race-12-2.rix", "race-12-3.rix"}) {
        EXPECT_EQ(ReadWholeFile((served.path() / "resultats" / name).string()),
                  ReadWholeFile((out.path() / name).string()))
            << name;
    }
}

#else
TEST(ExportToolFtpTest, NotBuilt) {
    GTEST_SKIP() << "winorvex-export is not part of this build";
}
#endif

}  // namespace
}  // namespace winorvex::test
