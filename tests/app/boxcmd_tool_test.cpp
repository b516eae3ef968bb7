// winorvex-boxcmd run as a process against simulated readers, as an operator would from a shell.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "core/settings.h"
#include "simulator.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

class BoxCommandTool : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = scratch_.str() + "/data";
        fs::create_directories(data_);
    }

    sim::Simulator& AddReader(int index, sim::Model model, int date) {
        sim::Options options;
        options.model = model;
        options.port = 0;
        options.side_port = 0;
        options.date = date;
        options.start_paused = true;
        options.quiet = true;
        auto reader = std::make_unique<sim::Simulator>(options);
        std::string error;
        EXPECT_TRUE(reader->Start(&error)) << error;
        const std::string ini = data_ + "/WinORVEX.ini";
        const std::string i = std::to_string(index);
        WriteSettingText("OrvexBoxes", "BoxHost" + i, "127.0.0.1", ini);
        WriteSettingInt("OrvexBoxes", "BoxPort" + i, reader->port(), ini);
        WriteSettingText("OrvexBoxes", "BoxIdDetector" + i, "31", ini);
        const int side = reader->side_port() != 0 ? reader->side_port() : FreeLoopbackPort();
        WriteSettingInt("OrvexBoxes", "BoxSidePort" + i, side, ini);
        readers_.push_back(std::move(reader));
        return *readers_.back();
    }

    int Run(std::vector<std::string> args, std::string& out) {
        args.insert(args.begin(), {"--data-dir", data_, "--lang", "en"});
        ChildProcess tool(WINORVEX_BOXCMD_EXE, scratch_, args, "boxcmd");
        EXPECT_TRUE(tool.Started());
        const int status = tool.Wait(std::chrono::seconds(60));
        out = tool.Out();
        return status;
    }

    ScratchDir scratch_;
    std::string data_;
    std::vector<std::unique_ptr<sim::Simulator>> readers_;
};

TEST_F(BoxCommandTool, SyncSetsBothReadersAndPrintsTheirLines) {
    sim::Simulator& elite = AddReader(0, sim::Model::kElite, 20200102);
    sim::Simulator& lite = AddReader(1, sim::Model::kLite, 20200102);
    std::string out;
    EXPECT_EQ(Run({"sync"}, out), 0) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("\\+ Box 1 \\[[^\\]]*\\] : Box synchronized \\(ELITE\\)"))) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("\\+ Box 2 \\[[^\\]]*\\] : Request for synchronization \\(Lite\\)")))
        << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("\\+ Box 2 \\[[^\\]]*\\] : Box synchronized \\(Lite\\)"))) << out;
    EXPECT_NE(elite.clock().Now().year, 2020);
    EXPECT_NE(lite.clock().Now().year, 2020);
}

TEST_F(BoxCommandTool, MarkerAndExitStatuses) {
    AddReader(0, sim::Model::kElite, 0);
    std::string out;
    EXPECT_EQ(Run({"marker", "Km 5"}, out), 0) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex("Marker \\[KMark-\\d{14}:Km 5\\] inserted \\(ELITE\\)"))) << out;
    // Nothing left of the label: the command does not run.
    EXPECT_EQ(Run({"marker", " // "}, out), 1) << out;
    EXPECT_EQ(Run({"expert", "1140"}, out), 1);
    EXPECT_EQ(Run({"frobnicate"}, out), 1);

    readers_.clear();
    EXPECT_EQ(Run({"times"}, out), 2) << out;
}

}  // namespace
}  // namespace winorvex::test
