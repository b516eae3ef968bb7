#pragma once
// A station without windows around the box manager, against simulated readers run in-process on
// free loopback ports: scratch data folder, English texts, every log line in the log file, race
// days 18 to 21 May 2024, a chip table of generated chips (bib 1000 + n for chip n), and an event
// loop on the test thread that hands the workers' connection events to the manager.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "chip_source.h"
#include "chips/chip_table.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"
#include "reader/box_manager.h"
#include "simulator.h"
#include "support/queued_station_events.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"

namespace winorvex::test {

class RecordingPrompt : public OperatorPrompt {
public:
    bool AskYesNo(std::string_view, bool defaultYes) override { return defaultYes; }
    void Warn(std::string_view text) override { warnings.emplace_back(text); }
    void Inform(std::string_view) override {}
    std::vector<std::string> warnings;
};

struct SimSettings {
    sim::Model model = sim::Model::kElite;
    double rate = 0;
    std::uint64_t count = 0;
    std::uint32_t chips = 100;
    int date = 0;
    bool paused = false;
};

class BoxStationTest : public ::testing::Test {
protected:
    static constexpr int kChipTableSize = 1000;

    void SetUp() override {
        savedLanguage_ = CurrentLanguage();
        SetLanguage(Language::English);
        SetDataFolderOverride(scratch_.str());
        SetSettingsFilePath(scratch_.str() + "/WinORVEX.ini");
        logPath_ = scratch_.str() + "/WinORVEX.log";
        SetLogFilePath(logPath_);
        SetLogFileLevel(100);

        StationSettings& s = Settings();
        saved_ = {s.sendNumbers.load(),       s.ignoreInputMsDelta.load(), s.boxReconnectSeconds.load(),
                  s.connectionTimeout.load(), s.absClock.load(),           s.readMsDelta.load()};
        s.sendNumbers = 1;
        s.ignoreInputMsDelta = 50;
        s.boxReconnectSeconds = 30;
        s.connectionTimeout = 1;
        s.absClock = 0;
        s.readMsDelta = 1;
        const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
        for (std::size_t i = 0; i < 4; ++i) RaceDayDates().dates[i] = days[i];

        std::string table;
        for (std::uint32_t n = 1; n <= kChipTableSize; ++n) {
            const sim::ChipId chip = sim::GeneratedChip(n);
            table += std::to_string(1000 + n) + " " + std::string(chip.data(), chip.size()) + "\r\n";
        }
        ASSERT_TRUE(ReadChipTableFile(scratch_.WriteFile("OrvexTable.dtb", table)));
        ClearResults();
        detectionPath_ = scratch_.str() + "/detections.dat";
        OpenDetectionFile(detectionPath_);
    }

    void TearDown() override {
        manager_.reset();
        sims_.clear();
        CloseDetectionFile();
        ClearResults();
        ClearChipTable();
        StationSettings& s = Settings();
        s.sendNumbers = saved_[0];
        s.ignoreInputMsDelta = saved_[1];
        s.boxReconnectSeconds = saved_[2];
        s.connectionTimeout = saved_[3];
        s.absClock = saved_[4];
        s.readMsDelta = saved_[5];
        SetLogFilePath("");
        SetLogFileLevel(75);
        SetSettingsFilePath("");
        ClearDataFolderOverride();
        SetLanguage(savedLanguage_);
    }

    BoxManager& MakeManager(std::chrono::milliseconds statusPostInterval = std::chrono::milliseconds(50)) {
        BoxManagerServices services;
        services.events = &events_;
        services.sounds = &sounds_;
        services.prompt = &prompt_;
        services.statusPostInterval = statusPostInterval;
        services.statusChanged = [this](int box, BoxStatus status, const std::string&) {
            status_[static_cast<std::size_t>(box - 1)] = status;
        };
        // The station's refresh timer, fired at once.
        services.scheduleStatusRefresh = [this] { manager_->RefreshAllStatus(); };
        manager_ = std::make_unique<BoxManager>(std::move(services));
        manager_->LoadAllSlots();  // from empty settings: no box declared
        return *manager_;
    }

    // Starts a simulated reader and points the box at it.
    sim::Simulator& AddReader(int boxNumber, const SimSettings& settings, const std::string& detectorId = "31") {
        sim::Options options;
        options.model = settings.model;
        options.port = 0;
        options.side_port = 0;
        options.rate = settings.rate;
        options.count = settings.count;
        options.chip_count = settings.chips;
        options.date = settings.date;
        options.start_paused = settings.paused;
        options.quiet = true;
        auto reader = std::make_unique<sim::Simulator>(options);
        std::string error;
        EXPECT_TRUE(reader->Start(&error)) << error;
        COrvexBox& box = manager_->Box(boxNumber);
        box.SetAddress(BoxAddress{detectorId, "127.0.0.1", reader->port()});
        box.SetSidePort(reader->side_port());
        sims_.push_back(std::move(reader));
        return *sims_.back();
    }

    // The station's event loop, until `done` holds.
    bool Pump(const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        return events_.PumpUntil([this](int box, bool unexpected) { manager_->OnBoxConnectionEvent(box, unexpected); },
                                 done, deadline);
    }

    std::string Log() const { return ReadWholeFile(logPath_); }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
    std::size_t LogCount(const std::string& text) const {
        const std::string log = Log();
        std::size_t count = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

    // The detection file's lines, split into their tab-separated fields.
    std::vector<std::vector<std::string>> DetectionLines() const {
        std::vector<std::vector<std::string>> lines;
        std::istringstream in(ReadWholeFile(detectionPath_));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::vector<std::string> fields;
            std::istringstream fieldsIn(line);
            for (std::string field; std::getline(fieldsIn, field, '\t');) fields.push_back(field);
            lines.push_back(std::move(fields));
        }
        return lines;
    }

    BoxStatus Status(int box) const { return status_[static_cast<std::size_t>(box - 1)]; }

    ScratchDir scratch_;
    std::string logPath_;
    std::string detectionPath_;
    QueuedStationEvents events_;
    RecordingStationEvents sounds_;
    RecordingPrompt prompt_;
    std::array<BoxStatus, 4> status_{BoxStatus::Undefined, BoxStatus::Undefined, BoxStatus::Undefined,
                                     BoxStatus::Undefined};
    std::vector<std::unique_ptr<sim::Simulator>> sims_;
    std::unique_ptr<BoxManager> manager_;  // after the readers' list: destroyed first
    std::array<int, 6> saved_{};
    Language savedLanguage_ = Language::French;
};

}  // namespace winorvex::test
