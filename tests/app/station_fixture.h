#pragma once
// A station on the test thread, with a scratch data folder, a scripted operator, recorded sounds
// and simulated readers run in-process on free loopback ports. Pump() runs the station's event
// loop until a condition holds.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/station.h"
#include "chip_source.h"
#include "chips/chip_table.h"
#include "core/folders.h"
#include "core/local_time.h"
#include "core/log.h"
#include "core/scoped_env.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/detections_pane.h"
#include "detections/result_list.h"
#include "simulator.h"
#include "support/qt_wait.h"
#include "support/recording_station_events.h"
#include "support/scripted_prompt.h"
#include "support/test_support.h"

namespace winorvex::test {

class FakeKeyboard : public KeyboardState {
public:
    bool CtrlHeld() const override { return ctrl; }
    bool ScrollLockOn() const override { return scrollLock; }
    bool ctrl = false;
    bool scrollLock = false;
};

class StationTest : public ::testing::Test {
protected:
    static constexpr int kChips = 200;

    void SetUp() override {
        SetLanguage(Language::French);
        SetDataFolderOverride(scratch_.str());
        // The command service's socket folder of this test alone.
        runtime_ = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", scratch_.str());
        std::string table;
        for (std::uint32_t n = 1; n <= kChips; ++n) {
            const sim::ChipId chip = sim::GeneratedChip(n);
            table += std::to_string(1000 + n) + " " + std::string(chip.data(), chip.size()) + "\r\n";
        }
        scratch_.WriteFile("OrvexTable.dtb", table);
        ClearResults();
        ClearDetectionsPaneQueue();
    }

    void TearDown() override {
        station_.reset();
        sims_.clear();
        CloseDetectionFile();
        ClearResults();
        ClearChipTable();
        SetLogWindowAttached(false);
        DrainLogWindowQueue();
        SetLogFilePath("");
        SetSettingsFilePath("");
        ClearDataFolderOverride();
        Settings().boxReconnectSeconds = 30;
        Settings().connectionTimeout = 2;
    }

    // Settings written before the station reads them.
    void Ini(const std::string& section, const std::string& key, const std::string& value) {
        WriteSettingText(section, key, value, scratch_.str() + "/WinORVEX.ini");
    }

    // A simulated reader declared as this box (1..4) in the settings.
    sim::Simulator& AddReader(int boxNumber, double rate, std::uint64_t count, bool paused = false) {
        sim::Options options;
        options.rate = rate;
        options.count = count;
        options.start_paused = paused;
        return AddSimulator(boxNumber, options);
    }

    // The same with every option of the simulator (its ports are always free ones). A Lite reader's
    // side port points at a free port where nothing listens.
    sim::Simulator& AddSimulator(int boxNumber, sim::Options options) {
        options.port = 0;
        options.side_port = 0;
        options.chip_count = kChips;
        options.quiet = true;
        auto reader = std::make_unique<sim::Simulator>(options);
        std::string error;
        EXPECT_TRUE(reader->Start(&error)) << error;
        const std::string i = std::to_string(boxNumber - 1);
        Ini("OrvexBoxes", "BoxHost" + i, "127.0.0.1");
        Ini("OrvexBoxes", "BoxPort" + i, std::to_string(reader->port()));
        Ini("OrvexBoxes", "BoxIdDetector" + i, std::to_string(30 + boxNumber));
        const int sidePort = reader->side_port() != 0 ? reader->side_port() : FreeLoopbackPort();
        Ini("OrvexBoxes", "BoxSidePort" + i, std::to_string(sidePort));
        sims_.push_back(std::move(reader));
        return *sims_.back();
    }

    Station& MakeStation(bool initialise = true) {
        StationServices services;
        services.prompt = &operator_;
        services.sounds = &sounds_;
        services.keyboard = &keyboard_;
        station_ = std::make_unique<Station>(services, StationOptions{});
        if (initialise) {
            EXPECT_EQ(station_->Start(), StartOutcome::Ready);
            station_->InitialiseWindow();
        }
        return *station_;
    }

    static bool Pump(const std::function<bool()>& done,
                     std::chrono::milliseconds deadline = std::chrono::milliseconds(10000)) {
        return PumpEventsUntil(done, deadline);
    }

    std::string LogText() const { return ReadWholeFile(GetLogFilePath()); }
    bool LogHas(const std::string& text) const { return LogText().find(text) != std::string::npos; }

    std::vector<std::string> DetectionFileLines() const {
        std::vector<std::string> lines;
        std::istringstream in(ReadWholeFile(DetectionFilePath()));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    ScratchDir scratch_;
    std::unique_ptr<ScopedEnv> runtime_;
    ScriptedOperator operator_;
    RecordingStationEvents sounds_;
    FakeKeyboard keyboard_;
    std::vector<std::unique_ptr<sim::Simulator>> sims_;
    std::unique_ptr<Station> station_;  // after the readers: stopped first
};

}  // namespace winorvex::test
