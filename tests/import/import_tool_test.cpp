// A simulated ELITE reader writes its history while it sends reads; the built winorvex-import then
// finds in that history exactly the reads sent inside the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "line_client.h"
#include "simulator.h"
#include "support/test_support.h"

extern char** environ;

namespace winorvex::test {
namespace {

// The tool run to its end with its output in files; killed if it outlives the deadline.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const ScratchDir& scratch, std::vector<std::string> args) {
    const std::string outPath = scratch.str() + "/tool.out";
    const std::string errPath = scratch.str() + "/tool.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), WINORVEX_IMPORT_EXE);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ToolRun run;
    const bool started = posix_spawn(&pid, WINORVEX_IMPORT_EXE, &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) return run;
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(30))) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return run;
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    return run;
}

// A read as the reader sent it: chip, time of day in hundredths.
struct SentRead {
    std::string chip;
    long hundredths = 0;
};

SentRead ParseSent(const std::string& line) {
    SentRead read;
    read.chip = line.substr(4, 12);
    const auto number = [&](std::size_t at) { return std::stol(line.substr(at, 2)); };
    read.hundredths =
        ((number(26) * 60 + number(28)) * 60 + number(30)) * 100 + std::stol(line.substr(32, 2), nullptr, 16);
    return read;
}

std::string ClockText(long hundredths, bool withHundredths) {
    char text[64];
    const long seconds = hundredths / 100;
    if (withHundredths) {
        std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld.%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60,
                      hundredths % 100);
    } else {
        std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
        lines.push_back(text.substr(start, lf - start));
    }
    return lines;
}

TEST(ImportTool, FindsTheSimulatedReadsOfTheWindow) {
    ScratchDir scratch;
    const std::string data = scratch.str() + "/data";
    scratch.WriteFile("data/WinORVEX.ini", "[Settings]\nGOrvexSendNumbers=1\n");
    scratch.WriteFile("data/OrvexTable.dtb", "501 058000000001\n502 058000000002\n503 058000000003\n");
    const std::string log = scratch.str() + "/tty01.log";

    sim::Options options;
    options.port = 0;
    options.side_port = 0;
    options.rate = 40;
    options.count = 90;
    options.chip_count = 500;  // every chip read once: nothing for the purge to take
    options.date = 20240518;
    options.log_file = log;
    options.quiet = true;
    sim::Simulator reader(options);
    std::string error;
    ASSERT_TRUE(reader.Start(&error)) << error;
    ASSERT_EQ(sim::test::SideRequest(reader.side_port(), "insert_marker.Before the start"), "marker_inserted\r\n");

    std::vector<SentRead> sent;
    {
        sim::test::LineClient client;
        ASSERT_TRUE(client.Connect(reader.port()));
        std::string line;
        while (sent.size() < options.count && client.ReadLine(&line, std::chrono::seconds(10))) {
            if (line.starts_with("aa")) sent.push_back(ParseSent(line));
        }
    }
    ASSERT_EQ(sent.size(), options.count);
    ASSERT_EQ(sim::test::SideRequest(reader.side_port(), "insert_marker.After the end"), "marker_inserted\r\n");
    reader.Stop();

    // 90 reads at 40 a second span at least three seconds: a window from the second of the 20th
    // read to the second of the 70th leaves reads out on both sides.
    const long start = sent[20].hundredths / 100 * 100;
    const long end = sent[70].hundredths / 100 * 100;
    ASSERT_LT(start, end);
    std::vector<std::string> expected;
    for (const SentRead& read : sent) {
        if (read.hundredths < start || read.hundredths > end) continue;
        std::string id = read.chip;
        if (id == "058000000001") id = "501";
        if (id == "058000000002") id = "502";
        if (id == "058000000003") id = "503";
        expected.push_back(std::to_string(expected.size() + 1) + "\tC12\t" + id + "\t1\t" +
                           ClockText(read.hundredths, true) + "\t1\r");
    }
    ASSERT_LT(expected.size(), sent.size());

    const std::vector<std::string> common = {"--data-dir", data,     "--lang",   "en",         "--today",
                                             "20240520",   "--date", "20240518", "--detector", "C12"};
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--start", ClockText(start, false), "--end", ClockText(end, false), log});
    ToolRun run = RunTool(scratch, args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), expected) << run.err;
    EXPECT_NE(
        run.err.find("* " + std::to_string(expected.size()) + " suitable detections found in selected time range"),
        std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Total 90 detections"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Marker"), std::string::npos) << "markers only in the extended status mode";

    // The whole day in the extended status mode: every read, both markers.
    args = common;
    args.insert(args.end(), {"--extended", "--save", scratch.str() + "/out.txt", log});
    run = RunTool(scratch, args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(ReadWholeFile(scratch.str() + "/out.txt.rix")).size(), sent.size());
    EXPECT_NE(run.err.find("+ WinORVEX Marker: Before the start"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("+ WinORVEX Marker: After the end"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("+++ File saved"), std::string::npos) << run.err;
}

TEST(ImportTool, RefusesWhatItCannotSearch) {
    ScratchDir scratch;
    const std::string data = scratch.str() + "/data";
    scratch.WriteFile("data/WinORVEX.ini", "[Settings]\n");
    const std::string log = scratch.WriteFile("r.log", "junk\r\n");

    ToolRun run =
        RunTool(scratch, {"--data-dir", data, "--lang", "en", "--date", "20240518", "--end", "24:00:00", log});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("End Time is invalid !"), std::string::npos) << run.err;

    run = RunTool(scratch, {"--data-dir", data, "--lang", "en", "--date", "20240518", scratch.str() + "/none.log"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("File to import is empty or does not exist"), std::string::npos) << run.err;

    run = RunTool(scratch, {"--data-dir", data, "--lang", "en", log});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--date YYYYMMDD is required"), std::string::npos) << run.err;

    run = RunTool(scratch, {"--data-dir", data, "--lang", "en", "--date", "20240518", "--days", "4", log});
    EXPECT_EQ(run.exitCode, 2);

    run = RunTool(scratch, {"--data-dir", data, "--lang", "en", "--date", "20240518", "--abnormal", log});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("+ Box fileBox invalid input: junk"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("* No suitable detection found in selected time range"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace winorvex::test
