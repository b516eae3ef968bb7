// Runs the built winorvex-acquire against a simulated reader, as an operator would from a shell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace winorvex::test {
namespace {

#ifdef WINORVEX_ACQUIRE_EXE

// The tool running with its output in files.
class AcquireRun : public ChildProcess {
public:
    AcquireRun(const ScratchDir& scratch, std::vector<std::string> args)
        : ChildProcess(WINORVEX_ACQUIRE_EXE, scratch, std::move(args), "acquire") {}
};

std::size_t LineCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) count += c == '\n' ? 1 : 0;
    return count;
}

TEST(AcquireTool, RecordsAReaderUntilStopped) {
    ScratchDir scratch;
    sim::Options options;
    options.model = sim::Model::kLite;
    options.port = 0;
    options.rate = 0;
    options.count = 30;
    options.chip_count = 30;
    options.quiet = true;
    sim::Simulator reader(options);
    std::string error;
    ASSERT_TRUE(reader.Start(&error)) << error;
    scratch.WriteFile("data/WinORVEX.ini", "[OrvexBoxes]\nBoxHost0=127.0.0.1\nBoxPort0=" +
                                               std::to_string(reader.port()) + "\nBoxIdDetector0=7\n");
    scratch.WriteFile("data/OrvexTable.dtb", "501 058000000001\n502 058000000002\n");

    AcquireRun run(scratch, {"--data-dir", scratch.str() + "/data", "--lang", "en"});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(WaitFor([&] { return LineCount(run.Out()) == 30; }, std::chrono::seconds(20))) << run.Err();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(std::chrono::seconds(20)), 0) << run.Err();

    const std::string out = run.Out();
    EXPECT_EQ(out.substr(0, 8), "1\t7\t501\t") << out;
    EXPECT_NE(out.find("\n2\t7\t502\t1\t"), std::string::npos) << out;
    EXPECT_NE(out.find("\n3\t7\t058000000003\t1\t"), std::string::npos) << "an unknown chip keeps its identifier";
    EXPECT_EQ(out.find('\r'), std::string::npos);
    const std::string err = run.Err();
    EXPECT_NE(err.find("+ Box 1 initialized on 127.0.0.1:" + std::to_string(reader.port())), std::string::npos);
    EXPECT_NE(err.find("Disconnection requested"), std::string::npos) << err;
    EXPECT_NE(err.find("Detections recorded in " + scratch.str() + "/data/logfiles/WinORVEX-"), std::string::npos);
}

TEST(AcquireTool, EndsAtOnceWithoutADeclaredBox) {
    ScratchDir scratch;
    scratch.WriteFile("data/WinORVEX.ini", "[Settings]\n");
    AcquireRun run(scratch, {"--data-dir", scratch.str() + "/data", "--lang", "en", "--seconds", "30"});
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(std::chrono::seconds(20)), 1);
    EXPECT_NE(run.Err().find("No ORVEX box has been declared in your configuration !!!"), std::string::npos);
    EXPECT_EQ(run.Out(), "");
}

#endif

}  // namespace
}  // namespace winorvex::test
