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

    static std::size_t Occurrences(const std::string& text, const std::string& needle) {
        std::size_t count = 0;
        for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
        return count;
    }

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
    // The archived files are gone: only the archive is listed.
    EXPECT_EQ(run.out, "archive\t" + out_.str() + "/race.zip\n");
    EXPECT_FALSE(std::filesystem::exists(out_.path() / "race"));
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
}

TEST_F(ExportToolTest, DamagedLinesAreSkippedAndNamedAndTheValidOnesExported) {
    const std::string bad = input_.WriteFile("bad.dat",
                                             "1\t12\t20\t1\t10:00:00.00\t1\r\n"
                                             "2\t12\t20\t1\t10:00\r\n"
                                             "3\t12\t31\t1\t10:05:00.00\t1\r\n"
                                             "4\t12\t31\t1\t10:0\x01\x01\x01\x01\n"
                                             "5\t12\t31\t1\t10:20:00.00\t1\r\n");
    const ProgramResult run =
        Export({"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "x", bad, "-"}, Input(kRace));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(bad + ":2: not a detection-file line (5 fields instead of 6), skipped\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(bad + ":4: not a detection-file line"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("2 lines skipped\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find("written")), "skipped\t" + bad + ":2\t5 fields instead of 6\n" +
                                                              "skipped\t" + bad + ":4\t5 fields instead of 6\n" +
                                                              "skipped-lines\t2\n");
    // The valid lines of both inputs: runner 31 three times (bad.dat twice, standard input three times).
    EXPECT_EQ(ReadWholeFile(out_.str() + "/x-12-1.rix"),
              "1\t12\t20\t1\t10:00:00.00\t1\r\n"
              "2\t12\t31\t1\t10:05:00.00\t1\r\n");
    EXPECT_EQ(ReadWholeFile(out_.str() + "/x-12-2.rix"), "1\t12\t31\t1\t10:20:00.00\t1\r\n");
    EXPECT_NE(run.out.find("written\t" + out_.str() + "/x-7-1.rix\n"), std::string::npos) << run.out;
}

TEST_F(ExportToolTest, ManyDamagedLinesNameTheFirstTwentyThenCount) {
    std::string lines = "1\t12\t20\t1\t10:00:00.00\t1\n";
    for (int i = 0; i < 25; ++i) lines += "garbage " + std::to_string(i) + "\n";
    const std::string in = Input(lines);
    const ProgramResult run = Export({"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "x", in});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Occurrences(run.out, "skipped\t"), 20u) << run.out;
    EXPECT_NE(run.out.find("skipped\t" + in + ":21\t1 fields instead of 6\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(in + ":22\t"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("skipped-lines\t25\n"), std::string::npos) << run.out;
    EXPECT_EQ(Occurrences(run.err, "not a detection-file line"), 20u) << run.err;
    EXPECT_NE(run.err.find("25 lines skipped in all, the first 20 named above"), std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(out_.str() + "/x-12-1.rix"), "1\t12\t20\t1\t10:00:00.00\t1\r\n");

    // Nothing valid at all: refused, nothing written.
    std::filesystem::remove_all(out_.path());
    std::filesystem::create_directories(out_.path());
    const std::string none = input_.WriteFile("none.dat", "2\t12\t20\t1\t10:00\r\nnot a line\n");
    const ProgramResult refused =
        Export({"--gap", "0:1:0", "--mode", "0", "--folder", out_.str(), "--name", "x", none});
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_NE(refused.err.find("no detection-file line found"), std::string::npos) << refused.err;
    EXPECT_NE(refused.out.find("skipped-lines\t2\n"), std::string::npos) << refused.out;
    EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(ExportToolTest, AbsoluteClockLinesMakePassesAndTheCompactFormSaysWhatItLeftOut) {
    const std::string in = Input(
        "1\t12\t31\t1\t1716000000.0\t2\n"
        "2\t12\t20\t1\t1716000010.50\t2\n"
        "3\t12\t31\t1\t1716000030.0\t2\n"
        "4\t12\t31\t1\t1716000300.0\t2\n");
    const ProgramResult timeOfDay =
        Export({"--gap", "00:01:00", "--mode", "0", "--folder", out_.str(), "--name", "abs", in});
    ASSERT_EQ(timeOfDay.exitCode, 0) << timeOfDay.err;
    EXPECT_EQ(timeOfDay.out, "written\t" + out_.str() + "/abs-12-1.rix\nwritten\t" + out_.str() + "/abs-12-2.rix\n");
    EXPECT_EQ(ReadWholeFile(out_.str() + "/abs-12-2.rix"), "1\t12\t31\t1\t1716000300.0\t2\r\n");

    const ProgramResult compact =
        Export({"--gap", "00:01:00", "--mode", "2", "--folder", out_.str(), "--name", "abs", in});
    EXPECT_EQ(compact.exitCode, 1) << compact.err;
    EXPECT_NE(compact.out.find("absolute-left-out\t3\n"), std::string::npos) << compact.out;
    EXPECT_NE(compact.err.find("3 absolute-clock detections not exported in the LOGICA form"), std::string::npos)
        << compact.err;
}

TEST_F(ExportToolTest, NegativePassingTimesReadBackInEveryMode) {
    data_.WriteFile("WinORVEX.ini", "[ExportDetectionLines]\r\nHandicap-12=10:30:00.00\r\n");
    const std::string in = Input(
        "1\t12\t3\t1\t09:59:59.50\t1\n"
        "2\t12\t3\t1\t10:00:20.00\t1\n"
        "3\t12\t8\t1\t10:45:00.00\t1\n");
    const ProgramResult first = Export({"--gap", "00:01:00", "--mode", "1", "--folder", out_.str(), "--name", "p", in});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string passing = ReadWholeFile(out_.str() + "/p-12-1.rix");
    ASSERT_EQ(passing,
              "1\t12\t3\t1\t-00:30:00.50\t1\r\n"
              "2\t12\t8\t1\t00:15:00.00\t1\r\n");

    // Read back without a handicap: the earlier passage stays the runner's first, and keeps its sign.
    data_.WriteFile("WinORVEX.ini", "");
    const std::string back = input_.WriteFile("back.dat", passing + ReadWholeFile(out_.str() + "/p-12-2.rix"));
    const std::vector<std::pair<std::string, std::string>> modes = {
        {"0", "1\t12\t3\t1\t-00:30:00.50\t1\r\n2\t12\t8\t1\t00:15:00.00\t1\r\n"},
        {"1", "1\t12\t3\t1\t-00:30:00.50\t1\r\n2\t12\t8\t1\t00:15:00.00\t1\r\n"},
        {"2", "dossard\ttemps\tcommentaire\r\ndossard\tperformancen\tcommentaire\r\n3\t-3001\t\r\n8\t1500\t\r\n"}};
    for (const auto& [mode, expected] : modes) {
        const ProgramResult run =
            Export({"--gap", "00:00:00", "--mode", mode, "--folder", out_.str(), "--name", "b" + mode, back});
        ASSERT_EQ(run.exitCode, 0) << mode << " " << run.err;
        EXPECT_EQ(ReadWholeFile(out_.str() + "/b" + mode + "-12-1" + (mode == "2" ? "-ljk.txt" : ".rix")), expected)
            << mode;
    }
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
