// The per-line path of one box on one thread: recognition, decoding with a 10 000-chip table,
// filters, recording with its detection-file line, and reads dropped by the repeat gap.
// Heap allocations are counted by replacing the global operator new, and reported per read.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "chips/chip_table.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "detections/detection_file.h"
#include "detections/detection_pipeline.h"
#include "detections/reader_line.h"
#include "detections/result_list.h"

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

// The replacements below pair malloc with free on purpose; the compiler cannot tell they replace
// the global operators and warns about a mismatch once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace winorvex {
namespace {

constexpr int kChips = 10000;
constexpr std::size_t kResultsBeforeReset = 200000;

std::string Checksum(std::string_view characters) {
    unsigned sum = 0;
    for (const char c : characters) sum += static_cast<unsigned char>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02x", sum % 256);
    return text;
}

std::string ChipName(int n) {
    char text[13];
    std::snprintf(text, sizeof text, "0580%08X", n);
    return text;
}

// A reader line of chip n at a time of day given in hundredths, as it comes off the wire.
std::string TagLine(int chip, long hundredths) {
    const long seconds = hundredths / 100;
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02ld%02ld%02ld%02lx", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60,
                  hundredths % 100);
    const std::string body = "01" + ChipName(chip) + "0000" + "240518" + stamp;
    return "aa" + body + Checksum(body) + "\r";
}

// A scratch data folder with settings, a chip table, the log file and a detection file.
class Station {
public:
    Station() {
        char pattern[] = "/tmp/winorvex-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        folder_ = pattern;
        SetSettingsFilePath(folder_ + "/WinORVEX.ini");
        SetLogWindowAttached(false);
        SetLogFilePath(folder_ + "/WinORVEX.log");
        const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
        for (std::size_t i = 0; i < 4; ++i) RaceDayDates().dates[i] = days[i];
        Settings().sendNumbers = 1;
        Settings().ignoreInputMsDelta = 50;

        std::string table;
        for (int i = 0; i < kChips; ++i) table += std::to_string(i + 1) + " " + ChipName(i) + "\n";
        const std::string tablePath = folder_ + "/OrvexTable.dtb";
        std::FILE* file = std::fopen(tablePath.c_str(), "wb");
        if (file == nullptr) std::abort();
        std::fwrite(table.data(), 1, table.size(), file);
        std::fclose(file);
        if (!ReadChipTableFile(tablePath) || ChipTableCount() != kChips) std::abort();
        OpenDetectionFile(folder_ + "/incoming.dat");
    }
    ~Station() {
        CloseDetectionFile();
        ClearResults();
        ClearChipTable();
        SetLogFilePath("");
        SetSettingsFilePath("");
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

private:
    std::string folder_;
};

Station& TheStation() {
    static Station station;
    return station;
}

LineOutcome Handle(DetectionPipeline& pipeline, const std::string& received) {
    ReaderLine line;
    if (!ClassifyReaderLine(received, line) || line.kind != kLineTagRead) std::abort();
    return pipeline.HandleTagRead(line);
}

// Every read a new passage: chips in turn, a second apart, far more chips than the last-read list.
void BM_AcceptedRead(benchmark::State& state) {
    TheStation();
    SetLogFileLevel(static_cast<int>(state.range(0)));
    ClearResults();
    std::vector<std::string> lines;
    lines.reserve(kChips);
    for (int i = 0; i < kChips; ++i) lines.push_back(TagLine(i, 8L * 360000 + i * 100L));
    CLastBoxDetectionList lastReads;
    DetectionPipeline pipeline({"Box 1 [bench:0 31]", "31", "[bench:0 31]"}, lastReads, PipelineServices{});

    std::size_t next = 0;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = g_allocations.load(std::memory_order_relaxed);
        if (Handle(pipeline, lines[next]) != LineOutcome::Recorded) state.SkipWithError("read not recorded");
        allocations += g_allocations.load(std::memory_order_relaxed) - before;
        if (++next == lines.size()) {
            next = 0;
            lastReads.Clear();
        }
        if (ResultCount() >= kResultsBeforeReset) {
            state.PauseTiming();
            ClearResults();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["allocs_per_read"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
    ClearResults();
}
BENCHMARK(BM_AcceptedRead)->ArgName("log_file_level")->Arg(75)->Arg(50);

// The same chip read again at the same instant: dropped by the repeat gap every time.
void BM_DroppedRead(benchmark::State& state) {
    TheStation();
    SetLogFileLevel(static_cast<int>(state.range(0)));
    CLastBoxDetectionList lastReads;
    DetectionPipeline pipeline({"Box 1 [bench:0 31]", "31", "[bench:0 31]"}, lastReads, PipelineServices{});
    const std::string line = TagLine(42, 9L * 360000);
    Handle(pipeline, line);  // the first read is recorded; every later one is a repeat
    // Warm up once so that buffers that keep their capacity have it.
    Handle(pipeline, line);

    const std::uint64_t before = g_allocations.load(std::memory_order_relaxed);
    for (auto _ : state) {
        if (Handle(pipeline, line) != LineOutcome::Ignored) state.SkipWithError("read not dropped");
    }
    const std::uint64_t allocations = g_allocations.load(std::memory_order_relaxed) - before;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.counters["allocs_per_read"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
    SetLogFileLevel(75);
    ClearResults();
}
BENCHMARK(BM_DroppedRead)->ArgName("log_file_level")->Arg(75)->Arg(50);

}  // namespace
}  // namespace winorvex

BENCHMARK_MAIN();
