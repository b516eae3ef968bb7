// Chip lookups on a race-sized table, and the load of its file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "chips/chip_table.h"

namespace {

constexpr int kEntries = 10000;

std::string ChipOf(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "058003%06llX", static_cast<unsigned long long>(i) * 7919ULL % 0xFFFFFFULL);
    return text;
}

// A 10 000-line table file, written once and removed at exit.
struct TableFile {
    std::string path =
        (std::filesystem::temp_directory_path() / ("winorvex-chip-bench-" + std::to_string(::getpid()) + ".dtb"))
            .string();
    TableFile() {
        std::ofstream out(path, std::ios::binary);
        for (int i = 1; i <= kEntries; ++i) out << i << ' ' << ChipOf(i) << "\r\n";
    }
    ~TableFile() { std::remove(path.c_str()); }
};

const TableFile& TheFile() {
    static const TableFile file;
    return file;
}

void BM_FindBibHit(benchmark::State& state) {
    winorvex::ReadChipTableFile(TheFile().path);
    std::vector<std::string> chips;
    for (int i = 1; i <= kEntries; ++i) chips.push_back(ChipOf(i));
    std::size_t next = 0;
    for (auto _ : state) {
        std::int32_t bib = 0;
        benchmark::DoNotOptimize(winorvex::FindBib(chips[next], bib));
        benchmark::DoNotOptimize(bib);
        next = next + 1 == chips.size() ? 0 : next + 1;
    }
}
BENCHMARK(BM_FindBibHit);

void BM_FindBibMiss(benchmark::State& state) {
    winorvex::ReadChipTableFile(TheFile().path);
    std::vector<std::string> chips;
    for (int i = 1; i <= kEntries; ++i) chips.push_back("FFFF" + ChipOf(i));
    std::size_t next = 0;
    for (auto _ : state) {
        std::int32_t bib = 0;
        benchmark::DoNotOptimize(winorvex::FindBib(chips[next], bib));
        benchmark::DoNotOptimize(bib);
        next = next + 1 == chips.size() ? 0 : next + 1;
    }
}
BENCHMARK(BM_FindBibMiss);

void BM_FindChip(benchmark::State& state) {
    winorvex::ReadChipTableFile(TheFile().path);
    int bib = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(winorvex::FindChip(bib));
        bib = bib == kEntries ? 1 : bib + 1;
    }
}
BENCHMARK(BM_FindChip);

void BM_LoadTableFile(benchmark::State& state) {
    const std::string& path = TheFile().path;
    for (auto _ : state) benchmark::DoNotOptimize(winorvex::ReadChipTableFile(path));
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LoadTableFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
