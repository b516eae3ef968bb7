// The progress state shared by a long operation and its window, and where the text prompt opens.
#include "app/progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/label_placement.h"
#include "core/texts.h"
#include "support/test_support.h"

namespace winorvex::test {
namespace {

TEST(ProgressState, CancelIsReportedOnceAndStopForEver) {
    ProgressState state;
    EXPECT_EQ(state.Caption(), "Progress");
    EXPECT_EQ(ProgressState("Import").Caption(), "Import");

    const auto before = state.Version();
    state.SetStatus("Reading");
    state.SetCountText("12 / 40");
    EXPECT_EQ(state.Status(), "Reading");
    EXPECT_EQ(state.CountText(), "12 / 40");
    EXPECT_GE(state.Version(), before + 2);

    EXPECT_FALSE(state.CheckCancel());
    state.RequestCancel();
    EXPECT_TRUE(state.CheckCancel());
    EXPECT_FALSE(state.CheckCancel());
    state.RequestStop();
    EXPECT_TRUE(state.CheckCancel());
    EXPECT_TRUE(state.CheckCancel());
}

TEST(ProgressJob, TheWorkRunsOffThisThreadAndStopsWhenAsked) {
    std::atomic<int> steps{0};
    std::atomic<bool> cancelledSeen{false};
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> otherThread{false};
    {
        ProgressJob job("Import", [&](ProgressState& state) {
            otherThread = std::this_thread::get_id() != caller;
            for (int i = 0; i < 3; ++i) state.SetCountText(std::to_string(++steps));
            // Then goes on until told to stop, as a long import would (the test stops it long
            // before the deadline).
            cancelledSeen = WaitFor([&state] { return state.CheckCancel(); }, std::chrono::seconds(30));
        });
        ASSERT_TRUE(WaitFor([&] { return steps.load() >= 3; }, std::chrono::seconds(10)));
        EXPECT_FALSE(job.Finished());
        EXPECT_EQ(job.State().Caption(), "Import");
    }  // the destructor stops and joins
    EXPECT_TRUE(cancelledSeen.load());
    EXPECT_TRUE(otherThread.load());

    ProgressJob quick("", [](ProgressState& state) { state.SetStatus("done"); });
    ASSERT_TRUE(WaitFor([&] { return quick.Finished(); }, std::chrono::seconds(10)));
    EXPECT_EQ(quick.State().Status(), "done");
}

TEST(LabelPlacement, ExplicitAroundRememberedAndCentred) {
    const ScreenRect work{0, 0, 1000, 800};
    std::optional<ScreenPoint> remembered;
    // First time, nothing given: the centre of the work area.
    EXPECT_EQ(PlaceLabelPrompt({}, 200, 100, work, remembered), (ScreenPoint{400, 350}));
    EXPECT_FALSE(remembered);

    LabelPlacement below;
    below.around = ScreenRect{100, 200, 300, 40};
    EXPECT_EQ(PlaceLabelPrompt(below, 200, 100, work, remembered), (ScreenPoint{150, 245}));
    // Too low for the work area: above the rectangle instead.
    below.around = ScreenRect{100, 700, 300, 40};
    EXPECT_EQ(PlaceLabelPrompt(below, 200, 100, work, remembered), (ScreenPoint{150, 595}));

    LabelPlacement at;
    at.position = ScreenPoint{30, 40};
    EXPECT_EQ(PlaceLabelPrompt(at, 200, 100, work, remembered), (ScreenPoint{30, 40}));
    ASSERT_TRUE(remembered);
    EXPECT_EQ(PlaceLabelPrompt({}, 200, 100, work, remembered), (ScreenPoint{30, 40}));

    // The centre flag wins over everything.
    at.centreOnScreen = true;
    at.around = ScreenRect{100, 200, 300, 40};
    EXPECT_EQ(PlaceLabelPrompt(at, 200, 100, ScreenRect{1000, 0, 1000, 800}, remembered), (ScreenPoint{1400, 350}));
}

}  // namespace
}  // namespace winorvex::test
