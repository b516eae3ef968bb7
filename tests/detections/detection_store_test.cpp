#include <filesystem>

#include "detections/last_read_list.h"
#include "store_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;
using DetectionStoreTest = StoreFixture;

// Names of the files an export left beside its target while writing.
std::vector<std::string> LeftoversIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp") != std::string::npos) names.push_back(name);
    }
    return names;
}

TEST_F(DetectionStoreTest, RecordedCountTextInBothLanguages) {
    EXPECT_EQ(RecordedCountText(), "No recorded detection");
    const auto first = AddDaily("31", "1", CChrono(36000, 0), false);
    EXPECT_EQ(RecordedCountText(), "1 detection recorded");
    AddDaily("31", "2", CChrono(36001, 0), false);
    AddDaily("31", "3", CChrono(36002, 0), false);
    EXPECT_EQ(RecordedCountText(), "3 detections recorded");
    SetLanguage(Language::French);
    EXPECT_EQ(RecordedCountText(), "3 détections enregistrées");
    SetResultActive(first.serial, false);
    SetResultActive(first.serial + 1, false);
    EXPECT_EQ(RecordedCountText(), "1 détection enregistrée");
    SetResultActive(first.serial + 2, false);
    EXPECT_EQ(RecordedCountText(), "Aucune détection enregistrée");
}

TEST_F(DetectionStoreTest, ExportWritesActiveRecordsWithTheirOwnOrdinals) {
    AddDaily("31", "101", CChrono(36000, 250), false);
    const auto second = AddDaily("31", "102", CChrono(36001, 0), false);
    AddDaily("31", "103", CChrono(36002, 0), false);
    AddResult("32", "104", CChrono(1716000000, 50), CChrono(), true, false);
    SetResultActive(second.serial, false);

    const std::string path = scratch_.WriteFile("WinORVEX.rix", "an older export that is longer than the new one\r\n");
    RecordingStationEvents events;
    ASSERT_TRUE(ExportAllDetections(path, &events));
    EXPECT_EQ(ReadWholeFile(path),
              "1\t31\t101\t1\t10:00:00.25\t1\r\n"
              "2\t31\t103\t1\t10:00:02.00\t1\r\n"
              "3\t32\t104\t1\t1716000000.5\t2\r\n");
    EXPECT_EQ(events.Count(StationSound::Completion), 1);
    EXPECT_NE(LogText().find("+ Detections exported in file [" + path + "]"), std::string::npos);
    EXPECT_TRUE(LeftoversIn(scratch_.path()).empty());
}

TEST_F(DetectionStoreTest, FailedExportIsNotReportedAsDoneAndLeavesNoTrace) {
    AddDaily("31", "101", CChrono(36000, 0), false);
    RecordingStationEvents events;

    // The target is a folder: the file is written aside but cannot take its place.
    const fs::path folderTarget = scratch_.path() / "target";
    fs::create_directory(folderTarget);
    EXPECT_FALSE(ExportAllDetections(folderTarget.string(), &events));
    EXPECT_TRUE(fs::is_directory(folderTarget));

    // The target's folder does not exist.
    const std::string missing = (scratch_.path() / "nowhere" / "x.rix").string();
    EXPECT_FALSE(ExportAllDetections(missing, &events));
    EXPECT_FALSE(ExportAllDetections("", &events));

    EXPECT_EQ(events.Count(StationSound::Completion), 0);
    const std::string log = LogText();
    EXPECT_EQ(log.find("+ Detections exported"), std::string::npos);
    EXPECT_NE(log.find("Error writing export file " + folderTarget.string()), std::string::npos);
    EXPECT_NE(log.find("Error writing export file " + missing), std::string::npos);
    EXPECT_TRUE(LeftoversIn(scratch_.path()).empty());
}

TEST_F(DetectionStoreTest, ForgetAllButtonDoesNothingWithoutActiveRecordOrWithoutYes) {
    const auto only = AddDaily("31", "101", CChrono(36000, 0), false);
    SetResultActive(only.serial, false);
    RecordingStationEvents events;

    ScriptedPrompt yes(true);
    EXPECT_FALSE(RequestForgetAllDetections(yes, &events, &events));
    EXPECT_TRUE(yes.questions.empty());
    EXPECT_EQ(ResultCount(), 1u);

    SetResultActive(only.serial, true);
    ScriptedPrompt no(false);
    EXPECT_FALSE(RequestForgetAllDetections(no, &events, &events));
    ASSERT_EQ(no.questions.size(), 1u);
    EXPECT_EQ(no.questions[0], ForgetAllQuestion());
    EXPECT_NE(no.questions[0].find("ALL RECORDED TIMES WILL BE LOST"), std::string::npos);
    EXPECT_FALSE(no.defaults[0]) << "No must be the default answer";
    EXPECT_EQ(ResultCount(), 1u);
    EXPECT_EQ(events.CountRefreshes() + events.Count(StationSound::Completion), 0);
}

TEST_F(DetectionStoreTest, ForgetAllEmptiesEverythingAndStartsANewDetectionFile) {
    const std::string oldPath = (scratch_.path() / "first.dat").string();
    OpenDetectionFile(oldPath);
    AddDaily("31", "101", CChrono(36000, 0));
    const auto removed = AddDaily("31", "102", CChrono(36001, 0));
    AddDaily("31", "103", CChrono(36002, 0));
    SetResultActive(removed.serial, false);
    AddToDetectionsPane("waiting line", removed.serial, CChrono(36001, 0));

    CLastBoxDetectionList lastReads;
    CChrono previous;
    lastReads.Touch("058001", CChrono(36000, 0), previous);
    ASSERT_EQ(lastReads.Count(), 1u);

    RecordingStationEvents events;
    ScriptedPrompt yes(true);
    ASSERT_TRUE(RequestForgetAllDetections(yes, &events, &events));

    EXPECT_EQ(ResultCount(), 0u);
    EXPECT_GE(events.CountRefreshes(), 1);
    EXPECT_EQ(events.Count(StationSound::Completion), 1);
    EXPECT_EQ(lastReads.Count(), 0u);
    EXPECT_TRUE(DrainDetectionsPaneQueue().lines.empty());

    // The old file is kept as written; a new one under the log folder takes the next lines.
    EXPECT_EQ(CrLfLines(ReadWholeFile(oldPath)).size(), 3u);
    const std::string newPath = DetectionFilePath();
    EXPECT_NE(newPath, oldPath);
    EXPECT_TRUE(IsDetectionFileOpen());
    EXPECT_EQ(fs::path(newPath).parent_path(), fs::path(GetLogFolder()));
    EXPECT_EQ(fs::path(newPath).extension(), ".dat");
    AddDaily("31", "201", CChrono(36010, 0));
    EXPECT_EQ(ReadWholeFile(newPath), "1\t31\t201\t1\t10:00:10.00\t1\r\n");

    const std::string log = LogText();
    EXPECT_NE(log.find("+ Detection list reset done. (2 detections)"), std::string::npos);
    EXPECT_NE(log.find("+++ Incoming detections saved in " + newPath), std::string::npos);
    EXPECT_LT(log.find("+ Detection list reset done."), log.find("+++ Incoming detections saved in"));
}

TEST_F(DetectionStoreTest, ForgetAllMessageInFrenchWithOneDetection) {
    SetLanguage(Language::French);
    AddDaily("31", "101", CChrono(36000, 0), false);
    ForgetAllDetections(nullptr, nullptr);
    const std::string log = LogText();
    EXPECT_NE(log.find("+ Remise à zéro de la liste des détections effectuée. (1 détection)"), std::string::npos);
    EXPECT_NE(log.find("+++ Détections sauvegardées sous " + DetectionFilePath()), std::string::npos);
}

}  // namespace
}  // namespace winorvex::test
