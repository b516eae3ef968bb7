// Import into the detection store and save to a ".rix" file.
#include "import/import_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/log.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"
#include "import/import_test_helpers.h"
#include "support/test_support.h"

namespace winorvex::import_test {
namespace {

FoundDetections ThreeReads() {
    FoundDetections found;
    found.emplace_back(CChrono(1 * 3600, 0), Stamp("20240518", "010000"), "501");
    found.emplace_back(CChrono(1 * 3600 + 5, 250), Stamp("20240518", "010005", 25), "058000000002");
    found.emplace_back(CChrono(2 * 3600, 990), Stamp("20240518", "020000", 99), "7");
    return found;
}

std::vector<std::string> LogTexts() {
    std::vector<std::string> texts;
    for (const LogEntry& entry : DrainLogWindowQueue()) texts.push_back(entry.text);
    return texts;
}

class ImportOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        CloseDetectionFile();
        ClearResults();
        SetLogFilePath("");
        SetLogWindowAttached(true);
        DrainLogWindowQueue();
    }
    void TearDown() override {
        SetLogWindowAttached(false);
        CloseDetectionFile();
        ClearResults();
        SetLanguage(Language::French);
    }

    ImportOrder Order(ImportAction action, int days = 0, std::string path = {}) {
        return ImportOrder{
            action, "C12", days, std::move(path), {"Import ELITE detections from file x.log", "heading 2"}};
    }

    test::ScratchDir scratch_;
    RecordingObserver observer_;
    RecordingStationEvents sounds_;
};

TEST(RixOutputPath, AppendsUnlessAlreadyRix) {
    EXPECT_EQ(RixOutputPath("out.txt"), "out.txt.rix");
    EXPECT_EQ(RixOutputPath("OUT.RIX"), "OUT.RIX");
    EXPECT_EQ(RixOutputPath("/a/b.RiX"), "/a/b.RiX");
    EXPECT_EQ(RixOutputPath("rix"), "rix.rix");
    EXPECT_EQ(RixOutputPath("a.rixx"), "a.rixx.rix");
}

TEST_F(ImportOutputTest, ImportAddsDayCorrectionToTheDailyTimeOnly) {
    const std::string detectionFile = scratch_.str() + "/incoming.dat";
    OpenDetectionFile(detectionFile);
    DrainLogWindowQueue();
    const ImportRunResult result =
        RunImportOrder(Order(ImportAction::Import, 2), ThreeReads(), false, observer_, &sounds_);
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.written, 3u);
    const std::vector<CRixResult> records = CopyActiveResults();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].timeText, "49:00:00.00");
    EXPECT_EQ(records[0].detector, "C12");
    EXPECT_EQ(records[0].bib, "501");
    EXPECT_EQ(records[1].timeText, "49:00:05.25");
    EXPECT_EQ(records[2].bib, "7");
    EXPECT_EQ(observer_.countRefreshes, 1);
    EXPECT_EQ(sounds_.Sounds(), std::vector<StationSound>{StationSound::Completion});
    CloseDetectionFile();
    EXPECT_EQ(test::ReadWholeFile(detectionFile), "") << "imported detections stay out of the detection file";

    const std::vector<std::string> expected = {"+++ Import ELITE detections from file x.log", "+++ heading 2",
                                               "+++ 3 detections to import for box C12",
                                               "+++ 48 hours added to detections", "+++ Import done"};
    EXPECT_EQ(LogTexts(), expected);
}

TEST_F(ImportOutputTest, ImportWithTheAbsoluteClockKeepsTheAbsoluteTime) {
    RunImportOrder(Order(ImportAction::Import, 1), ThreeReads(), true, observer_, nullptr);
    const std::vector<CRixResult> records = CopyActiveResults();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].timeText, std::to_string(Stamp("20240518", "010000").Seconds()) + ".0");
    EXPECT_TRUE(records[0].IsAbsolute());
}

TEST_F(ImportOutputTest, CancelledImportSaysHowMany) {
    FoundDetections found;
    for (int i = 0; i < 350; ++i) found.emplace_back(CChrono(i, 0), Stamp("20240518", "010000"), std::to_string(i));
    observer_.cancelAfterChecks = 2;
    const ImportRunResult result = RunImportOrder(Order(ImportAction::Import), found, false, observer_, nullptr);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.written, 300u);
    EXPECT_EQ(CountActiveResults(), 300u);
    const std::vector<std::string> lines = LogTexts();
    EXPECT_EQ(lines.back(), "+++ Import cancelled: 300 of 350 detections imported");
}

TEST_F(ImportOutputTest, SaveWritesCrLfLinesWithTheDailyTime) {
    const std::string path = scratch_.str() + "/out.rix";
    const ImportRunResult result =
        RunImportOrder(Order(ImportAction::Save, 1, path), ThreeReads(), true, observer_, &sounds_);
    EXPECT_TRUE(result.completed) << result.error;
    EXPECT_EQ(test::ReadWholeFile(path),
              "1\tC12\t501\t1\t25:00:00.00\t1\r\n"
              "2\tC12\t058000000002\t1\t25:00:05.25\t1\r\n"
              "3\tC12\t7\t1\t26:00:00.99\t1\r\n");
    EXPECT_EQ(CountActiveResults(), 0u);
    EXPECT_EQ(LogTexts().back(), "+++ File saved");
    EXPECT_EQ(sounds_.Sounds(), std::vector<StationSound>{StationSound::Completion});
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "an ordinary file, not a private temporary";
}

TEST_F(ImportOutputTest, SaveThatCannotCompleteKeepsTheOldFile) {
    const std::string folder = scratch_.str() + "/sub";
    const std::string path = scratch_.WriteFile("sub/old.rix", "old contents\r\n");
    if (::geteuid() == 0) {
        // Root writes anywhere: a cancelled save is the case that cannot complete.
        observer_.cancelAfterChecks = 0;
        FoundDetections found;
        for (int i = 0; i < 250; ++i) found.emplace_back(CChrono(i, 0), Stamp("20240518", "010000"), "1");
        const ImportRunResult result =
            RunImportOrder(Order(ImportAction::Save, 0, path), found, false, observer_, nullptr);
        EXPECT_TRUE(result.cancelled);
        EXPECT_EQ(LogTexts().back(), "+++ Save cancelled after 100 of 250 detections: " + path + " left unchanged");
    } else {
        ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
        const ImportRunResult result =
            RunImportOrder(Order(ImportAction::Save, 0, path), ThreeReads(), false, observer_, &sounds_);
        ::chmod(folder.c_str(), 0700);
        EXPECT_FALSE(result.completed);
        EXPECT_NE(result.error.find("Error creating file " + path), std::string::npos) << result.error;
        EXPECT_TRUE(sounds_.Sounds().empty());
    }
    EXPECT_EQ(test::ReadWholeFile(path), "old contents\r\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
    EXPECT_EQ(entries, 1) << "no temporary file left behind";
}

TEST_F(ImportOutputTest, WriteErrorIsReportedAndKeepsTheOldFile) {
    const std::string path = scratch_.WriteFile("old.rix", "old contents\r\n");
    FoundDetections found;
    for (int i = 0; i < 500; ++i) found.emplace_back(CChrono(i, 0), Stamp("20240518", "010000"), "058000000001");
    // A file size limit makes the write fail half way, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ImportRunResult result = RunImportOrder(Order(ImportAction::Save, 0, path), found, false, observer_, nullptr);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.error, "Error writing file " + path + ": File too large");
    EXPECT_EQ(LogTexts().back(), result.error);
    EXPECT_EQ(test::ReadWholeFile(path), "old contents\r\n");
}

TEST_F(ImportOutputTest, NeitherResultOnlyPlaysTheCompletionSound) {
    const ImportRunResult result = RunImportOrder(ImportOrder{}, ThreeReads(), false, observer_, &sounds_);
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(sounds_.Sounds(), std::vector<StationSound>{StationSound::Completion});
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_EQ(CountActiveResults(), 0u);
}

}  // namespace
}  // namespace winorvex::import_test
