#include <thread>

#include "store_fixture.h"

namespace winorvex::test {
namespace {

using DetectionsPaneTest = StoreFixture;

DetectionsPaneLine Line(std::size_t number) {
    return {"line " + std::to_string(number), 0};
}

TEST_F(DetectionsPaneTest, ShownLineCarriesTheDayPrefixAndVisibleLineEnds) {
    const CChrono secondDay(25 * 3600 + 2 * 60 + 3, 40);
    EXPECT_EQ(MakeDetectionsPaneText("Box1\t125\r\n", secondDay), "+24h 01:02:04\tBox1\t125<CR><LF>");

    AddToDetectionsPane("a\nb", 9, CChrono(36000, 0));
    const auto batch = DrainDetectionsPaneQueue();
    ASSERT_EQ(batch.lines.size(), 1u);
    EXPECT_EQ(batch.lines[0].text, CChrono(36000, 0).FormatDailyWithDays() + "\ta<LF>b");
    EXPECT_EQ(batch.lines[0].serial, 9u);

    EXPECT_EQ(DetectionsPaneColumnWidths(batch.lines[0].text)[0], 10);
    EXPECT_EQ(DetectionsPaneColumnWidths("+24h 01:02:04\tx"), (std::array<int, 4>{15, 25, 30, 80}));
}

TEST_F(DetectionsPaneTest, QueueKeepsEachWorkersOrderAndDropsTheOldestWhenFull) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                AddToDetectionsPane(std::to_string(t) + ":" + std::to_string(i), 1, CChrono(36000, 0));
            }
        });
    }
    DetectionsPaneModel model;
    // The view drains while the workers add.
    WaitFor([&] {
        model.DrainQueue();
        return model.Size() == static_cast<std::size_t>(kThreads * kPerThread);
    });
    for (auto& thread : threads) thread.join();
    model.DrainQueue();
    ASSERT_EQ(model.Size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::vector<int> next(kThreads, 0);
    for (std::size_t i = 0; i < model.Size(); ++i) {
        const std::string& text = model.Line(i).text;
        const std::string shown = text.substr(text.find('\t') + 1);
        const int t = std::stoi(shown.substr(0, shown.find(':')));
        EXPECT_EQ(std::stoi(shown.substr(shown.find(':') + 1)), next[static_cast<std::size_t>(t)]++);
    }

    for (std::size_t i = 0; i < kDetectionsPaneQueueCapacity + 5; ++i) {
        AddToDetectionsPane(std::to_string(i), 0, CChrono(36000, 0));
    }
    const auto batch = DrainDetectionsPaneQueue();
    EXPECT_EQ(batch.dropped, 5u);
    ASSERT_EQ(batch.lines.size(), kDetectionsPaneQueueCapacity);
    EXPECT_EQ(batch.lines.front().text.substr(batch.lines.front().text.find('\t') + 1), "5");
    EXPECT_EQ(DrainDetectionsPaneQueue().dropped, 0u);
}

TEST_F(DetectionsPaneTest, PurgeAbove12000LinesKeepsTheRecords) {
    DetectionsPaneModel model;
    model.SetScrollEnabled(false);
    for (std::size_t i = 0; i < DetectionsPaneModel::kMaxLines; ++i) {
        const auto record = AddDaily("31", std::to_string(i), CChrono(36000, 0), false);
        EXPECT_EQ(model.Append({"line " + std::to_string(i), record.serial}), 0u);
    }
    EXPECT_EQ(model.Size(), 12000u);
    EXPECT_EQ(LogText().find("Purge Detections Window"), std::string::npos);

    model.SetTopLine(5000);
    const auto last = AddDaily("31", "last", CChrono(36000, 0), false);
    EXPECT_EQ(model.Append({"line 12000", last.serial}), 2000u);
    EXPECT_EQ(model.Size(), 10001u);
    EXPECT_EQ(model.Line(0).text, "line 2000");
    EXPECT_EQ(model.Line(10000).text, "line 12000");
    EXPECT_EQ(model.TopLine(), 3000u) << "the lines being looked at stay in view";
    EXPECT_EQ(ResultCount(), 12001u);
    EXPECT_EQ(CountActiveResults(), 12001u);

    const std::string log = LogText();
    const auto start = log.find("Purge Detections Window content...");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(log.find("Purge Detections Window done", start), std::string::npos);
}

TEST_F(DetectionsPaneTest, ScrollingFollowsTheNewLines) {
    DetectionsPaneModel model;
    model.SetVisibleLines(15);
    for (std::size_t i = 0; i < 10; ++i) model.Append(Line(i));
    EXPECT_EQ(model.TopLine(), 0u) << "a pane that is not full does not scroll";
    for (std::size_t i = 10; i < 40; ++i) model.Append(Line(i));
    EXPECT_EQ(model.TopLine(), 25u);

    model.SetScrollEnabled(false);
    model.SetTopLine(3);
    model.Append(Line(40));
    EXPECT_EQ(model.TopLine(), 3u);
    model.SetScrollEnabled(true);
    EXPECT_EQ(model.TopLine(), 41u - 15u) << "switching scrolling on shows the last lines";

    // A purge with scrolling on shows the last lines.
    for (std::size_t i = 41; i <= DetectionsPaneModel::kMaxLines; ++i) model.Append(Line(i));
    EXPECT_EQ(model.Size(), 10001u);
    EXPECT_EQ(model.TopLine(), 10001u - 15u);

    model.Clear();
    EXPECT_EQ(model.Size(), 0u);
    EXPECT_EQ(model.TopLine(), 0u);
}

TEST_F(DetectionsPaneTest, MenuStateFollowsTheSelectedRecords) {
    const auto a = AddDaily("31", "101", CChrono(36000, 0), false);
    const auto b = AddDaily("31", "102", CChrono(36001, 0), false);
    SetResultActive(b.serial, false);

    std::vector<CRixResult> records;
    EXPECT_EQ(ClassifySelection({a.serial, b.serial}, &records), SelectionActivity::Mixed);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].bib, "102");
    const auto mixed = MenuForSelection(SelectionActivity::Mixed);
    EXPECT_TRUE(mixed.show && mixed.removeEnabled && mixed.restoreEnabled);

    EXPECT_EQ(ClassifySelection({a.serial}), SelectionActivity::AllActive);
    const auto allActive = MenuForSelection(SelectionActivity::AllActive);
    EXPECT_TRUE(allActive.show && allActive.removeEnabled && !allActive.restoreEnabled);

    EXPECT_EQ(ClassifySelection({b.serial}), SelectionActivity::AllRemoved);
    const auto allRemoved = MenuForSelection(SelectionActivity::AllRemoved);
    EXPECT_TRUE(allRemoved.show && !allRemoved.removeEnabled && allRemoved.restoreEnabled);

    // No menu for an empty selection or a line without record (serial 0, or a forgotten one).
    EXPECT_EQ(ClassifySelection({}), SelectionActivity::None);
    EXPECT_EQ(ClassifySelection({a.serial, 0}, &records), SelectionActivity::None);
    EXPECT_TRUE(records.empty());
    EXPECT_FALSE(MenuForSelection(SelectionActivity::None).show);

    DetectionsPaneModel model;
    model.Append({"x", a.serial});
    EXPECT_EQ(model.SerialsOf({0, 7}), (std::vector<std::uint32_t>{a.serial, 0}));
}

TEST_F(DetectionsPaneTest, QuestionsInBothLanguages) {
    CRixResult one;
    one.bib = "125";
    one.timeText = "10:00:00.25";
    EXPECT_EQ(RemoveRestoreQuestion(true, {one}), "Remove detection 10:00:00.25 of runner 125 ?");
    EXPECT_EQ(RemoveRestoreQuestion(false, {one}), "Restore detection 10:00:00.25 of runner 125 ?");
    EXPECT_EQ(RemoveRestoreQuestion(true, {one, one, one}), "Remove those 3 detections?");
    EXPECT_EQ(RemoveSelectedMenuText(), std::string("Remove selected detections"));
    SetLanguage(Language::French);
    EXPECT_EQ(RemoveRestoreQuestion(true, {one}), "Supprimer la détection 10:00:00.25 du dossard 125 ?");
    EXPECT_EQ(RemoveRestoreQuestion(false, {one, one}), "Restaurer ces 2 détections ?");
    EXPECT_EQ(CancelMenuText(), std::string("Annuler"));
}

TEST_F(DetectionsPaneTest, RemovingAndRestoringChangesFlagsButNeverTheFile) {
    const std::string path = (scratch_.path() / "live.dat").string();
    OpenDetectionFile(path);
    const auto a = AddDaily("31", "101", CChrono(36000, 0));
    const auto b = AddDaily("31", "102", CChrono(36001, 0));
    const std::string fileBefore = ReadWholeFile(path);
    RecordingStationEvents events;

    ScriptedPrompt no(false);
    EXPECT_EQ(RemoveOrRestoreSelection(true, {a.serial, b.serial}, no, &events), 0u);
    EXPECT_EQ(no.questions, (std::vector<std::string>{"Remove those 2 detections?"}));
    EXPECT_EQ(CountActiveResults(), 2u);

    ScriptedPrompt yes(true);
    EXPECT_EQ(RemoveOrRestoreSelection(true, {b.serial}, yes, &events), 1u);
    EXPECT_EQ(CountActiveResults(), 1u);
    EXPECT_EQ(events.CountRefreshes(), 1);
    ASSERT_EQ(yes.questions.size(), 1u);
    EXPECT_EQ(yes.questions[0], "Remove detection 10:00:01.00 of runner 102 ?");

    // Removing what is all removed is greyed: no question, nothing changes.
    EXPECT_EQ(RemoveOrRestoreSelection(true, {b.serial}, yes, &events), 0u);
    EXPECT_EQ(yes.questions.size(), 1u);

    EXPECT_EQ(RemoveOrRestoreSelection(false, {a.serial, b.serial}, yes, &events), 2u);
    EXPECT_EQ(CountActiveResults(), 2u);
    EXPECT_EQ(ReadWholeFile(path), fileBefore);
}

}  // namespace
}  // namespace winorvex::test
