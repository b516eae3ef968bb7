// The live path end to end: simulated readers on loopback -> the station (no windows) -> the
// simulated results program over the direct connection. Reports the reads per second that reach
// the results program and the latency from the reader's write of a read to the results program's
// receipt of its "AddRixClock" line (p50 / p99), and checks that every read sent arrived once.
//
//   live_path_latency_bench [--boxes N] [--rate R] [--count N]     (rate per box; 0: full speed)
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/station.h"
#include "chip_source.h"
#include "core/folders.h"
#include "core/settings.h"
#include "detections/result_list.h"
#include "results_link/direct_connection.h"
#include "results_sim.h"
#include "simulator.h"
#include "station_bench_setup.h"

namespace {

using namespace winorvex;
using bench::RunUntil;
using bench::SilentPrompt;
using Clock = std::chrono::steady_clock;

// seq -> send time of one reader's latency log.
std::vector<std::int64_t> SendTimes(const std::string& path) {
    std::vector<std::int64_t> times;
    std::ifstream in(path);
    std::uint64_t seq = 0;
    std::int64_t ns = 0;
    while (in >> seq >> ns) {
        if (seq >= times.size()) times.resize(seq + 1, 0);
        times[seq] = ns;
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    int boxes = 1;
    double rate = 2000;
    std::uint32_t count = 10000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--boxes" && i + 1 < argc) {
            boxes = std::atoi(argv[++i]);
        } else if (arg == "--rate" && i + 1 < argc) {
            rate = std::atof(argv[++i]);
        } else if (arg == "--count" && i + 1 < argc) {
            count = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: live_path_latency_bench [--boxes N] [--rate R] [--count N]\n");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    // One chip per read: chip n is bib 1000 + n, so a read is known by its detector and bib.
    const std::string folder = bench::MakeDataFolder("winorvex-latency", count);
    results_sim::Options resultsOptions;
    resultsOptions.port = 0;
    resultsOptions.quiet = true;
    results_sim::ResultsSimulator results(resultsOptions);
    std::string error;
    if (!results.Start(error)) {
        std::fprintf(stderr, "results simulator: %s\n", error.c_str());
        return 1;
    }
    const std::string ini = folder + "/WinORVEX.ini";
    WriteSettingInt("Settings", "GOrvexIgnoreInputMsDelta", 0, ini);
    WriteSettingText("DirectConnection", "Host", "127.0.0.1", ini);
    WriteSettingInt("DirectConnection", "Port", results.port(), ini);
    std::vector<std::unique_ptr<sim::Simulator>> readers;
    for (int b = 0; b < boxes; ++b) {
        sim::Options options;
        options.port = 0;
        options.side_port = 0;
        options.rate = rate;
        options.count = count;
        options.chip_count = count;
        options.start_paused = true;
        options.quiet = true;
        options.latency_log = folder + "/latency-" + std::to_string(b) + ".log";
        if (bench::AddReader(readers, options, ini, b) == nullptr) return 1;
    }

    SilentPrompt prompt;
    StationServices services;
    services.prompt = &prompt;
    StationOptions stationOptions;
    stationOptions.headless = true;
    stationOptions.connectAtStart = true;
    stationOptions.directAtStart = true;
    Station station(services, stationOptions);
    if (station.Start() != StartOutcome::Ready || !station.InitialiseWindow()) return 1;
    if (!RunUntil([&] { return station.Link().IsDirectConnected(); }, std::chrono::seconds(20))) {
        std::fprintf(stderr, "the direct connection did not come up\n");
        return 1;
    }
    const auto start = Clock::now();
    for (auto& reader : readers) reader->Resume();
    const std::uint64_t total = static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(boxes);
    const bool all = RunUntil([&] { return results.GetCounts().detections >= total; }, std::chrono::seconds(300));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const results_sim::Counts counts = results.GetCounts();
    station.RunExitProcedure(false);
    for (auto& reader : readers) reader->Stop();

    const std::map<std::string, std::int64_t> receipts = results.FirstReceipts();
    std::vector<double> latencies;
    for (int b = 0; b < boxes; ++b) {
        const std::vector<std::int64_t> sent = SendTimes(folder + "/latency-" + std::to_string(b) + ".log");
        for (std::size_t seq = 0; seq < sent.size(); ++seq) {
            const auto found = receipts.find(std::to_string(31 + b) + "\t" + std::to_string(1001 + seq % count));
            if (found != receipts.end() && sent[seq] != 0) latencies.push_back((found->second - sent[seq]) / 1e6);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(q * latencies.size()))];
    };
    std::printf(
        "%d box%s at %s: %llu of %llu detections received (%llu duplicates) in %.2f s, %.0f reads/s; "
        "latency p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
        boxes, boxes > 1 ? "es" : "",
        rate > 0 ? (std::to_string(static_cast<int>(rate)) + " reads/s each").c_str() : "full speed",
        static_cast<unsigned long long>(counts.distinct), static_cast<unsigned long long>(total),
        static_cast<unsigned long long>(counts.duplicates), elapsed, counts.detections / elapsed, at(0.50), at(0.99),
        latencies.empty() ? 0.0 : latencies.back());
    std::filesystem::remove_all(folder);
    return all && counts.duplicates == 0 && counts.distinct == total ? 0 : 1;
}
