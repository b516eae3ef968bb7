// Export of all detections while recorders run at full speed: each export is one whole state of
// the list (copied under its lock, written outside it), and recording goes on meanwhile.
#include <atomic>
#include <thread>

#include "store_fixture.h"

namespace winorvex::test {
namespace {

using ExportDuringBurstTest = StoreFixture;

TEST_F(ExportDuringBurstTest, EachExportIsOneWholeStateOfTheListWhileRecordingGoesOn) {
    constexpr int kBefore = 50000;
    constexpr int kPerRecorder = 20000;
    constexpr int kRecorders = 2;
    for (int i = 0; i < kBefore; ++i) AddDaily("30", std::to_string(i), CChrono(36000, 0), false);

    std::atomic<int> exporting{0};
    std::atomic<int> addedDuringExports{0};
    std::vector<std::thread> recorders;
    for (int t = 0; t < kRecorders; ++t) {
        recorders.emplace_back([&, t] {
            for (int i = 0; i < kPerRecorder; ++i) {
                AddDaily(std::to_string(31 + t), std::to_string(i), CChrono(36001, 0), false);
                if (exporting.load() != 0) addedDuringExports.fetch_add(1);
            }
        });
    }
    std::vector<std::string> exports;
    for (int n = 0; n < 4; ++n) {
        const std::string path = (scratch_.path() / ("export-" + std::to_string(n) + ".rix")).string();
        exporting = 1;
        const bool written = WriteAllResults(path);
        exporting = 0;
        ASSERT_TRUE(written);
        exports.push_back(ReadWholeFile(path));
    }
    for (auto& recorder : recorders) recorder.join();
    RecordProperty("records_added_during_exports", addedDuringExports.load());

    std::vector<std::string> list;
    ForEachResult([&](const CRixResult& r) { list.push_back(r.detector + "/" + r.bib); });
    ASSERT_EQ(list.size(), static_cast<std::size_t>(kBefore + kRecorders * kPerRecorder));
    std::size_t previous = 0;
    for (const std::string& text : exports) {
        const auto lines = CrLfLines(text);
        ASSERT_GE(lines.size(), static_cast<std::size_t>(kBefore));
        ASSERT_GE(lines.size(), previous) << "a later export never holds fewer records";
        previous = lines.size();
        // A prefix of the final list, numbered 1, 2, 3 ... with no gap, no repeat, no torn line.
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto fields = Fields(lines[i]);
            ASSERT_EQ(fields.size(), 6u) << lines[i];
            ASSERT_EQ(fields[0], std::to_string(i + 1));
            ASSERT_EQ(fields[1] + "/" + fields[2], list[i]);
        }
    }
}

}  // namespace
}  // namespace winorvex::test
