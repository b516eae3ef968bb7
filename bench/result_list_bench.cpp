// Recording speed of the result list and its memory cost per record.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "detections/detection_file.h"
#include "detections/result_list.h"

namespace {

using namespace winorvex;

// Heap bytes in use, as the allocator counts them (headers and chunk padding included).
std::size_t HeapInUse() {
    return mallinfo2().uordblks + mallinfo2().hblkhd;
}

// One million records the way a race makes them: short detector and bib texts, daily times.
void BM_MemoryPerRecord(benchmark::State& state) {
    constexpr int kRecords = 1000000;
    char bib[16];
    for (auto _ : state) {
        state.PauseTiming();
        ClearResults();
        malloc_trim(0);
        const std::size_t before = HeapInUse();
        state.ResumeTiming();
        for (int i = 0; i < kRecords; ++i) {
            std::snprintf(bib, sizeof bib, "%d", 1 + i % 5000);
            AddResult("31", bib, CChrono(), CChrono(36000 + i / 100, static_cast<std::uint16_t>(i % 100 * 10)), false,
                      false);
        }
        state.PauseTiming();
        const std::size_t after = HeapInUse();
        state.counters["bytes_per_record"] = static_cast<double>(after - before) / static_cast<double>(kRecords);
        state.counters["sizeof_record"] = static_cast<double>(sizeof(CRixResult));
        ClearResults();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MemoryPerRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

// The live path: append, write the file line, without and with the file.
void BM_AddResult(benchmark::State& state) {
    const bool toFile = state.range(0) != 0;
    std::string path = "/tmp/winorvex-bench-" + std::to_string(::getpid()) + ".dat";
    if (toFile) OpenDetectionFile(path);
    ClearResults();
    std::int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AddResult("31", "1234", CChrono(), CChrono(36000, 250), false, toFile));
        if (++n % 100000 == 0) {
            state.PauseTiming();
            ClearResults();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    CloseDetectionFile();
    ClearResults();
    if (toFile) ::unlink(path.c_str());
}
BENCHMARK(BM_AddResult)->Arg(0)->Arg(1);

void BM_CountActiveResults(benchmark::State& state) {
    ClearResults();
    for (int i = 0; i < 100000; ++i) AddResult("31", "1234", CChrono(), CChrono(36000, 250), false, false);
    for (auto _ : state) benchmark::DoNotOptimize(CountActiveResults());
    ClearResults();
}
BENCHMARK(BM_CountActiveResults);

}  // namespace

BENCHMARK_MAIN();
