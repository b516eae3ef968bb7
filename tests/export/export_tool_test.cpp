// Runs the built winorvex-export on a scratch data folder, as an operator would from a shell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process_runner.h"
#include "support/test_support.h"
#include "zip_inspect.h"

namespace winorvex::test {
namespace {

#ifdef WINORVEX_EXPORT_EXE

class ExportToolTest : public ::testing::Test {
protected:
    ProgramResult Export(std::vector<std::string> args, const std::string& stdinPath = "/dev/null") {
        args.insert(args.begin(), {WINORVEX_EXPORT_EXE, "--data-dir", data_.str(), "--lang", "en"});
        return RunProgram(args, stdinPath);
    }

    std::string Input(const std::string& lines) { return input_.WriteFile("in.dat", lines); }

    ScratchDir data_;
    ScratchDir input_;
    ScratchDir out_;
};

constexpr const char* kRace =
    "1\t12\t20\t1\t10:00:00.00\t1\r\n"
    "2\t12\t31\t1\t10:05:00.00\t1\r\n"
    "3\t12\t31\t1\t10:05:30.00\t1\r\n"
    "4\t12\t31\t1\t10:20:00.00\t1\r\n"
    "5\t7\t9\t1\t10:15:30.25\t1\n"
    "\n";

TEST_F(ExportToolTest, ExportsFilesFromStandardInputWithTheDataFoldersHandicaps) {
    data_.WriteFile("WinORVEX.ini", "[ExportDetectionLines]\r\nHandicap-7=09:30:20.25\r\n");
    const ProgramResult run =
        Export({"--gap", "00:01:00", "--mode", "1", "--folder", out_.str(), "--name", "race"}, Input(kRace));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "written\t" + out_.str() + "/race-12-1.rix\n" + "written\t" + out_.str() + "/race-12-2.rix\n" +
                           "written\t" + out_.str() + "/race-7-1.rix\n");
    EXPECT_EQ(ReadWholeFile(out_.str() + "/race-12-2.rix"), "1\t12\t31\t1\t10:20:00.00\t1\r\n");
    EXPECT_EQ(ReadWholeFile(out_.str() + "/race-7-1.rix"), "1\t7\t9\t1\t00:45:10.00\t1\r\n");
}

TEST_F(ExportToolTest, ArchiveFromFiles) {
    const std::string in = Input(kRace);
    const ProgramResult run =
        Export({"--gap", "0:1:0", "--mode", "2", "--folder", out_.str(), "--name", "race", "--zip", in, in});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("archive\t" + out_.str() + "/race.zip\n"), std::string::npos) << run.out;
    const ZipInspection zip = InspectZip(out_.str() + "/race.zip");
    ASSERT_TRUE(zip.ok) << zip.output;
    EXPECT_EQ(zip.names,
              (std::vector<std::string>{"race/race-12-1-ljk.txt", "race/race-12-2-ljk.txt", "race/race-7-1-ljk.txt"}));
}

TEST_F(ExportToolTest, RefusedInputWritesNothing) {
    const std::string in = Input(kRace);
    const std::vector<std::vector<std::string>> refused = {
        {"--gap", "-1:00:00", "--mode", "0", "--folder", out_.str(), "--name", "x", in},
        {"--gap", "abc", "--mode", "0", "--folder", out_.str(), "--name", "x", in},
        {"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "../x", in},
        {"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "", in},
        {"--gap", "0:1:0", "--mode", "0", "--folder", " ", "--name", "x", in},
        {"--gap", "0:1:0", "--mode", "3", "--folder", out_.str(), "--name", "x", in},
        {"--gap", "0:1:0", "--folder", out_.str(), "--name", "x", in},
        {"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "x", input_.str() + "/missing"},
    };
    for (const auto& args : refused) {
        const ProgramResult run = Export(args);
        EXPECT_EQ(run.exitCode, 2) << args[1] << " " << run.err;
        EXPECT_EQ(run.out, "");
    }

    // Files written, but nothing to send them to: not all done.
    const ProgramResult noServer =
        Export({"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "ftp", "--ftp", in});
    EXPECT_EQ(noServer.exitCode, 1) << noServer.err;
    EXPECT_NE(noServer.out.find("ftp-error\tNo FTP server selected..."), std::string::npos) << noServer.out;
    std::filesystem::remove_all(out_.path());
    std::filesystem::create_directories(out_.path());

    const std::string bad = input_.WriteFile("bad.dat", "1\t12\t20\t1\t10:00:00.00\t1\r\n2\t12\t20\t1\t10:00\r\n");
    const ProgramResult run = Export({"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "x", bad});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("bad.dat:2: not a detection-file line"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(ExportToolTest, FileThatCannotBeWrittenExitsOne) {
    std::filesystem::create_directories(out_.path() / "race-12-1.rix");
    const ProgramResult run =
        Export({"--gap", "00:01:00", "--mode", "0", "--folder", out_.str(), "--name", "race"}, Input(kRace));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("failed\t" + out_.str() + "/race-12-1.rix\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("written\t" + out_.str() + "/race-12-2.rix\n"), std::string::npos) << run.out;
}

#else
TEST(ExportToolTest, NotBuilt) {
    GTEST_SKIP() << "winorvex-export is not part of this build";
}
#endif

}  // namespace
}  // namespace winorvex::test
