// Runs the built winorvex-feed on a scratch data folder, as an operator would from a shell.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace winorvex {
namespace {

#ifdef WINORVEX_FEED_EXE

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the tool with stdin from a file (or /dev/null), stdout and stderr into files.
RunResult RunFeed(const test::ScratchDir& scratch, const std::vector<std::string>& args,
                  const std::string& stdinPath = "/dev/null", const std::vector<std::string>& extraEnv = {}) {
    const std::string outPath = scratch.str() + "/feed.out";
    const std::string errPath = scratch.str() + "/feed.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argStore{WINORVEX_FEED_EXE};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The caller's environment without any data folder of its own, plus the extras.
    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).starts_with("WINORVEX_DATA_DIR=")) continue;
        envStore.emplace_back(*e);
    }
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    RunResult result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, WINORVEX_FEED_EXE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << WINORVEX_FEED_EXE;
        return result;
    }
    int status = 0;
    const bool ended = test::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(30));
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "winorvex-feed did not end";
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = test::ReadWholeFile(outPath);
    result.err = test::ReadWholeFile(errPath);
    return result;
}

std::string Checksum(std::string_view characters) {
    unsigned sum = 0;
    for (const char c : characters) sum += static_cast<unsigned char>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02x", sum % 256);
    return text;
}

std::string Tag(const std::string& chip, const std::string& yymmdd, const std::string& hhmmss, const std::string& cc,
                const std::string& marker = "") {
    const std::string body = "01" + chip + "0000" + yymmdd + hhmmss + cc;
    return "aa" + body + Checksum(body) + marker;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder, const std::string& extension) {
    std::vector<std::string> found;
    if (!std::filesystem::is_directory(folder)) return found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == extension) found.push_back(entry.path().string());
    }
    return found;
}

class FeedToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = scratch_.str() + "/data";
        std::filesystem::create_directories(data_);
        scratch_.WriteFile("data/WinORVEX.ini",
                           "[Settings]\r\nGOrvexSendNumbers=1\r\nGOrvexIgnoreInputMsDelta=50\r\n"
                           "[OrvexBoxes]\r\nBoxIdDetector0=44\r\n");
        scratch_.WriteFile("data/OrvexTable.dtb", "12 0580031A2B3C\r\n13 0580031A2B3D\r\n");
    }

    test::ScratchDir scratch_;
    std::string data_;
};

TEST_F(FeedToolTest, RecordsLinesLikeALiveBox) {
    std::string input;
    input += Tag("0580031A2B3C", "240518", "101530", "19") + "\r\n";  // 10:15:30.25
    input += Tag("0580031A2B3C", "240518", "101530", "1c") + "\r\n";  // 30 ms later: a repeat
    input += Tag("0580031A2B3D", "240519", "000001", "00", "FS") + "\r\n";
    input +=
        "aa010580031A2B3C0000240518101530"
        "19"
        "00\r\n";                                                   // wrong checksum
    input += Tag("FFFFFFFFFFFF", "240518", "101600", "00") + "\n";  // unknown chip, kept
    input += "xyz" + std::string(2000, 'q') + "\n";                 // arrives in pieces
    input += "\n";
    input += Tag("0580031A2B3C", "240518", "102000", "00");  // no final line feed
    const std::string inputPath = scratch_.WriteFile("reads.txt", input);

    const RunResult run =
        RunFeed(scratch_, {"--data-dir", data_, "--today", "20240518", "--lang", "en", "--detector", "31", inputPath});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string expected =
        "1\t31\t12\t1\t10:15:30.25\t1\n"
        "2\t31\t13\t1\t24:00:01.00\t1\n"
        "3\t31\tFFFFFFFFFFFF\t1\t10:16:00.00\t1\n"
        "4\t31\t12\t1\t10:20:00.00\t1\n";
    EXPECT_EQ(run.out, expected);

    EXPECT_NE(run.err.find("+++ Chip translation table loaded (2 entries)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("+++ Incoming detections saved in " + data_ + "/logfiles/WinORVEX-"), std::string::npos);
    EXPECT_NE(run.err.find("+ Box 1 [feed:0 31] : Invalid input: aa010580031A2B3C"), std::string::npos);
    EXPECT_NE(run.err.find(".. Unknown command: xyz"), std::string::npos);
    EXPECT_NE(run.err.find(".. Unknown command: qqq"), std::string::npos);  // the second piece
    EXPECT_EQ(run.err.find("Detection ignored"), std::string::npos);        // below the window level

    // The run's detection file holds the same lines, as the station writes them.
    const auto dats = FilesIn(data_ + "/logfiles", ".dat");
    ASSERT_EQ(dats.size(), 1U);
    std::string withCr = expected;
    for (std::size_t at = 0; (at = withCr.find('\n', at)) != std::string::npos; at += 2) withCr.insert(at, "\r");
    EXPECT_EQ(test::ReadWholeFile(dats[0]), withCr);
    // The log file takes the detailed lines the window does not show.
    const std::string log = test::ReadWholeFile(data_ + "/logfiles/WinORVEX.log");
    EXPECT_NE(log.find("+ Box 1 [feed:0 31] : Detection ignored"), std::string::npos);
}

TEST_F(FeedToolTest, ReadsStandardInputWithTheDataFolderOfTheEnvironment) {
    const std::string inputPath = scratch_.WriteFile("reads.txt", Tag("0580031A2B3C", "240518", "080000", "05") + "\n");
    const RunResult run =
        RunFeed(scratch_, {"--today", "20240518", "--lang", "fr"}, inputPath, {"WINORVEX_DATA_DIR=" + data_});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1\t44\t12\t1\t08:00:00.05\t1\n");  // detector of the box-1 slot
    EXPECT_NE(run.err.find("+++ Table de correspondance chargée (2 entrées)"), std::string::npos) << run.err;
    EXPECT_EQ(FilesIn(data_ + "/logfiles", ".dat").size(), 1U);
}

TEST_F(FeedToolTest, ReadsOnAnotherDayThanTheRaceWarn) {
    const std::string inputPath = scratch_.WriteFile("reads.txt", Tag("0580031A2B3C", "240518", "080000", "00") + "\n");
    const RunResult run = RunFeed(scratch_, {"--data-dir", data_, "--today", "20240601", "--lang", "en", inputPath});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1\t44\t12\t1\t08:00:00.00\t1\n");
    EXPECT_NE(run.err.find("### Caution: Box and Computer dates seem incompatible!"), std::string::npos);
}

TEST_F(FeedToolTest, TenMegabytesOfRandomBytesLeaveALogUnderAMegabyte) {
    std::mt19937 rng(20240518);
    std::string garbage(10 * 1024 * 1024, '\0');
    for (char& c : garbage) c = static_cast<char>(rng() & 0xFF);
    // One real read among the garbage is still recorded.
    garbage += "\n" + Tag("0580031A2B3C", "240518", "101530", "19") + "\n";
    const std::string inputPath = scratch_.WriteFile("random.bin", garbage);

    const RunResult run = RunFeed(scratch_, {"--data-dir", data_, "--today", "20240518", "--lang", "en", inputPath});
    EXPECT_EQ(run.exitCode, 0) << run.err.substr(0, 2000);
    EXPECT_EQ(run.out, "1\t44\t12\t1\t10:15:30.25\t1\n");
    const auto logSize = std::filesystem::file_size(data_ + "/logfiles/WinORVEX.log");
    EXPECT_LT(logSize, 1024u * 1024u);
    EXPECT_LT(run.err.size(), 1024u * 1024u);
    const std::string log = test::ReadWholeFile(data_ + "/logfiles/WinORVEX.log");
    EXPECT_NE(log.find(" more lines like this in the last second"), std::string::npos);
    // Shown bytes are escaped: no control byte but the line feeds reaches the log.
    for (const char c : log) {
        const auto byte = static_cast<unsigned char>(c);
        ASSERT_TRUE(byte >= 0x20 || c == '\n') << static_cast<int>(byte);
    }
}

TEST_F(FeedToolTest, ARawChipIsEscapedOnStandardOutputAndKeptAsReadInTheFile) {
    // A well-framed read whose chip holds control bytes: not in the table, so kept as read.
    const std::string chip =
        "05800\x01\x1b"
        "A2B3C";
    const std::string inputPath = scratch_.WriteFile("reads.txt", Tag(chip, "240518", "101530", "19") + "\n");
    const RunResult run = RunFeed(scratch_, {"--data-dir", data_, "--today", "20240518", "--lang", "en", inputPath});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1\t44\t05800\\x01\\x1BA2B3C\t1\t10:15:30.25\t1\n");
    const auto dats = FilesIn(data_ + "/logfiles", ".dat");
    ASSERT_EQ(dats.size(), 1U);
    EXPECT_EQ(test::ReadWholeFile(dats[0]), "1\t44\t" + chip + "\t1\t10:15:30.25\t1\r\n");
}

TEST_F(FeedToolTest, TheTableLoadCountsItsLinesAndAnEmptyTableIsAnAlert) {
    scratch_.WriteFile("data/OrvexTable.dtb", "12 0580031A2B3C\r\nnot a line\r\n13 0580031A2B3D\r\n");
    RunResult run = RunFeed(scratch_, {"--data-dir", data_, "--lang", "en"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("+++ Chip translation table loaded (2 entries)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("+++ Chip table: 2 lines taken, 1 rejected (first rejected: line 2)"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("every read will be refused"), std::string::npos);

    std::filesystem::remove(data_ + "/OrvexTable.dtb");
    run = RunFeed(scratch_, {"--data-dir", data_, "--lang", "en"});
    EXPECT_NE(run.err.find("######## no chip translation table: every read will be refused"), std::string::npos)
        << run.err;
}

TEST_F(FeedToolTest, BadArgumentsGiveTheUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"--today", "2024051"}, {"--today", "20241301"}, {"--lang", "de"}, {"--data-dir"},
    };
    for (const auto& args : bad) {
        const RunResult run = RunFeed(scratch_, args);
        EXPECT_EQ(run.exitCode, 2) << args[0];
        EXPECT_NE(run.err.find("usage: winorvex-feed"), std::string::npos) << args[0];
        EXPECT_TRUE(run.out.empty());
    }
    const RunResult missing = RunFeed(scratch_, {"--data-dir", data_, "--lang", "en", scratch_.str() + "/none.txt"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}

#else

TEST(FeedTool, IsBuiltWithTheTests) {
    FAIL() << "winorvex-feed is not part of this build";
}

#endif  // WINORVEX_FEED_EXE

}  // namespace
}  // namespace winorvex
