#pragma once
// What the whole-station harnesses share: a scratch data folder with a chip table, simulated
// readers declared as boxes, an operator who answers every question with its default, and a
// wait that runs the station's event loop.
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chip_source.h"
#include "core/folders.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "simulator.h"

namespace winorvex::bench {

class SilentPrompt final : public OperatorPrompt {
public:
    bool AskYesNo(std::string_view, bool defaultYes) override { return defaultYes; }
    void Warn(std::string_view) override {}
    void Inform(std::string_view) override {}
};

inline bool RunUntil(const std::function<bool()>& done, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A fresh data folder (also the command service's folder) with chips 1..chips as bibs 1001...
inline std::string MakeDataFolder(const std::string& name, std::uint32_t chips) {
    const std::string folder =
        (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    SetDataFolderOverride(folder);
    std::ofstream table(folder + "/OrvexTable.dtb");
    for (std::uint32_t n = 1; n <= chips; ++n) {
        const sim::ChipId chip = sim::GeneratedChip(n);
        table << 1000 + n << ' ' << std::string(chip.data(), chip.size()) << "\r\n";
    }
    return folder;
}

// Starts a reader and declares it as box index + 1 (detector 31 + index); null when it cannot start.
inline sim::Simulator* AddReader(std::vector<std::unique_ptr<sim::Simulator>>& readers, const sim::Options& options,
                                 const std::string& ini, int index) {
    readers.push_back(std::make_unique<sim::Simulator>(options));
    std::string error;
    if (!readers.back()->Start(&error)) {
        std::fprintf(stderr, "reader simulator: %s\n", error.c_str());
        return nullptr;
    }
    const std::string i = std::to_string(index);
    WriteSettingText("OrvexBoxes", "BoxHost" + i, "127.0.0.1", ini);
    WriteSettingInt("OrvexBoxes", "BoxPort" + i, readers.back()->port(), ini);
    WriteSettingText("OrvexBoxes", "BoxIdDetector" + i, std::to_string(31 + index), ini);
    WriteSettingInt("OrvexBoxes", "BoxSidePort" + i, readers.back()->side_port(), ini);
    return readers.back().get();
}

}  // namespace winorvex::bench
