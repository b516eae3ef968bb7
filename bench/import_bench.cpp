// The reader-log import at race scale: a 1 000 000-line log (10 000 chips over two days, bursts of
// three reads per passing, 1 % abnormal lines, markers) searched for one day and purged; a window
// that holds nothing (lines outside it must cost no allocation); and 1 000 000 detections
// imported into the result list and saved to a file. Heap use is measured by replacing the global
// operator new (bytes held now and at the peak); `grep -c '^aa'` on the same file is the raw limit.
//
//   import_bench [--keep FILE]   (FILE: where the generated log is written and left)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "chips/chip_table.h"
#include "core/log.h"
#include "core/texts.h"
#include "detections/result_list.h"
#include "import/import_output.h"
#include "import/log_search.h"

extern char** environ;

namespace {

// Every block carries its size in front, so the bytes held are known exactly at any moment.
constexpr std::size_t kHeader = 16;
std::atomic<std::int64_t> g_held{0};
std::atomic<std::int64_t> g_peak{0};
std::atomic<std::uint64_t> g_allocations{0};

void* Allocate(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, &size, sizeof size);
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const std::int64_t held = g_held.fetch_add(static_cast<std::int64_t>(size)) + static_cast<std::int64_t>(size);
    std::int64_t peak = g_peak.load();
    while (held > peak && !g_peak.compare_exchange_weak(peak, held)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* p) {
    if (p == nullptr) return;
    char* block = static_cast<char*>(p) - kHeader;
    std::size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    g_held.fetch_sub(static_cast<std::int64_t>(size));
    std::free(block);
}

}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace winorvex {
namespace {

constexpr int kLines = 1000000;
constexpr int kChips = 10000;
constexpr int kRuns = 3;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string Chip(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "0580%08X", n + 1);
    return text;
}

void AppendFramed(std::string& out, const char* prefix, const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum += static_cast<unsigned char>(c);
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02x", sum % 256);
    out.append(prefix).append(body).append(checksum).append("\r\n");
}

// 18 and 19 May 2024, from 06:00 to 22:00 each day; each passing is three reads 20 ms apart.
std::string MakeLog(int& tagLines) {
    std::string log;
    log.reserve(static_cast<std::size_t>(kLines) * 42);
    const long perDay = kLines / 2;
    const long spanHundredths = 16L * 3600 * 100;
    tagLines = 0;
    for (long i = 0; i < kLines; ++i) {
        const int day = i < perDay ? 18 : 19;
        const long inDay = i % perDay;
        if (i % 100 == 99) {
            switch ((i / 100) % 4) {
                case 0:
                    log += "aa01058000000001garbage-with-a-bad-checksum00\r\n";
                    break;
                case 1:
                    log += "aa0105800000000";
                    log += "\r\n";
                    break;
                case 2:
                    AppendFramed(log, "ab", "00774b0000");
                    break;
                default:
                    log += "power failure, reader restarted\r\n";
                    break;
            }
            continue;
        }
        if (i % 10000 == 5000) {
            char marker[64];
            std::snprintf(marker, sizeof marker, "KMark-202405%02d%02ld0000:Wave %ld\r\n", day, 6 + inDay * 16 / perDay,
                          i / 10000);
            log += marker;
            continue;
        }
        const long passing = inDay / 3;
        const long hundredths = 6L * 3600 * 100 + passing * 3 * spanHundredths / perDay + (inDay % 3) * 2;
        const long seconds = hundredths / 100;
        char body[48];
        std::snprintf(body, sizeof body, "01%s0a0b2405%02d%02ld%02ld%02ld%02lx",
                      Chip(static_cast<int>(passing % kChips)).c_str(), day, seconds / 3600, seconds / 60 % 60,
                      seconds % 60, hundredths % 100);
        AppendFramed(log, "aa", body);
        ++tagLines;
    }
    return log;
}

class Quiet final : public ImportObserver {};

struct SearchFigures {
    double seconds = 0;
    std::size_t before = 0;
    std::size_t after = 0;
    std::uint64_t lines = 0;
    std::uint64_t abnormal = 0;
    std::int64_t peakBytes = 0;
    std::uint64_t allocations = 0;
};

SearchFigures TimeSearch(const std::string& path, const LogSearchSettings& settings, const char* date) {
    SearchFigures best;
    for (int run = 0; run < kRuns; ++run) {
        LogSearchRequest request;
        request.path = path;
        request.midnight.SetFromReaderStamp(date, "000000", 0);
        request.start = request.midnight;
        request.end.SetFromReaderStamp(date, "235959", 0);
        Quiet quiet;
        const std::int64_t base = g_held.load();
        g_peak.store(base);
        const std::uint64_t allocations = g_allocations.load();
        const auto start = Clock::now();
        LogSearchResult result = SearchReaderLog(request, settings, quiet, nullptr);
        const double seconds = Seconds(Clock::now() - start);
        if (run == 0 || seconds < best.seconds) {
            best.seconds = seconds;
            best.before = result.foundBeforePurge;
            best.after = result.found.size();
            best.lines = result.lines;
            best.abnormal = result.abnormalEvents;
            best.peakBytes = g_peak.load() - base;
            best.allocations = g_allocations.load() - allocations;
        }
    }
    return best;
}

double RawLimit(const std::string& path) {
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        std::string grep = "grep";
        std::string count = "-c";
        std::string pattern = "^aa";
        std::string file = path;
        char* argv[] = {grep.data(), count.data(), pattern.data(), file.data(), nullptr};
        const auto start = Clock::now();
        pid_t pid = -1;
        int status = 0;
        if (posix_spawnp(&pid, "grep", &actions, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
        const double seconds = Seconds(Clock::now() - start);
        posix_spawn_file_actions_destroy(&actions);
        if (run == 0 || seconds < best) best = seconds;
    }
    return best;
}

int Main(int argc, char** argv) {
    SetLanguage(Language::English);
    SetLogWindowAttached(false);
    SetLogFilePath("");
    std::string path = "/tmp/winorvex_import_bench.log";
    const bool keep = argc == 3 && std::string(argv[1]) == "--keep";
    if (keep) path = argv[2];

    int tagLines = 0;
    {
        const std::string log = MakeLog(tagLines);
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(log.data(), 1, log.size(), file) != log.size() || std::fclose(file) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("log: %s, %d lines, %d tag reads, %zu bytes\n", path.c_str(), kLines, tagLines, log.size());
    }

    std::vector<ChipTable::Entry> entries;
    for (int n = 0; n < kChips; ++n) entries.push_back({Chip(n), n + 1});
    LogSearchSettings settings;
    settings.translate = true;
    settings.ignoreUnknownTags = false;
    settings.msDelta = 50;
    settings.extendedStatus = true;
    settings.showAbnormalEvents = false;
    settings.today = 20240520;
    settings.chips = BuildChipTable(std::move(entries));

    const SearchFigures day = TimeSearch(path, settings, "20240518");
    std::printf("search + purge, one day of two: %.3f s (%.0f lines/s), %zu found, %zu after purge, %llu abnormal\n",
                day.seconds, static_cast<double>(day.lines) / day.seconds, day.before, day.after,
                static_cast<unsigned long long>(day.abnormal));
    std::printf("  peak heap during the search: %lld bytes = %.1f bytes per found detection\n",
                static_cast<long long>(day.peakBytes),
                static_cast<double>(day.peakBytes) / static_cast<double>(day.before));
    const SearchFigures none = TimeSearch(path, settings, "20240517");
    std::printf("search, window holding nothing: %.3f s, %llu allocations, peak heap %lld bytes\n", none.seconds,
                static_cast<unsigned long long>(none.allocations), static_cast<long long>(none.peakBytes));
    settings.showAbnormalEvents = true;
    const SearchFigures shown = TimeSearch(path, settings, "20240518");
    std::printf("search + purge with every abnormal event shown: %.3f s\n", shown.seconds);

    std::printf("raw limit, grep -c '^aa' on the same file: %.3f s\n", RawLimit(path));
    if (!keep) ::unlink(path.c_str());

    // 1 000 000 found detections, as a search of a busy day would leave them.
    FoundDetections found;
    for (int i = 0; i < kLines; ++i) {
        const int seconds = 6 * 3600 + i / 20;
        CChrono absolute;
        absolute.SetFromReaderStamp("20240518", "000000", 0);
        found.emplace_back(CChrono(seconds, static_cast<std::uint16_t>(i % 20 * 50)),
                           absolute + CChrono(seconds, static_cast<std::uint16_t>(i % 20 * 50)), Chip(i % kChips));
    }
    ImportOrder order{ImportAction::Import, "C12", 1, {}, {"bench"}};
    Quiet quiet;
    ClearResults();
    auto start = Clock::now();
    RunImportOrder(order, found, false, quiet, nullptr);
    std::printf("import 1 000 000 into the result list: %.3f s (%zu records)\n", Seconds(Clock::now() - start),
                ResultCount());
    ClearResults();

    order.action = ImportAction::Save;
    order.outputPath = "/tmp/winorvex_import_bench.rix";
    start = Clock::now();
    const ImportRunResult saved = RunImportOrder(order, found, false, quiet, nullptr);
    std::printf("save 1 000 000 to a file: %.3f s (%s)\n", Seconds(Clock::now() - start),
                saved.completed ? "complete" : saved.error.c_str());
    ::unlink(order.outputPath.c_str());
    return 0;
}

}  // namespace
}  // namespace winorvex

int main(int argc, char** argv) {
    return winorvex::Main(argc, argv);
}
