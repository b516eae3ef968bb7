#pragma once
// The winorvex program run as a process on a scratch data folder of its own (and its own command
// socket folder), with simulated readers in this process declared as its boxes.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/scoped_env.h"
#include "core/settings.h"
#include "simulator.h"
#include "support/child_process.h"
#include "support/test_support.h"

namespace winorvex::test {

class HeadlessFixture : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_ = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", scratch_.str());
        data_ = scratch_.str() + "/data";
        std::filesystem::create_directories(data_);
        std::string table;
        for (int n = 1; n <= 50; ++n) {
            char chip[16];
            std::snprintf(chip, sizeof chip, "0580%08X", n);
            table += std::to_string(100 + n) + " " + chip + "\r\n";
        }
        scratch_.WriteFile("data/OrvexTable.dtb", table);
    }

    std::string Ini() const { return data_ + "/WinORVEX.ini"; }

    // A reader of the 50 chips sending `count` reads at `rate` a second, as box index + 1
    // (detector 41 + index).
    void AddReader(int index, std::uint64_t count, double rate = 200) {
        sim::Options options;
        options.port = 0;
        options.side_port = 0;
        options.rate = rate;
        options.count = count;
        options.chip_count = 50;
        options.quiet = true;
        auto reader = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(reader->Start(&error)) << error;
        const std::string i = std::to_string(index);
        WriteSettingText("OrvexBoxes", "BoxHost" + i, "127.0.0.1", Ini());
        WriteSettingInt("OrvexBoxes", "BoxPort" + i, reader->port(), Ini());
        WriteSettingText("OrvexBoxes", "BoxIdDetector" + i, std::to_string(41 + index), Ini());
        WriteSettingInt("OrvexBoxes", "BoxSidePort" + i, reader->side_port(), Ini());
        readers_.push_back(std::move(reader));
    }

    // This run's incoming-detections file (empty before it exists).
    std::string DetectionFile() const {
        if (!std::filesystem::exists(data_ + "/logfiles")) return {};
        for (const auto& entry : std::filesystem::directory_iterator(data_ + "/logfiles")) {
            if (entry.path().extension() == ".dat") return entry.path().string();
        }
        return {};
    }

    ScratchDir scratch_;
    std::unique_ptr<ScopedEnv> runtime_;
    std::string data_;
    std::vector<std::unique_ptr<sim::Simulator>> readers_;
};

}  // namespace winorvex::test
