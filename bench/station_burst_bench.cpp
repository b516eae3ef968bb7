// A start-line burst through the whole station: four simulated readers on loopback, each at a fixed
// rate for a while and then as fast as the link takes them, into the station with its main window
// on the offscreen platform (when built with the windows). Reports the reads recorded per second,
// whether any was lost, the longest stall of the station's event loop and the panes' sizes.
//
//   station_burst_bench [--boxes N] [--rate R] [--seconds S] [--burst N] [--no-window]
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/detections_list_model.h"
#include "app/log_list_model.h"
#include "app/station.h"
#include "chip_source.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "detections/result_list.h"
#include "simulator.h"
#include "station_bench_setup.h"
#ifdef WINORVEX_BENCH_WINDOW
#include "ui/main_window.h"
#endif

namespace {

using namespace winorvex;
using bench::RunUntil;
using bench::SilentPrompt;
using Clock = std::chrono::steady_clock;

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

// The longest time the event loop did not come back to a 5 ms timer.
class StallMeter : public QObject {
public:
    StallMeter() {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const qint64 gap = clock_.restart();
            if (gap > longest_) longest_ = gap;
        });
        clock_.start();
        timer_.start();
    }
    void Reset() {
        longest_ = 0;
        clock_.restart();
    }
    qint64 LongestMs() const { return longest_ > 5 ? longest_ - 5 : 0; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int boxes = 4;
    double rate = 5000;
    int seconds = 20;
    std::uint64_t burst = 200000;
    bool window = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--boxes" && i + 1 < argc)
            boxes = std::atoi(argv[++i]);
        else if (arg == "--rate" && i + 1 < argc)
            rate = std::atof(argv[++i]);
        else if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (arg == "--burst" && i + 1 < argc)
            burst = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--no-window")
            window = false;
        else {
            std::fprintf(stderr,
                         "usage: station_burst_bench [--boxes N] [--rate R] [--seconds S] [--burst N] [--no-window]\n");
            return 2;
        }
    }
#ifndef WINORVEX_BENCH_WINDOW
    window = false;
#endif
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::unique_ptr<QCoreApplication> app;
    if (window) {
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    const std::string folder = bench::MakeDataFolder("winorvex-burst", 5000);
    const std::string ini = folder + "/WinORVEX.ini";
    // Every read of the burst is a new passage: no repeat gap drops one.
    WriteSettingInt("Settings", "GOrvexIgnoreInputMsDelta", 0, ini);
    WriteSettingInt("Settings", "GOrvexReadMsDelta", 1, ini);
    const std::uint64_t paced = static_cast<std::uint64_t>(rate * seconds);
    std::vector<std::unique_ptr<sim::Simulator>> readers;
    for (int b = 0; b < boxes; ++b) {
        sim::Options options;
        options.port = 0;
        options.side_port = 0;
        options.rate = rate;
        options.count = paced;
        options.chip_count = 5000;
        options.quiet = true;
        if (bench::AddReader(readers, options, ini, b) == nullptr) return 1;
    }

    SilentPrompt prompt;
    StationServices services;
    services.prompt = &prompt;
    Station station(services, StationOptions{});
    if (station.Start() != StartOutcome::Ready || !station.InitialiseWindow()) return 1;
#ifdef WINORVEX_BENCH_WINDOW
    std::unique_ptr<MainWindow> main;
    if (window) {
        main = std::make_unique<MainWindow>(station);
        main->resize(1280, 800);
        main->show();
    }
#endif
    StallMeter stalls;
    station.ConnectAllBoxes();

    // Phase 1: the paced start line.
    const std::uint64_t phase1 = paced * static_cast<std::uint64_t>(boxes);
    auto start = Clock::now();
    stalls.Reset();
    const bool all1 = RunUntil([&] { return ResultCount() >= phase1; }, std::chrono::seconds(seconds * 3 + 30));
    const double elapsed1 = std::chrono::duration<double>(Clock::now() - start).count();
    const qint64 stall1 = stalls.LongestMs();

    // Phase 2: every reader sends its burst as fast as the link takes it.
    for (auto& reader : readers) {
        reader->SetRate(0);
        reader->SendReads(burst);
    }
    start = Clock::now();
    stalls.Reset();
    const std::uint64_t total = phase1 + burst * static_cast<std::uint64_t>(boxes);
    const bool all2 = RunUntil([&] { return ResultCount() >= total; }, std::chrono::seconds(120));
    const double elapsed2 = std::chrono::duration<double>(Clock::now() - start).count();
    const qint64 stall2 = stalls.LongestMs();
    // Let the panes take what is left.
    RunUntil([] { return false; }, std::chrono::seconds(1));

    std::printf("window: %s, boxes: %d\n", window ? "yes (offscreen)" : "no", boxes);
    std::printf(
        "paced  %d x %.0f reads/s for %d s: %llu of %llu recorded in %.2f s (%.0f reads/s), longest stall %lld ms\n",
        boxes, rate, seconds, static_cast<unsigned long long>(std::min<std::uint64_t>(ResultCount(), phase1)),
        static_cast<unsigned long long>(phase1), elapsed1, phase1 / elapsed1, static_cast<long long>(stall1));
    std::printf(
        "burst  %d x %llu reads at full speed: %llu of %llu recorded in %.2f s (%.0f reads/s), longest stall %lld ms\n",
        boxes, static_cast<unsigned long long>(burst), static_cast<unsigned long long>(ResultCount() - phase1),
        static_cast<unsigned long long>(total - phase1), elapsed2, (total - phase1) / elapsed2,
        static_cast<long long>(stall2));
    std::printf("lost: %s; detections pane %d lines, log window %d lines, resident memory %ld kB\n",
                (all1 && all2 && ResultCount() == total) ? "none" : "SOME", station.Detections().rowCount(),
                station.LogLines().rowCount(), ResidentKilobytes());
    station.RunExitProcedure(false);
    readers.clear();
    std::filesystem::remove_all(folder);
    return all1 && all2 ? 0 : 1;
}
