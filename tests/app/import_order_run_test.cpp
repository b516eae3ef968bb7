// The run of an import order after its dialog closed: the progress window only with a window, the
// run gone by itself once the order is carried out, a failed save told to the operator.
#include "app/import_order_run.h"

#include <QPointer>

#include "app/station_fixture.h"
#include "import/import_test_helpers.h"

namespace winorvex::test {
namespace {

using import_test::Stamp;

class ImportOrderRunTest : public StationTest {
protected:
    static FoundDetections TwoReads() {
        FoundDetections found;
        for (int i = 0; i < 2; ++i) {
            CChrono daily;
            EXPECT_TRUE(daily.SetFromReaderTime("100000", i * 10));
            found.emplace_back(daily, Stamp("20240518", "100000", i * 10), "70" + std::to_string(i));
        }
        return found;
    }

    ImportOrderServices Services(bool headless) {
        Station& station = MakeStation();
        return {&sounds_, &station.Events(), &operator_, headless};
    }

    // Counts the windows made and keeps the last one in a QPointer, to see when it goes.
    ImportOrderRun::ProgressWindowFactory CountingWindows() {
        return [this](ProgressState&) {
            ++windowsMade_;
            auto window = std::make_unique<QObject>();
            lastWindow_ = window.get();
            return window;
        };
    }

    int windowsMade_ = 0;
    QPointer<QObject> lastWindow_;
};

TEST_F(ImportOrderRunTest, AWindowedRunShowsItsProgressUntilTheSaveIsWrittenThenGoes) {
    const ImportOrderServices services = Services(false);
    const std::string out = scratch_.str() + "/saved.rix";
    QPointer<ImportOrderRun> run = StartImportOrderRun(station_.get(), services, CountingWindows(),
                                                       {ImportAction::Save, "12", 0, out, {}}, TwoReads());
    ASSERT_FALSE(run.isNull());
    EXPECT_EQ(windowsMade_, 1);
    EXPECT_EQ(run->ProgressWindow(), lastWindow_.data());
    ASSERT_TRUE(Pump([&] { return run.isNull(); })) << "the run ends itself";
    EXPECT_TRUE(lastWindow_.isNull()) << "its window went with the order";
    EXPECT_EQ(ReadWholeFile(out).substr(0, 19), "1\t12\t700\t1\t10:00:00");
    EXPECT_TRUE(operator_.warnings.empty());
}

TEST_F(ImportOrderRunTest, AHeadlessRunMakesNoWindowAndWarnsOfAFailedSave) {
    const ImportOrderServices services = Services(true);
    QPointer<ImportOrderRun> run =
        StartImportOrderRun(station_.get(), services, CountingWindows(),
                            {ImportAction::Save, "12", 0, scratch_.str() + "/no/such/dir/x.rix", {}}, TwoReads());
    ASSERT_FALSE(run.isNull());
    EXPECT_EQ(run->ProgressWindow(), nullptr);
    ASSERT_TRUE(Pump([&] { return run.isNull(); }));
    EXPECT_EQ(windowsMade_, 0);
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_FALSE(operator_.warnings[0].empty());
}

TEST_F(ImportOrderRunTest, NoOrderOnlyPlaysTheCompletionSound) {
    const ImportOrderServices services = Services(false);
    const int before = sounds_.Count(StationSound::Completion);
    EXPECT_EQ(StartImportOrderRun(station_.get(), services, CountingWindows(), {}, TwoReads()), nullptr);
    EXPECT_EQ(sounds_.Count(StationSound::Completion), before + 1);
    EXPECT_EQ(windowsMade_, 0);
}

}  // namespace
}  // namespace winorvex::test
