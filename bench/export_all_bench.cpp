// Export of all detections during a full-speed recording burst: how long the recorders wait.
// The export copies the active records under the list's lock and writes them outside it, so the
// longest stall of a recorder should be the copy, not the writing of the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "detections/detection_store.h"
#include "detections/result_list.h"

namespace {

using namespace winorvex;
using Clock = std::chrono::steady_clock;

void Fill(int records) {
    ClearResults();
    char bib[16];
    for (int i = 0; i < records; ++i) {
        std::snprintf(bib, sizeof bib, "%d", 1 + i % 5000);
        AddResult("31", bib, CChrono(), CChrono(36000 + i / 100, 0), false, false);
    }
}

// The copy alone, under the lock: the floor of what an export can make a recorder wait.
void BM_CopyActiveResults(benchmark::State& state) {
    Fill(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(CopyActiveResults());
    ClearResults();
}
BENCHMARK(BM_CopyActiveResults)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A recorder adding records as fast as it can while `work` runs; gives its longest single
// AddResult and how many records it added meanwhile.
template <class Work>
void BurstDuring(int records, Work work, double& longestStallUs, double& added) {
    Fill(records);
    std::atomic<bool> stop{false};
    std::atomic<bool> counting{false};
    std::atomic<long long> longestNs{0};
    std::atomic<long> count{0};
    std::thread recorder([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            const auto start = Clock::now();
            AddResult("32", "77", CChrono(), CChrono(40000, 0), false, false);
            if (!counting.load(std::memory_order_relaxed)) continue;
            const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
            if (ns > longestNs.load(std::memory_order_relaxed)) longestNs.store(ns, std::memory_order_relaxed);
            count.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // Let the recorder reach full speed, then count from the work's start.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    counting = true;
    work();
    counting = false;
    stop = true;
    recorder.join();
    longestStallUs = std::max(longestStallUs, static_cast<double>(longestNs.load()) / 1000.0);
    added = static_cast<double>(count.load());
}

// One export while the recorder runs.
void BM_ExportDuringBurst(benchmark::State& state) {
    const std::string path = "/tmp/winorvex-export-bench-" + std::to_string(::getpid()) + ".rix";
    double longestStallUs = 0;
    double added = 0;
    for (auto _ : state) {
        BurstDuring(
            static_cast<int>(state.range(0)), [&] { benchmark::DoNotOptimize(WriteAllResults(path)); }, longestStallUs,
            added);
    }
    state.counters["longest_record_stall_us"] = longestStallUs;
    state.counters["records_added_during_export"] = added;
    ::unlink(path.c_str());
    ClearResults();
}
BENCHMARK(BM_ExportDuringBurst)->Arg(200000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

// The same recorder for the same time with no export: what the machine's scheduling alone costs.
void BM_BurstAlone(benchmark::State& state) {
    double longestStallUs = 0;
    double added = 0;
    for (auto _ : state) {
        BurstDuring(
            static_cast<int>(state.range(0)),
            [&] { std::this_thread::sleep_for(std::chrono::milliseconds(state.range(1))); }, longestStallUs, added);
    }
    state.counters["longest_record_stall_us"] = longestStallUs;
    state.counters["records_added"] = added;
    ClearResults();
}
BENCHMARK(BM_BurstAlone)->Args({200000, 100})->Args({1000000, 350})->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
