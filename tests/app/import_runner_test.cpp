// The import runner: the search and the import order off the station thread, their lines and
// progress brought back in order, the operator's stop, and the station's count refresh.
#include "app/import_runner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSignalSpy>
#include <csignal>
#include <thread>

#include "app/progress.h"
#include "app/station_fixture.h"
#include "core/unique_fd.h"
#include "import/import_test_helpers.h"

namespace winorvex::test {
namespace {

using import_test::Stamp;
using import_test::TagLine;

class ImportRunnerTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        SetTodayOverride(20240520);
    }
    void TearDown() override {
        SetTodayOverride(std::nullopt);
        StationTest::TearDown();
    }

    // The station reads its language at start; these texts are the English ones.
    Station& EnglishStation() {
        Station& station = MakeStation();
        SetLanguage(Language::English);
        return station;
    }

    static LogSearchRequest Window(const std::string& path) {
        LogSearchRequest request;
        request.path = path;
        request.midnight = Stamp("20240518", "000000");
        request.start = Stamp("20240518", "100000");
        request.end = Stamp("20240518", "110000");
        return request;
    }
    static LogSearchSettings Plain(bool showAbnormal) {
        LogSearchSettings settings;
        settings.translate = false;
        settings.showAbnormalEvents = showAbnormal;
        settings.today = 20240520;
        return settings;
    }
    static FoundDetections ThreeReads() {
        FoundDetections found;
        for (int i = 0; i < 3; ++i) {
            const CChrono absolute = Stamp("20240518", "100000", i * 10);
            CChrono daily;
            EXPECT_TRUE(daily.SetFromReaderTime("100000", i * 10));
            found.emplace_back(daily, absolute, "50" + std::to_string(i));
        }
        return found;
    }
};

TEST_F(ImportRunnerTest, SearchDeliversItsLinesBeforeItsResult) {
    EnglishStation();
    const std::string path = scratch_.WriteFile(
        "reader.log", TagLine("058001000001", "240518", "100500", 0) + TagLine("058001000002", "240518", "103000", 12) +
                          TagLine("058001000003", "240518", "120000", 0) + "garbage line\r\n");
    ImportRunner runner(&sounds_, &station_->Events());
    QStringList lines;
    bool linesAfterEnd = false;
    bool finished = false;
    QObject::connect(&runner, &ImportRunner::informationLines, [&](const QStringList& batch) {
        if (finished) linesAfterEnd = true;
        lines += batch;
    });
    QObject::connect(&runner, &ImportRunner::searchFinished, [&] { finished = true; });

    ASSERT_TRUE(runner.StartSearch(Window(path), Plain(true)));
    EXPECT_TRUE(runner.Busy());
    EXPECT_FALSE(runner.StartSearch(Window(path), Plain(true))) << "one work at a time";
    ASSERT_NE(runner.Progress(), nullptr);
    EXPECT_EQ(runner.Progress()->Caption(), "Importing ELITE log file detections");
    ASSERT_TRUE(Pump([&] { return finished; }));
    EXPECT_FALSE(runner.Busy());
    EXPECT_EQ(runner.Progress()->Status(), path);

    const LogSearchResult result = runner.TakeSearchResult();
    EXPECT_TRUE(result.searched);
    ASSERT_EQ(result.found.size(), 2u);
    EXPECT_EQ(result.found[0].Identifier(), "058001000001");
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front(), QString::fromStdString("+++ Importing ELITE detections file " + path));
    EXPECT_TRUE(lines.contains(QStringLiteral("+ Box fileBox invalid input: garbage line")))
        << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("* 2 suitable detections found in selected time range")));
    EXPECT_FALSE(linesAfterEnd);

    // A second search on the same runner is accepted once the first is over.
    finished = false;
    ASSERT_TRUE(runner.StartSearch(Window(scratch_.str() + "/missing.log"), Plain(false)));
    ASSERT_TRUE(Pump([&] { return finished; }));
    const LogSearchResult missing = runner.TakeSearchResult();
    EXPECT_FALSE(missing.searched);
    EXPECT_FALSE(missing.error.empty());
}

// The log is a pipe fed by the test: the search waits for lines off the station thread while the
// station's loop keeps turning, and the stop asked after its first progress ends it.
TEST_F(ImportRunnerTest, TheOperatorsStopEndsTheSearchWhileTheStationRuns) {
    EnglishStation();
    const std::string path = scratch_.str() + "/reader.fifo";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    ImportRunner runner(&sounds_, &station_->Events());
    QSignalSpy progress(&runner, &ImportRunner::progressText);
    QSignalSpy finished(&runner, &ImportRunner::searchFinished);
    ASSERT_TRUE(runner.StartSearch(Window(path), Plain(false)));

    UniqueFd writer;
    ASSERT_TRUE(Pump([&] {
        writer = UniqueFd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        return writer.IsOpen();
    }));
    // The search may close its end once stopped: a write then fails instead of killing the test.
    std::signal(SIGPIPE, SIG_IGN);
    auto feed = [&](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += TagLine("058001000001", "240518", "100500", i % 100);
        return WriteAll(writer.Get(), text.data(), text.size());
    };
    ASSERT_TRUE(feed(150));
    ASSERT_TRUE(Pump([&] { return progress.count() > 0; }));
    EXPECT_TRUE(progress.takeFirst().at(0).toString().startsWith(QStringLiteral("100 lines parsed")));
    EXPECT_TRUE(runner.Busy()) << "the search waits for more lines";
    EXPECT_EQ(finished.count(), 0);

    runner.Cancel();
    feed(150);  // no check: the search may have stopped at line 100 already
    writer = UniqueFd();
    ASSERT_TRUE(Pump([&] { return finished.count() == 1; }));
    const LogSearchResult result = runner.TakeSearchResult();
    EXPECT_TRUE(result.cancelled);
    // The check at line 100 may come just before or just after the request.
    EXPECT_TRUE(result.lines == 100u || result.lines == 200u) << result.lines;
}

TEST_F(ImportRunnerTest, AnImportGrowsTheStoreAndRefreshesTheCount) {
    EnglishStation();
    ClearResults();
    const QString before = station_->RecordedCountText();
    ImportRunner runner(&sounds_, &station_->Events());
    QSignalSpy finished(&runner, &ImportRunner::orderFinished);
    ImportOrder order{ImportAction::Import, "C12", 0, {}, {"Import ELITE detections from file x.log"}};
    ASSERT_TRUE(runner.StartOrder(order, ThreeReads(), false));
    EXPECT_EQ(runner.Progress()->Caption(), "Importing ELITE detections");
    ASSERT_TRUE(Pump([&] { return finished.count() == 1; }));
    EXPECT_TRUE(runner.OrderResult().completed);
    EXPECT_EQ(runner.OrderResult().written, 3u);
    EXPECT_EQ(ResultCount(), 3u);
    EXPECT_TRUE(Pump([&] { return station_->RecordedCountText() != before; })) << "the count refresh came";
    EXPECT_GE(sounds_.Count(StationSound::Completion), 1);
}

TEST_F(ImportRunnerTest, ASaveWritesTheFileAndReportsAFailure) {
    EnglishStation();
    ImportRunner runner(&sounds_, &station_->Events());
    QSignalSpy finished(&runner, &ImportRunner::orderFinished);
    const std::string out = scratch_.str() + "/out.rix";
    ASSERT_TRUE(runner.StartOrder({ImportAction::Save, "31", 0, out, {}}, ThreeReads(), false));
    ASSERT_TRUE(Pump([&] { return finished.count() == 1; }));
    EXPECT_TRUE(runner.OrderResult().completed);
    EXPECT_EQ(ReadWholeFile(out).substr(0, 19), "1\t31\t500\t1\t10:00:00");

    ASSERT_TRUE(runner.StartOrder({ImportAction::Save, "31", 0, scratch_.str() + "/no/such/dir/out.rix", {}},
                                  ThreeReads(), false));
    ASSERT_TRUE(Pump([&] { return finished.count() == 2; }));
    EXPECT_FALSE(runner.OrderResult().completed);
    EXPECT_FALSE(runner.OrderResult().error.empty());
}

}  // namespace
}  // namespace winorvex::test
