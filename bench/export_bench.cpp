// The export on a large race: the copy of the result list (and how long recorders wait for its
// lock meanwhile), the statistics, the writing of the files, the archive, and the growth of the
// gap filter and pass selection with the number of passages per runner.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "core/settings.h"
#include "detections/result_list.h"
#include "export/export_run.h"
#include "export/pass_stats.h"
#include "export/work_result.h"
#include "export/zip_dir.h"

namespace {

using namespace winorvex;
namespace fs = std::filesystem;

constexpr int kDetections = 1000000;
constexpr int kRunners = 20000;
constexpr int kDetectors = 4;

// CPU time of the calling thread: the machine is shared, so wall times include other people's work.
double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks + mallinfo2().hblkhd;
}

// A scratch folder with a settings file (the handicaps are read from it), removed at exit.
struct Scratch {
    Scratch() {
        folder = fs::temp_directory_path() / ("winorvex-export-bench-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        SetSettingsFilePath((folder / "WinORVEX.ini").string());
        SetZipDiagnosticStream(nullptr);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    fs::path folder;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

// A race: every runner passes the four detectors once per lap, about 12 laps of 10 minutes,
// the runners spread over the lap; times of day with hundredths.
void FillResultList() {
    if (CountActiveResults() == kDetections) return;
    ClearResults();
    char bib[16];
    char detector[8];
    for (int i = 0; i < kDetections; ++i) {
        const int runner = i % kRunners;
        const int pass = i / kRunners;  // 0 .. 49: lap * 4 + detector
        const int lap = pass / kDetectors;
        const int det = pass % kDetectors;
        std::snprintf(bib, sizeof bib, "%d", runner + 1);
        std::snprintf(detector, sizeof detector, "%d", 31 + det);
        const int hundredths = 3600000 + lap * 60000 + det * 15000 + runner * 3;
        AddResult(detector, bib, CChrono(),
                  CChrono(hundredths / 100, static_cast<std::uint16_t>(hundredths % 100 * 10)), false, false);
    }
}

// The copy, with a second thread probing the list's lock as a recorder would.
void BM_CopyResults(benchmark::State& state) {
    FillResultList();
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        const std::size_t before = HeapInUse();
        std::atomic<bool> stop{false};
        std::atomic<std::int64_t> longestWaitUs{0};
        std::thread prober([&] {
            while (!stop.load()) {
                const auto start = std::chrono::steady_clock::now();
                benchmark::DoNotOptimize(CountActiveResults());
                const auto waited =
                    std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
                        .count();
                if (waited > longestWaitUs.load()) longestWaitUs = waited;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        state.ResumeTiming();

        CWorkResultList copy;
        const double stepStart = ThreadCpuMs();
        std::chrono::nanoseconds held{};
        CopyRecordsUnderLock(copy, "", &held);
        const double stepCpu = ThreadCpuMs() - stepStart;
        DeriveResults(copy, 0);

        state.PauseTiming();
        stop = true;
        prober.join();
        state.counters["copy_step_cpu_ms"] = stepCpu;
        state.counters["lock_held_ms"] = std::chrono::duration<double, std::milli>(held).count();
        state.counters["bytes_per_result"] = static_cast<double>(HeapInUse() - before) / copy.size();
        state.counters["sizeof_result"] = sizeof(CWorkResult);
        state.counters["longest_lock_wait_ms"] = static_cast<double>(longestWaitUs.load()) / 1000.0;
        benchmark::DoNotOptimize(copy.data());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CopyResults)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_Statistics(benchmark::State& state) {
    FillResultList();
    CWorkResultList copy;
    CopyResults(copy, "");
    const WorkResultPointers all = PointersTo(copy);
    for (auto _ : state) {
        const auto stats = ComputeDetectorStatistics(all, CChrono(60, 0), true);
        benchmark::DoNotOptimize(stats.data());
        int files = 0;
        for (const auto& entry : stats) files += entry.line.maxPass;
        state.counters["files"] = files;
    }
}
BENCHMARK(BM_Statistics)->Iterations(3)->Unit(benchmark::kMillisecond);

// The whole export as "Exporter maintenant" runs it: copy, statistics, files (and archive).
void BM_WholeExport(benchmark::State& state) {
    FillResultList();
    const bool archive = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path out = TheScratch().folder / "out";
        std::error_code ec;
        fs::remove_all(out, ec);
        fs::create_directories(out);
        state.ResumeTiming();

        const double start = ThreadCpuMs();
        CWorkResultList copy;
        CopyResults(copy, "");
        ExportOptions options;
        options.gap = CChrono(60, 0);
        options.folder = out.string();
        options.genericName = "export";
        options.archive = archive;
        options.quiet = true;
        const ExportReport report = RunLinesExport(copy, options, nullptr, nullptr);

        state.PauseTiming();
        state.counters["thread_cpu_ms"] = ThreadCpuMs() - start;
        if (!report.AllWritten()) state.SkipWithError("export failed");
        std::uintmax_t bytes = 0;
        for (const auto& entry : fs::directory_iterator(out)) bytes += entry.is_regular_file() ? entry.file_size() : 0;
        state.counters["files"] = static_cast<double>(report.written.size());
        state.counters["MB_on_disk"] = static_cast<double>(bytes) / 1e6;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WholeExport)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// Growth: one million results with P passages per runner (N / P runners, one detector), and one
// million spread over 100 detectors. Gap filter, grouping and every pass split.
void BM_Growth(benchmark::State& state) {
    constexpr int kN = 1000000;
    const int passages = static_cast<int>(state.range(0));
    const int detectors = static_cast<int>(state.range(1));
    const int runners = kN / passages;
    CWorkResultList results;
    results.reserve(kN);
    for (int i = 0; i < kN; ++i) {
        CRixResult record;
        record.bib = std::to_string(i % runners + 1);
        record.detector = std::to_string(i % detectors + 1);
        const int pass = i / runners;
        const int hundredths = 3600000 + pass * 12000 + (i % runners) % 6000;  // passes two minutes apart
        record.timeText =
            CChrono(hundredths / 100, static_cast<std::uint16_t>(hundredths % 100 * 10)).FormatDailyHundredths();
        record.serial = static_cast<std::uint32_t>(i + 1);
        results.emplace_back(record);
    }
    const WorkResultPointers all = PointersTo(results);
    for (auto _ : state) {
        const auto stats = ComputeDetectorStatistics(all, CChrono(60, 0), true);
        benchmark::DoNotOptimize(stats.data());
        int maxPass = 0;
        for (const auto& entry : stats) maxPass = std::max(maxPass, entry.line.maxPass);
        state.counters["maxPass"] = maxPass;
    }
    state.counters["ns_per_result"] = benchmark::Counter(
        static_cast<double>(kN), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Growth)
    ->Args({1, 1})
    ->Args({10, 1})
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Args({10, 100})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    TheScratch();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ClearResults();
    return 0;
}
