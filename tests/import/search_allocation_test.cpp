// Lines outside the window cost the search no allocation: the count of heap allocations of a
// search does not grow with the lines it passes over. Its own executable, since it replaces the
// global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "import/import_test_helpers.h"
#include "support/test_support.h"

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace winorvex::import_test {
namespace {

// Counts the progress reports without keeping them: each is one text made (a few a second at
// most, whatever the number of lines), the only allocation a long search may add.
class CountingObserver final : public ImportObserver {
public:
    int progressReports = 0;
    void OnProgress(std::string_view) override { ++progressReports; }
};

std::uint64_t AllocationsOfSearch(const std::string& path, const LogSearchSettings& settings) {
    LogSearchRequest request = WholeDay(path);
    CountingObserver observer;
    const std::uint64_t before = g_allocations.load();
    const LogSearchResult result = SearchReaderLog(request, settings, observer, nullptr);
    const std::uint64_t used = g_allocations.load() - before;
    EXPECT_TRUE(result.searched);
    EXPECT_TRUE(result.found.empty());
    return used - static_cast<std::uint64_t>(observer.progressReports);
}

TEST(SearchAllocations, LinesOutsideTheWindowCostNothing) {
    test::ScratchDir scratch;
    LogSearchSettings settings = PlainSettings();
    settings.translate = true;
    settings.chips = Chips({{"058000000001", 1}, {"058000000002", 2}});
    settings.showAbnormalEvents = false;
    settings.extendedStatus = true;

    // Reads of the next day (the window is 18 May), with noise and a marker of that day.
    const auto log = [](int repeats) {
        std::string text;
        for (int i = 0; i < repeats; ++i) {
            text += TagLine("058000000001", "240519", "100000", i % 100);
            text += TagLine("058000000002", "240519", "100001", i % 100);
            text += "junk\r\n" + Reply("00774b00") + "KMark-20240519100000:later\r\n" + std::string(600, 'z') + "\n";
        }
        return text;
    };
    const std::uint64_t small = AllocationsOfSearch(scratch.WriteFile("small.log", log(10)), settings);
    const std::uint64_t large = AllocationsOfSearch(scratch.WriteFile("large.log", log(3000)), settings);
    EXPECT_EQ(small, large) << "allocations grew with the lines outside the window";
}

}  // namespace
}  // namespace winorvex::import_test
