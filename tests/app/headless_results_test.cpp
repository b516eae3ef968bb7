// The screenless station against two simulated readers and a simulated results program: driven
// from the start (--direct) or only through its command service, as the results program does.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "headless_fixture.h"
#include "results_sim.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

// "detector\tbib\ttime" of each detection-file line, in file order.
std::vector<std::string> FileDetections(const std::string& path) {
    std::vector<std::string> keys;
    std::istringstream in(ReadWholeFile(path));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string position, detector, bib, one, time;
        std::getline(fields, position, '\t');
        std::getline(fields, detector, '\t');
        std::getline(fields, bib, '\t');
        std::getline(fields, one, '\t');
        std::getline(fields, time, '\t');
        keys.push_back(detector + "\t" + bib + "\t" + time);
    }
    return keys;
}

class HeadlessResults : public HeadlessFixture {
protected:
    void SetUp() override {
        HeadlessFixture::SetUp();
        results_sim::Options options;
        options.port = 0;
        options.quiet = true;
        results_ = std::make_unique<results_sim::ResultsSimulator>(options);
        std::string error;
        ASSERT_TRUE(results_->Start(error)) << error;
        WriteSettingText("DirectConnection", "Host", "127.0.0.1", Ini());
        WriteSettingInt("DirectConnection", "Port", results_->port(), Ini());
        WriteSettingInt("DirectConnection", "ReconnectSeconds", 1, Ini());
    }

    std::size_t Received() const {
        std::size_t n = 0;
        for (const auto& [key, times] : results_->Received()) n += static_cast<std::size_t>(times);
        return n;
    }

    // One command through the client tool; its output and exit status.
    std::pair<int, std::string> Command(const std::string& text) {
        ChildProcess client(WINORVEX_COMMAND_EXE, scratch_, {"--data-dir", data_, text}, "command");
        const int status = client.Wait(std::chrono::seconds(15));
        return {status, client.Out()};
    }

    std::unique_ptr<results_sim::ResultsSimulator> results_;
};

TEST_F(HeadlessResults, DirectFromTheStartForwardsEveryDetectionOnceInEachBoxsOrder) {
    AddReader(0, 150, 300);
    AddReader(1, 200, 300);
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--direct", "--data-dir", data_, "--lang", "en"},
                         "station");
    ASSERT_TRUE(WaitFor([&] { return Received() >= 350; }, std::chrono::seconds(30))) << station.Out();
    station.Signal(SIGTERM);
    ASSERT_EQ(station.Wait(std::chrono::seconds(15)), 0) << station.Err();

    const std::vector<std::string> recorded = FileDetections(DetectionFile());
    ASSERT_EQ(recorded.size(), 350u);
    const results_sim::Counts counts = results_->GetCounts();
    EXPECT_EQ(counts.detections, 350u);
    EXPECT_EQ(counts.duplicates, 0u);
    const std::map<std::string, int> received = results_->Received();
    for (const std::string& key : recorded) EXPECT_EQ(received.count(key), 1u) << key;
    // Each box's detections reached the results program in the order they were recorded.
    std::map<std::string, std::vector<std::string>> sentOrder;
    for (const std::string& line : results_->Lines()) {
        if (line.rfind("AddRixClock(", 0) != 0) continue;
        std::istringstream fields(line.substr(12));
        std::string one, detector, bib, kind, time;
        std::getline(fields, one, '\t');
        std::getline(fields, detector, '\t');
        std::getline(fields, bib, '\t');
        std::getline(fields, kind, '\t');
        std::getline(fields, time, ')');
        sentOrder[detector].push_back(detector + "\t" + bib + "\t" + time);
    }
    std::map<std::string, std::vector<std::string>> fileOrder;
    for (const std::string& key : recorded) fileOrder[key.substr(0, 2)].push_back(key);
    EXPECT_EQ(sentOrder["41"], fileOrder["41"]);
    EXPECT_EQ(sentOrder["42"], fileOrder["42"]);
}

TEST_F(HeadlessResults, DrivenOnlyThroughTheCommandService) {
    AddReader(0, 30, 300);
    AddReader(1, 30, 300);
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", data_, "--lang", "en"},
                         "station");
    ASSERT_TRUE(WaitFor([&] { return Command("GetDirectConnection").first == 0; }, std::chrono::seconds(15)));
    EXPECT_EQ(Command("GetDirectConnection"), (std::pair<int, std::string>{0, "0\n"}));
    EXPECT_EQ(Command("SetDirectConnection(1)"), (std::pair<int, std::string>{0, "<ok>\n"}));
    EXPECT_EQ(Command("GetDirectConnection"), (std::pair<int, std::string>{0, "1\n"}));
    ASSERT_TRUE(WaitFor([&] { return results_->GetCounts().connected; }, std::chrono::seconds(10)));
    EXPECT_EQ(Command("StartAcquisition"), (std::pair<int, std::string>{0, "<ok>\n"}));
    ASSERT_TRUE(WaitFor([&] { return Received() >= 60; }, std::chrono::seconds(20))) << station.Out();

    const std::string target = scratch_.str() + "/all.rix";
    EXPECT_EQ(Command("ExportTo(" + target + ");"), (std::pair<int, std::string>{0, "<ok>\n"}));
    EXPECT_EQ(FileDetections(target).size(), 60u);
    EXPECT_EQ(Command("ClearAcquisitions"), (std::pair<int, std::string>{0, "<ok>\n"}));
    const std::string empty = scratch_.str() + "/empty.rix";
    EXPECT_EQ(Command("ExportTo(" + empty + ")"), (std::pair<int, std::string>{0, "<ok>\n"}));
    EXPECT_EQ(ReadWholeFile(empty), "");
    // Switching the link off while connected stops it.
    EXPECT_EQ(Command("SetDirectConnection(0)"), (std::pair<int, std::string>{0, "<ok>\n"}));
    EXPECT_TRUE(WaitFor([&] { return !results_->GetCounts().connected; }, std::chrono::seconds(10)));
    EXPECT_EQ(Command("GetDirectConnection"), (std::pair<int, std::string>{0, "0\n"}));
    EXPECT_EQ(Command("startacquisition").first, 1);

    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(std::chrono::seconds(15)), 0);
    EXPECT_EQ(results_->GetCounts().duplicates, 0u);
}

}  // namespace
}  // namespace winorvex::test
