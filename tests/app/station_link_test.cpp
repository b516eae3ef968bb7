// The station's direct connection against a simulated results program that records every line:
// what reaches it after a hang and a restart, switching the link off and on, and a results
// program that stops reading.
#include <map>
#include <set>

#include "reader/box_manager.h"
#include "results_link/direct_connection.h"
#include "results_link/results_pane.h"
#include "results_sim.h"
#include "station_fixture.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;

class StationLinkTest : public StationTest {
protected:
    std::unique_ptr<results_sim::ResultsSimulator> StartResults(int port, bool answering = true) {
        results_sim::Options options;
        options.port = port;
        options.quiet = true;
        options.answerDetections = answering;
        auto sim = std::make_unique<results_sim::ResultsSimulator>(options);
        std::string error;
        EXPECT_TRUE(sim->Start(error)) << error;
        return sim;
    }

    void UseResults(int port) {
        Ini("DirectConnection", "Host", "127.0.0.1");
        Ini("DirectConnection", "Port", std::to_string(port));
        Ini("DirectConnection", "ReconnectSeconds", "1");
    }

    // "detector\tbib\ttime" of every line of the detection file, in recording order.
    std::vector<std::string> RecordedKeys() const {
        std::vector<std::string> keys;
        for (const std::string& line : DetectionFileLines()) {
            std::vector<std::string> f;
            std::istringstream in(line);
            for (std::string field; std::getline(in, field, '\t');) f.push_back(field);
            if (f.size() == 6) keys.push_back(f[1] + "\t" + f[2] + "\t" + f[4]);
        }
        return keys;
    }

    // The same for the detections a results program received, in arrival order.
    static std::vector<std::string> ReceivedKeys(const results_sim::ResultsSimulator& sim) {
        std::vector<std::string> keys;
        for (const std::string& line : sim.Lines()) {
            if (!line.starts_with("AddRixClock(1\t") || line.back() != ')') continue;
            keys.push_back(line.substr(14, line.size() - 15));
            const std::size_t tab = keys.back().find("\t1\t");
            if (tab != std::string::npos) keys.back().erase(tab, 2);
        }
        return keys;
    }

    // Two readers recording side by side, a results program that stops reading halfway and is
    // killed, and a new one in its place: returns what each of the two received.
    void HangKillRestart(bool answering) {
        auto first = StartResults(0, answering);
        const int port = first->port();
        UseResults(port);
        Ini("DirectConnection", "BResendWhileDisconnected", "1");
        sim::Simulator& one = AddReader(1, 400, 2400, true);
        sim::Simulator& two = AddReader(2, 400, 2400, true);
        Station& station = MakeStation();
        station.DirectConnectionButton(true);
        ASSERT_TRUE(Pump([&] { return station.Link().IsDirectConnected(); }));
        // The information requests answered before the first detection.
        ASSERT_TRUE(Pump([&] { return station.Link().Counters().linesReceived >= 7; }));
        station.ConnectAllBoxes();
        ASSERT_TRUE(Pump([&] {
            return station.StatusOf(1) == BoxStatus::Connected && station.StatusOf(2) == BoxStatus::Connected;
        }));
        one.Execute("resume");
        two.Execute("resume");
        ASSERT_TRUE(Pump([&] { return ResultCount() >= 1200; }, 20s));
        first->SetReading(false);
        ASSERT_TRUE(Pump([&] { return ResultCount() >= 2600; }, 20s));
        first->Stop();
        ASSERT_TRUE(Pump([&] { return !station.DirectButtonDown(); }, 20s));
        firstKeys_ = ReceivedKeys(*first);
        first.reset();

        second_ = StartResults(port, answering);
        station.DirectConnectionButton(true);
        ASSERT_TRUE(Pump([&] { return ResultCount() == 4800; }, 30s));
        recorded_ = RecordedKeys();
        ASSERT_EQ(recorded_.size(), 4800u);
        // Everything the first one did not read reaches the second, however long it takes.
        const std::set<std::string> firstSet(firstKeys_.begin(), firstKeys_.end());
        std::size_t expected = 0;
        for (const std::string& key : recorded_) expected += firstSet.count(key) == 0 ? 1 : 0;
        ASSERT_TRUE(Pump([&] { return ReceivedKeys(*second_).size() >= expected; }, 30s));
        secondKeys_ = ReceivedKeys(*second_);
    }

    void ExpectNothingMissingAndEachBoxInOrder() {
        const std::set<std::string> firstSet(firstKeys_.begin(), firstKeys_.end());
        const std::set<std::string> secondSet(secondKeys_.begin(), secondKeys_.end());
        std::size_t missing = 0;
        for (const std::string& key : recorded_) missing += firstSet.count(key) + secondSet.count(key) == 0 ? 1 : 0;
        EXPECT_EQ(missing, 0u);
        EXPECT_EQ(secondSet.size(), secondKeys_.size()) << "the second results program got a line twice";
        // Each box's detections reach the second one in recording order, the backlog first.
        std::map<std::string, std::size_t> position;
        for (std::size_t i = 0; i < recorded_.size(); ++i) position[recorded_[i]] = i;
        std::map<std::string, std::size_t> last;
        std::size_t breaks = 0;
        for (const std::string& key : secondKeys_) {
            const std::string box = key.substr(0, key.find('\t'));
            const std::size_t at = position.at(key);
            if (last.count(box) != 0 && at < last[box]) ++breaks;
            last[box] = at;
        }
        EXPECT_EQ(breaks, 0u);
    }

    std::vector<std::string> recorded_;
    std::vector<std::string> firstKeys_;
    std::vector<std::string> secondKeys_;
    std::unique_ptr<results_sim::ResultsSimulator> second_;
};

TEST_F(StationLinkTest, AfterAHungResultsProgramIsKilledTheNewOneGetsEverythingAfterTheLastAnswer) {
    HangKillRestart(true);
    ASSERT_FALSE(HasFailure());
    ExpectNothingMissingAndEachBoxInOrder();
    // The lines sent twice are the last ones the first results program took, never earlier ones:
    // the resend starts right after what it had answered.
    const std::set<std::string> secondSet(secondKeys_.begin(), secondKeys_.end());
    std::size_t firstDuplicate = firstKeys_.size();
    for (std::size_t i = 0; i < firstKeys_.size(); ++i) {
        if (secondSet.count(firstKeys_[i]) != 0) {
            firstDuplicate = i;
            break;
        }
    }
    for (std::size_t i = firstDuplicate; i < firstKeys_.size(); ++i) {
        EXPECT_EQ(secondSet.count(firstKeys_[i]), 1u) << "read by the first, not sent again: " << firstKeys_[i];
    }
    EXPECT_GE(firstDuplicate, 1000u) << "the answered detections were sent again";
    EXPECT_TRUE(LogHas("######## KtORVEX : Perte de connexion directe !"));
}

TEST_F(StationLinkTest, WithoutAnswersTheResendStartsAfterTheLastAnsweredRequest) {
    HangKillRestart(false);
    ASSERT_FALSE(HasFailure());
    ExpectNothingMissingAndEachBoxInOrder();
    // The requests were answered before the first detection: everything is sent again.
    EXPECT_EQ(secondKeys_.size(), recorded_.size());
}

TEST_F(StationLinkTest, QuickOffOnBurstsKeepTheStateAndOnlyRealLossesRaiseTheAlarm) {
    auto results = StartResults(0);
    UseResults(results->port());
    Station& station = MakeStation();
    station.DirectConnectionButton(true);
    ASSERT_TRUE(Pump([&] { return station.Link().IsDirectConnected(); }));
    int losses = 0;
    for (int pair = 1; pair <= 100; ++pair) {
        station.DirectConnectionButton(false);
        station.DirectConnectionButton(true);
        ASSERT_TRUE(Pump([&] { return station.Link().IsDirectConnected(); })) << "pair " << pair;
        // What the stopped link still had to say has come by now.
        Pump([] { return false; }, 20ms);
        ASSERT_TRUE(station.DirectButtonDown()) << "pair " << pair;
        ASSERT_EQ(station.DirectButtonImage(), 134) << "pair " << pair;
        ASSERT_EQ(sounds_.Count(StationSound::LinkAlarm), losses) << "pair " << pair;
        if (pair % 25 == 0) {
            results->Drop();
            ++losses;
            ASSERT_TRUE(Pump([&] { return sounds_.Count(StationSound::LinkAlarm) == losses; })) << "pair " << pair;
            EXPECT_FALSE(station.DirectButtonDown());
            station.DirectConnectionButton(true);
            ASSERT_TRUE(Pump([&] { return station.Link().IsDirectConnected(); }));
        }
    }
    std::size_t alerts = 0;
    const std::string log = LogText();
    for (std::size_t at = log.find("Perte de connexion directe"); at != std::string::npos;
         at = log.find("Perte de connexion directe", at + 1)) {
        ++alerts;
    }
    EXPECT_EQ(alerts, 4u);
}

TEST_F(StationLinkTest, AResultsProgramThatStopsReadingIsReportedWithoutDroppingTheLink) {
    Ini("DirectConnection", "UnansweredAlarmSeconds", "1");
    auto results = StartResults(0);
    UseResults(results->port());
    AddReader(1, 100, 0);
    Station& station = MakeStation();
    EXPECT_NE(ReadWholeFile(scratch_.str() + "/WinORVEX.ini").find("UnansweredAlarmSeconds=1"), std::string::npos);
    station.DirectConnectionButton(true);
    ASSERT_TRUE(Pump([&] { return station.Link().IsDirectConnected(); }));
    station.ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return results->GetCounts().detections >= 50; }));
    ASSERT_TRUE(Pump([&] { return station.ResultsPane().Size() >= 20; }));
    EXPECT_EQ(sounds_.Count(StationSound::LinkAlarm), 0);
    results->SetReading(false);
    ASSERT_TRUE(Pump([&] { return LogHas("######## KtORVEX : aucune réponse aux détections envoyées depuis"); }));
    EXPECT_EQ(sounds_.Count(StationSound::LinkAlarm), 1);
    EXPECT_TRUE(station.DirectButtonDown());
    EXPECT_TRUE(station.Link().IsDirectConnected());
    results->SetReading(true);
    ASSERT_TRUE(Pump([&] { return LogHas("+ KtORVEX répond de nouveau aux détections"); }));
    EXPECT_EQ(sounds_.Count(StationSound::LinkAlarm), 1);
    EXPECT_TRUE(station.Link().IsDirectConnected());
}

TEST_F(StationLinkTest, TextReachesTheResultsProgramInWindows1252) {
    auto results = StartResults(0);
    UseResults(results->port());
    Station& station = MakeStation();
    station.DirectConnectionButton(true);
    ASSERT_TRUE(Pump([&] { return station.Link().IsDirectConnected(); }));
    ASSERT_TRUE(Pump([&] { return results->GetCounts().requests >= 7; }));  // nothing else comes in between
    ASSERT_TRUE(station.Link().SendDirectLine("Arrivée"));
    ASSERT_TRUE(station.Link().SendDirectLine("Ωmega"));
    ASSERT_TRUE(station.Link().SendDirectLine("Ω"));
    ASSERT_TRUE(Pump([&] { return results->GetCounts().bad >= 3; }));
    const std::vector<std::string> lines = results->Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3],
              "Arriv\xe9"
              "e");
    EXPECT_EQ(lines[lines.size() - 2], "?mega");
    const std::string log = LogText();
    const std::string note = "## Texte non transmissible tel quel à KtORVEX (caractères remplacés par ?) : Ωmega";
    EXPECT_NE(log.find(note), std::string::npos);
    EXPECT_EQ(log.find("## Texte non transmissible", log.find(note) + 1), std::string::npos);
}

TEST_F(StationLinkTest, UnansweredAlarmBoundIsWrittenBackWithItsDefault) {
    MakeStation();
    EXPECT_NE(ReadWholeFile(scratch_.str() + "/WinORVEX.ini").find("UnansweredAlarmSeconds=30"), std::string::npos);
}

}  // namespace
}  // namespace winorvex::test
