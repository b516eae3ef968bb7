// The background queue against the test server: order, reports, failures, stop.
#include "ftp/ftp_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_job_log.h"
#include "ftp_test_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class FtpQueueTest : public FtpServerFixture {
protected:
    std::unique_ptr<CFtpJob> UploadJob(const std::string& name, const std::string& content) {
        auto job = std::make_unique<CFtpJob>(MakeJob(1));
        job->SetLocalFile(WriteLocal(name, content));
        job->SetRemoteName(name);
        return job;
    }

    // "<state> <remote name>" of every report, in order.
    std::vector<std::string> Reports() const {
        std::vector<std::string> out;
        for (const auto& event : sink_.FtpStates()) out.push_back(std::to_string(event.state) + " " + event.remoteName);
        return out;
    }

    RecordingStationEvents sink_;  // the job reports as the station receives them
};

TEST_F(FtpQueueTest, QueuedJobsRunInOrderOneAtATimeAndFailuresDoNotStopTheQueue) {
    START_FTP_SERVER_OR_SKIP();
    FtpQueue queue(sink_);
    // Queued before the thread starts, so all four are waiting together.
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("one.txt", "1")));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("two.txt", "2")));
    auto broken = UploadJob("three.txt", "3");
    broken->password = "wrong";
    ASSERT_TRUE(queue.QueueFtpJob(std::move(broken)));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("four.txt", "4")));
    EXPECT_EQ(queue.WaitingJobs(), 4u);
    queue.StartFtpThread();

    ASSERT_TRUE(
        WaitFor([&] { return sink_.CountFtpStates(kFtpStateDone) + sink_.CountFtpStates(kFtpStateFailed) == 4; },
                std::chrono::seconds(20)));
    EXPECT_THAT(Reports(), ElementsAre("1 one.txt", "2 one.txt", "3 one.txt", "1 two.txt", "2 two.txt", "3 two.txt",
                                       "1 three.txt", "6 three.txt", "1 four.txt", "2 four.txt", "3 four.txt"));
    const auto events = sink_.FtpStates();
    EXPECT_EQ(events[7].label, "Club");
    EXPECT_FALSE(events[7].errorText.empty());
    EXPECT_TRUE(events[7].upload);
    EXPECT_EQ(scratch_.ReadFile("root/four.txt"), "4");
    EXPECT_FALSE(fs::exists(root() / "three.txt"));
    EXPECT_TRUE(WaitFor([&] { return !queue.IsBusy(); }));
}

TEST_F(FtpQueueTest, ConsecutiveJobsToOneServerShareOneLoginAcrossFolders) {
    START_FTP_SERVER_OR_SKIP();
    fs::create_directories(root() / "a" / "b");
    FtpQueue queue(sink_);
    const std::vector<std::pair<std::string, std::string>> jobs = {
        {"", "top-1.txt"}, {"a/b", "deep.txt"}, {"", "top-2.txt"}, {"a", "mid.txt"}, {"/a/b", "absolute.txt"}};
    for (const auto& [folder, name] : jobs) {
        auto job = UploadJob(name, name);
        job->directory = folder;
        ASSERT_TRUE(queue.QueueFtpJob(std::move(job)));
    }
    queue.StartFtpThread();
    ASSERT_TRUE(WaitFor([&] { return sink_.CountFtpStates(kFtpStateDone) == 5; }, std::chrono::seconds(20)));
    EXPECT_EQ(scratch_.ReadFile("root/top-1.txt"), "top-1.txt");
    EXPECT_EQ(scratch_.ReadFile("root/a/b/deep.txt"), "deep.txt");
    EXPECT_EQ(scratch_.ReadFile("root/top-2.txt"), "top-2.txt");
    EXPECT_EQ(scratch_.ReadFile("root/a/mid.txt"), "mid.txt");
    EXPECT_EQ(scratch_.ReadFile("root/a/b/absolute.txt"), "absolute.txt");
    ASSERT_TRUE(server_.CatchUp());
    EXPECT_EQ(server_.CountEvents("LOGIN"), 1);
}

TEST_F(FtpQueueTest, ARenameReplyLostOnTheKeptConnectionSpoilsNeitherThatUploadNorTheNext) {
    PyFtpServer::Options options;
    options.dropOnRename = "after";
    START_FTP_SERVER_OR_SKIP(options);
    FtpQueue queue(sink_);
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("one.txt", "first")));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("two.txt", "second")));
    queue.StartFtpThread();
    ASSERT_TRUE(
        WaitFor([&] { return sink_.CountFtpStates(kFtpStateDone) + sink_.CountFtpStates(kFtpStateFailed) == 2; },
                std::chrono::seconds(30)));
    EXPECT_THAT(Reports(), ElementsAre("1 one.txt", "2 one.txt", "3 one.txt", "1 two.txt", "2 two.txt", "3 two.txt"));
    EXPECT_EQ(scratch_.ReadFile("root/one.txt"), "first");
    EXPECT_EQ(scratch_.ReadFile("root/two.txt"), "second");
    ASSERT_TRUE(server_.CatchUp());
    EXPECT_EQ(server_.CountEvents("DROP"), 2);
}

TEST_F(FtpQueueTest, SameTransferStillWaitingIsReplacedInPlace) {
    START_FTP_SERVER_OR_SKIP();
    FtpQueue queue(sink_);
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("periodic.txt", "first")));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("other.txt", "other")));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("periodic.txt", "second")));
    EXPECT_EQ(queue.WaitingJobs(), 2u);
    queue.StartFtpThread();
    ASSERT_TRUE(WaitFor([&] { return sink_.CountFtpStates(kFtpStateDone) == 2; }, std::chrono::seconds(20)));
    EXPECT_THAT(Reports(), ElementsAre("1 periodic.txt", "2 periodic.txt", "3 periodic.txt", "1 other.txt",
                                       "2 other.txt", "3 other.txt"));
    EXPECT_EQ(scratch_.ReadFile("root/periodic.txt"), "second");
    // The end names the job it replaced; the other reports do not.
    const auto events = sink_.FtpStates();
    EXPECT_EQ(events[2].replacedLabels, (std::vector<std::string>{"Club"}));
    EXPECT_TRUE(events[0].replacedLabels.empty());
    EXPECT_TRUE(events[5].replacedLabels.empty());
}

TEST_F(FtpQueueTest, AReplacedJobEndsWithItsReplacementEvenWhenItFails) {
    START_FTP_SERVER_OR_SKIP();
    FtpQueue queue(sink_);
    // Three labels for one site and folder, the last with a wrong password: one login attempt,
    // and its failure is the outcome of all three.
    for (const char* label : {"Club", "Course", "Ligue"}) {
        auto job = UploadJob("res.txt", "r");
        job->label = label;
        if (std::string(label) == "Ligue") job->password = "wrong";
        ASSERT_TRUE(queue.QueueFtpJob(std::move(job)));
    }
    EXPECT_EQ(queue.WaitingJobs(), 1u);
    queue.StartFtpThread();
    ASSERT_TRUE(WaitFor([&] { return sink_.CountFtpStates(kFtpStateFailed) == 1; }, std::chrono::seconds(20)));
    const auto events = sink_.FtpStates();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].label, "Ligue");
    EXPECT_EQ(events[1].replacedLabels, (std::vector<std::string>{"Club", "Course"}));
    EXPECT_FALSE(fs::exists(root() / "res.txt"));
    EXPECT_TRUE(WaitFor([&] { return !queue.IsBusy(); }));
}

TEST_F(FtpQueueTest, StopWaitsForTheRunningTransferDropsTheRestAndReportsNoMore) {
    PyFtpServer::Options options;
    options.readLimit = 256 * 1024;
    START_FTP_SERVER_OR_SKIP(options);
    const std::string big(700 * 1024, 'b');
    FtpQueue queue(sink_);
    queue.StartFtpThread();
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("running.bin", big)));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("dropped-1.txt", "x")));
    ASSERT_TRUE(queue.QueueFtpJob(UploadJob("dropped-2.txt", "y")));
    ASSERT_TRUE(WaitFor([&] { return sink_.CountFtpStates(kFtpStateTransferring) == 1; }));

    queue.StopFtpTransfers();
    EXPECT_FALSE(queue.IsBusy());
    // The running upload was finished, not cut short; its end was not reported.
    EXPECT_TRUE(scratch_.ReadFile("root/running.bin") == big);
    EXPECT_THAT(Reports(), ElementsAre("1 running.bin", "2 running.bin"));
    EXPECT_FALSE(fs::exists(root() / "dropped-1.txt"));
    const std::string log = FileText();
    EXPECT_NE(log.find("dropped-1.txt [Club], dropped-2.txt [Club]"), std::string::npos) << log;

    EXPECT_FALSE(queue.QueueFtpJob(UploadJob("late.txt", "z")));
    EXPECT_EQ(sink_.FtpStates().size(), 2u);
}

TEST_F(FtpQueueTest, DestroyingTheQueueCutsARunningTransferShort) {
    PyFtpServer::Options options;
    options.readLimit = 64 * 1024;
    START_FTP_SERVER_OR_SKIP(options);
    {
        FtpQueue queue(sink_);
        queue.StartFtpThread();
        ASSERT_TRUE(queue.QueueFtpJob(UploadJob("slow.bin", std::string(8 << 20, 's'))));
        ASSERT_TRUE(WaitFor([&] { return sink_.CountFtpStates(kFtpStateTransferring) == 1; }));
    }
    // Eight MiB at 64 KiB/s would take two minutes; the queue is gone long before (the test's own
    // time limit would catch a wait), and the final name never appeared.
    EXPECT_FALSE(fs::exists(root() / "slow.bin"));
}

TEST(FtpJobLogLineTest, StationLinesForStartEndAndFailure) {
    FtpJobStateEvent event;
    event.remoteName = "res.zip";
    event.state = kFtpStateStarted;
    EXPECT_EQ(FtpJobLogLine(event), "++ Démarrage transfert FTP [res.zip]");
    event.state = kFtpStateDone;
    EXPECT_EQ(FtpJobLogLine(event), "++ Transfert FTP terminé [res.zip]");
    event.state = kFtpStateFailed;
    event.errorText = "Can't connect to site x";
    EXPECT_EQ(FtpJobLogLine(event), "++ Erreur transfert FTP [res.zip] : Can't connect to site x");
    event.state = kFtpStateTransferring;
    EXPECT_EQ(FtpJobLogLine(event), std::nullopt);
}

}  // namespace
}  // namespace winorvex::test
