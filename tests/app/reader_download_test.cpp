// The ELITE log download against pyftpdlib and a simulated reader's side service, the destination
// folder checks, and the handheld download's work against simulated and silent readers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "app/download_boxes.h"
#include "app/elite_log_download.h"
#include "app/handheld_download.h"
#include "platform/tcp_listener.h"
#include "pyftpd_server.h"
#include "reader/box_manager.h"
#include "reader/logging_detail.h"
#include "station_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

std::vector<std::string> Names(const std::vector<CFtpFileDesc>& files) {
    std::vector<std::string> names;
    for (const CFtpFileDesc& file : files) names.push_back(file.name);
    return names;
}

class EliteDownloadTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        root_ = scratch_.str() + "/reader";
        folder_ = scratch_.str() + "/downloads";
        fs::create_directories(root_);
        fs::create_directories(folder_);
        tty01_ = Repeat("aa0102030405060708091011\r\n", 40);
        WriteFile(root_ + "/tty01.log", tty01_);
        WriteFile(root_ + "/FS2.log", "aa01\r\n");
        WriteFile(root_ + "/system.log", "boot\r\n");
        WriteFile(root_ + "/empty.log", "");
        WriteFile(root_ + "/notes.txt", "not a log\r\n");
    }
    void TearDown() override {
        server_.Stop();
        StationTest::TearDown();
    }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // The reader's FTP server; false (the test skipped) when pyftpdlib is missing here.
    bool StartServer(PyFtpServer::Options options = {}) {
        options.anonymous = true;
        return server_.Start(root_, options, skip_);
    }

    // Box 1: a simulated ELITE reader for its side service, its logs on the FTP server.
    DeclaredBox EliteBox() {
        AddSimulator(1, sim::Options{});
        Ini("OrvexBoxes", "BoxFtpPort0", std::to_string(server_.Port()));
        Station& station = MakeStation();
        const std::vector<DeclaredBox> boxes = DeclaredBoxes(station.Boxes());
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? DeclaredBox{} : boxes.front();
    }

    PyFtpServer server_;
    std::string skip_;
    std::string root_;
    std::string folder_;
    std::string tty01_;
};

TEST_F(EliteDownloadTest, DeclaredBoxesAreTheSlotsWithAnIdentifierAndAHost) {
    Ini("OrvexBoxes", "BoxHost0", "127.0.0.1");
    Ini("OrvexBoxes", "BoxPort0", "10000");
    Ini("OrvexBoxes", "BoxIdDetector0", "31");
    Ini("OrvexBoxes", "BoxFtpPort0", "2121");
    Ini("OrvexBoxes", "BoxHost1", "");  // no host: not a declared box
    Ini("OrvexBoxes", "BoxHost2", "192.168.1.50");
    Ini("OrvexBoxes", "BoxPort2", "10000");
    Ini("OrvexBoxes", "BoxIdDetector2", "33");
    Station& station = MakeStation();
    const std::vector<DeclaredBox> boxes = DeclaredBoxes(station.Boxes());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].boxNumber, 1);
    EXPECT_EQ(boxes[0].text, "Boîtier 1 " + station.Boxes().Box(1).Address().Description());
    EXPECT_EQ(boxes[0].detectorId, "31");
    EXPECT_EQ(EliteFtpSite(boxes[0]), "127.0.0.1:2121");
    EXPECT_EQ(boxes[1].boxNumber, 3);
    EXPECT_EQ(boxes[1].fileTag, station.Boxes().Box(3).Address().FileTag());
    // The standard port is left out of the site, and the FTP port is never written back.
    EXPECT_EQ(EliteFtpSite(boxes[1]), "192.168.1.50");
    station_.reset();
    EXPECT_EQ(ReadSettingText("OrvexBoxes", "BoxFtpPort2", "none", scratch_.str() + "/WinORVEX.ini"), "none");
}

TEST_F(EliteDownloadTest, TheOptionListsTheDetectionFilesOrEveryLog) {
    if (!StartServer()) GTEST_SKIP() << skip_;
    const DeclaredBox box = EliteBox();

    EliteListing only = ListEliteLogs(box, true);
    ASSERT_EQ(only.outcome, EliteListing::Outcome::Listed) << only.message;
    std::vector<std::string> names = Names(only.files);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"FS2.log", "tty01.log"}));

    EliteListing all = ListEliteLogs(box, false);
    ASSERT_EQ(all.outcome, EliteListing::Outcome::Listed);
    names = Names(all.files);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"FS2.log", "empty.log", "system.log", "tty01.log"}));
    for (const CFtpFileDesc& file : all.files) {
        if (file.name == "tty01.log") {
            EXPECT_EQ(file.size, static_cast<std::int64_t>(tty01_.size()));
        }
        if (file.name == "empty.log") {
            EXPECT_EQ(file.size, 0);
        }
    }
    EXPECT_EQ(EliteFileLine(CFtpFileDesc{"tty01.log", 1040}), "Fichier [tty01.log] : 1040 octets");
    SetLanguage(Language::English);
    EXPECT_EQ(EliteFileLine(CFtpFileDesc{"tty01.log", 1040}), "File [tty01.log] : 1040 bytes");
}

TEST_F(EliteDownloadTest, WithoutTheSideServiceItIsALiteBoxAndWithoutFtpTheBoxCannotBeReached) {
    Ini("OrvexBoxes", "BoxHost0", "127.0.0.1");
    Ini("OrvexBoxes", "BoxPort0", "10000");
    Ini("OrvexBoxes", "BoxSidePort0", std::to_string(FreeLoopbackPort()));
    Ini("OrvexBoxes", "BoxHost1", "/dev/ttyS0");
    Ini("OrvexBoxes", "BoxPort1", "9600");
    sim::Options elite;
    AddSimulator(3, elite);  // its side service answers, but nothing serves FTP there
    Ini("OrvexBoxes", "BoxFtpPort2", std::to_string(FreeLoopbackPort()));
    Station& station = MakeStation();
    const std::vector<DeclaredBox> boxes = DeclaredBoxes(station.Boxes());
    ASSERT_EQ(boxes.size(), 3u);
    ASSERT_TRUE(boxes[1].serial);

    const std::string lite = "Erreur de connexion. Boîtier Lite ?";
    for (int i : {0, 1}) {
        const auto start = std::chrono::steady_clock::now();
        const EliteListing listing = ListEliteLogs(boxes[static_cast<std::size_t>(i)], true);
        EXPECT_EQ(listing.outcome, EliteListing::Outcome::NoSideService);
        EXPECT_EQ(listing.message, lite);
        EXPECT_TRUE(listing.files.empty());
        // A refused probe answers at once, well inside the probe's time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(kEliteProbeSeconds));
    }
    const EliteListing unreachable = ListEliteLogs(boxes[2], true, FtpTimeouts{2000, 5, 1});
    EXPECT_EQ(unreachable.outcome, EliteListing::Outcome::ListingFailed);
    EXPECT_EQ(unreachable.message, "Erreur de connexion au boitier...");
}

TEST_F(EliteDownloadTest, AListingOfAReaderThatStopsAnsweringEndsWhenAborted) {
    PyFtpServer::Options stalling;
    stalling.stallOn = {"LIST", "MLSD", "NLST"};
    if (!StartServer(stalling)) GTEST_SKIP() << skip_;
    const DeclaredBox box = EliteBox();
    std::atomic<bool> abort{false};
    std::atomic<bool> ended{false};
    EliteListing listing;
    // Time-outs far beyond the test's deadline: only the abort can end it in time.
    std::thread lister([&] {
        listing = ListEliteLogs(box, true, FtpTimeouts{60000, 120, 1}, &abort);
        ended.store(true);
    });
    ASSERT_TRUE(WaitFor([&] { return server_.CountEvents("LOGIN") > 0; }, 10s));
    EXPECT_FALSE(ended.load());
    abort.store(true);
    const bool endedInTime = WaitFor([&] { return ended.load(); }, 10s);
    if (!endedInTime) server_.Stop();  // lets the thread end so that the test can report
    lister.join();
    ASSERT_TRUE(endedInTime);
    EXPECT_EQ(listing.outcome, EliteListing::Outcome::ListingFailed);
    EXPECT_TRUE(listing.files.empty());
}

TEST_F(EliteDownloadTest, ADownloadLandsBesideTheTagAndOnlyAWholeOneReplacesTheEarlierCopy) {
    if (!StartServer()) GTEST_SKIP() << skip_;
    const DeclaredBox box = EliteBox();
    const EliteListing listing = ListEliteLogs(box, true);
    ASSERT_EQ(listing.outcome, EliteListing::Outcome::Listed);
    CFtpFileDesc tty;
    for (const CFtpFileDesc& file : listing.files) {
        if (file.name == "tty01.log") tty = file;
    }
    ASSERT_EQ(tty.name, "tty01.log");

    const EliteDownload done = DownloadEliteLog(box, tty, folder_);
    ASSERT_TRUE(done.ok) << done.error;
    EXPECT_EQ(done.path, folder_ + "/" + box.fileTag + "_tty01.log");
    EXPECT_EQ(done.detector, "31");
    EXPECT_EQ(ReadWholeFile(done.path), tty01_);

    // The reader's log grew since the listing: more bytes than listed is a whole file.
    const std::string grown = tty01_ + "aa0102030405060708091099\r\n";
    WriteFile(root_ + "/tty01.log", grown);
    ASSERT_TRUE(DownloadEliteLog(box, tty, folder_).ok);
    EXPECT_EQ(ReadWholeFile(done.path), grown);

    // Fewer bytes than listed: refused, and the copy fetched before stays as it was.
    CFtpFileDesc claimed = tty;
    claimed.size = static_cast<std::int64_t>(grown.size()) + 100;
    const EliteDownload shortOne = DownloadEliteLog(box, claimed, folder_);
    EXPECT_FALSE(shortOne.ok);
    EXPECT_TRUE(shortOne.path.empty());
    EXPECT_NE(shortOne.error.find("listed"), std::string::npos) << shortOne.error;
    EXPECT_EQ(ReadWholeFile(done.path), grown);

    // A listed name that climbs out of the folder is reduced to its plain name.
    WriteFile(root_ + "/FS9.log", "aa09\r\n");
    const EliteDownload climbing = DownloadEliteLog(box, CFtpFileDesc{"../../FS9.log", 6}, folder_);
    ASSERT_TRUE(climbing.ok) << climbing.error;
    EXPECT_EQ(climbing.path, folder_ + "/" + box.fileTag + "_FS9.log");

    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_)) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{box.fileTag + "_tty01.log", box.fileTag + "_FS9.log"}));
}

TEST_F(EliteDownloadTest, AServerStoppedDuringTheTransferIsAFailureAndTheEarlierCopyStays) {
    PyFtpServer::Options slow;
    slow.writeLimit = 64 * 1024;
    const std::string big = Repeat("aa0102030405060708091011\r\n", 40000);  // about 1 MB: many seconds at that rate
    WriteFile(root_ + "/tty01.log", big);
    if (!StartServer(slow)) GTEST_SKIP() << skip_;
    const DeclaredBox box = EliteBox();
    const std::string earlier = folder_ + "/" + box.fileTag + "_tty01.log";
    WriteFile(earlier, "the copy of this morning\r\n");

    EliteDownload outcome;
    std::thread transfer([&] {
        outcome = DownloadEliteLog(box, CFtpFileDesc{"tty01.log", static_cast<std::int64_t>(big.size())}, folder_,
                                   nullptr, FtpTimeouts{3000, 5, 1});
    });
    // Stop the server once the first bytes have arrived.
    const bool started = WaitFor(
        [&] {
            for (const auto& entry : fs::directory_iterator(folder_)) {
                if (entry.path().filename().string().find(".part-") != std::string::npos &&
                    fs::file_size(entry.path()) > 0) {
                    return true;
                }
            }
            return false;
        },
        10s);
    server_.Stop();
    transfer.join();
    ASSERT_TRUE(started);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.error.empty());
    EXPECT_EQ(ReadWholeFile(earlier), "the copy of this morning\r\n");
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_)) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{box.fileTag + "_tty01.log"}));
}

TEST_F(EliteDownloadTest, TheDestinationFolderIsTrimmedAndCreatedOnlyWhenTheOperatorAgrees) {
    EXPECT_FALSE(CheckDownloadFolder("   ", operator_));
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(operator_.warnings[0], "Spécifiez un répertoire local de téléchargement !");

    EXPECT_EQ(CheckDownloadFolder("  " + folder_ + "\t", operator_), folder_);
    EXPECT_TRUE(operator_.questions.empty());

    const std::string missing = scratch_.str() + "/new/logs";
    operator_.Script({false, true});
    EXPECT_FALSE(CheckDownloadFolder(missing, operator_));
    EXPECT_FALSE(fs::exists(missing));
    ASSERT_EQ(operator_.questions.size(), 1u);
    EXPECT_EQ(operator_.questions[0], "Le répertoire\n    " + missing + "  \nn'existe pas.\nLe créer ?");
    EXPECT_EQ(CheckDownloadFolder(missing, operator_), missing);
    EXPECT_TRUE(fs::is_directory(missing));

    // A file where the folder should be: the message names the folder and the reason.
    WriteFile(scratch_.str() + "/taken", "x");
    EXPECT_FALSE(CheckDownloadFolder(scratch_.str() + "/taken/logs", operator_));
    ASSERT_EQ(operator_.warnings.size(), 2u);
    EXPECT_EQ(
        operator_.warnings[1].rfind("Erreur de création du répertoire\n    " + scratch_.str() + "/taken/logs  \n", 0),
        0u)
        << operator_.warnings[1];
    EXPECT_GT(operator_.warnings[1].size(),
              ("Erreur de création du répertoire\n    " + scratch_.str() + "/taken/logs  \n").size());
}

// ---- the handheld ----------------------------------------------------------------------------

class HandheldDownloadTest : public StationTest {
protected:
    static constexpr std::uint64_t kRecords = 30;

    static sim::Options Reader(int clearStepMs = 50) {
        sim::Options options;
        options.start_paused = true;
        options.rate = 500;
        options.clear_step_ms = clearStepMs;
        return options;
    }

    Station& ConnectedStation() {
        Station& station = MakeStation();
        station.ConnectAllBoxes();
        EXPECT_TRUE(station.Boxes().Box(1).Transport()->IsOpen());
        return station;
    }

    // Ticks until the model rests (every wait in it is bounded).
    bool RunToRest(HandheldDownloadModel& model, std::chrono::milliseconds deadline = 10s) {
        return Pump(
            [&] {
                model.Tick();
                return model.CurrentPhase() == HandheldDownloadModel::Phase::Idle;
            },
            deadline);
    }

    static bool Has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static HandheldTimings Fast() {
        HandheldTimings timings;
        timings.detailPoll = 10ms;
        timings.clearPoll = 10ms;
        return timings;
    }
};

TEST_F(HandheldDownloadTest, TheRefreshShowsTheCountersAndTheDownloadHoldsEveryRecordedRead) {
    sim::Simulator& reader = AddSimulator(1, Reader());
    Station& station = ConnectedStation();
    HandheldDownloadModel model(station.Boxes(), &sounds_, Fast());
    ASSERT_EQ(model.Boxes().size(), 1u);

    ASSERT_TRUE(model.SetRecording(0, true));
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recording; }));
    reader.SendReads(kRecords);
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recorded == kRecords; }));
    ASSERT_TRUE(model.SetRecording(0, false));
    ASSERT_TRUE(Pump([&] { return !reader.Stats()->engine.recording; }));

    ASSERT_TRUE(model.Refresh(0));
    EXPECT_EQ(model.Information(), std::vector<std::string>{"Recherche des détections..."});
    ASSERT_TRUE(RunToRest(model));
    const std::vector<std::string>& shown = model.Information();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[1], "Détections enregistrées : 30");
    EXPECT_EQ(shown[4].rfind("Espace libre : ", 0), 0u);

    const std::string folder = scratch_.str() + "/handheld";
    fs::create_directories(folder);
    std::string error;
    const std::optional<std::string> path = model.StartDownload(0, folder, error);
    ASSERT_TRUE(path) << error;
    const std::string tag = station.Boxes().Box(1).Address().FileTag();
    EXPECT_TRUE(std::regex_match(*path, std::regex(folder + "/" + tag + "-20[0-9]{6}-[0-9]{6}\\.log"))) << *path;
    COrvexBox& box = station.Boxes().Box(1);
    ASSERT_TRUE(Pump([&] { return !box.IsDownloading() && !box.IsDownloadFileOpen(); }, 20s));
    EXPECT_EQ(BoxDownloadingInto(station.Boxes(), *path), 0);
    std::set<std::string> reads;
    std::istringstream in(ReadWholeFile(*path));
    for (std::string line; std::getline(in, line);) reads.insert(line);
    EXPECT_EQ(reads.size(), kRecords);
}

TEST_F(HandheldDownloadTest, ClearingShowsItsProgressToClearedThenTheEmptyCounters) {
    sim::Simulator& reader = AddSimulator(1, Reader(150));
    Station& station = ConnectedStation();
    HandheldDownloadModel model(station.Boxes(), &sounds_, Fast());
    ASSERT_TRUE(model.SetRecording(0, true));
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recording; }));
    reader.SendReads(5);
    ASSERT_TRUE(Pump([&] { return reader.Stats()->engine.recorded == 5; }));

    ASSERT_TRUE(model.StartClearing(0));
    EXPECT_EQ(model.CurrentPhase(), HandheldDownloadModel::Phase::Clearing);
    // Every line the list showed on the way: the refresh after "cleared" starts a new list.
    std::vector<std::string> seen;
    const auto tick = [&] {
        model.Tick();
        for (const std::string& line : model.Information()) {
            if (!Has(seen, line)) seen.push_back(line);
        }
    };
    ASSERT_TRUE(Pump([&] {
        tick();
        return Has(model.Information(), "Effacement des données Pistolet terminé.");
    }));
    ASSERT_TRUE(Pump([&] {
        tick();
        return model.CurrentPhase() == HandheldDownloadModel::Phase::Idle;
    }));
    for (const char* percent : {"0", "25", "50", "75"}) {
        EXPECT_TRUE(Has(seen, std::string("Effacement des données Pistolet en cours : ") + percent + "%"))
            << ::testing::PrintToString(seen);
    }
    EXPECT_FALSE(Has(seen, "Effacement des données Pistolet en cours : 100%"));
    // The refreshed counters under the line that says it is done.
    const std::vector<std::string>& shown = model.Information();
    ASSERT_EQ(shown.size(), 6u) << ::testing::PrintToString(shown);
    EXPECT_EQ(shown[0], "Effacement des données Pistolet terminé.");
    EXPECT_EQ(shown[2], "Détections enregistrées : 0");
    EXPECT_EQ(sounds_.Count(StationSound::Completion), 1);
    EXPECT_EQ(station.Boxes().Box(1).ClearingPercent(), kClearingUnknown);
    EXPECT_FALSE(reader.Stats()->engine.recording);
}

TEST_F(HandheldDownloadTest, ASilentReaderEndsEveryWaitWithAMessageAndNeverCleared) {
    TcpListener silent;
    std::string error;
    ASSERT_TRUE(silent.Listen("127.0.0.1", 0, 4, error)) << error;
    Ini("OrvexBoxes", "BoxHost0", "127.0.0.1");
    Ini("OrvexBoxes", "BoxPort0", std::to_string(silent.Port()));
    Station& station = ConnectedStation();
    TcpSocket peer = silent.Accept(2000);
    ASSERT_TRUE(peer.IsOpen());
    HandheldDownloadModel model(station.Boxes(), &sounds_);

    ASSERT_TRUE(model.Refresh(0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(model.Tick(start + 9s));
    EXPECT_TRUE(model.Tick(start + 11s));
    EXPECT_EQ(model.CurrentPhase(), HandheldDownloadModel::Phase::Idle);
    EXPECT_EQ(model.Information().back(), "Pas de réponse du Pistolet en 10 s.");
    EXPECT_EQ(sounds_.Count(StationSound::Warning), 1);

    ASSERT_TRUE(model.StartClearing(0));
    const auto cleared = std::chrono::steady_clock::now();
    EXPECT_TRUE(model.Tick(cleared));  // the 0 % the sequence starts from
    EXPECT_FALSE(model.Tick(cleared + 5s));
    EXPECT_TRUE(model.Tick(cleared + 11s));
    EXPECT_EQ(model.CurrentPhase(), HandheldDownloadModel::Phase::Idle);
    EXPECT_FALSE(Has(model.Information(), "Effacement des données Pistolet terminé."));
    EXPECT_EQ(station.Boxes().Box(1).ClearingPercent(), kClearingUnknown);
    EXPECT_EQ(sounds_.Count(StationSound::Completion), 0);
}

TEST_F(HandheldDownloadTest, ABoxNotConnectedOrGoneStopsAtOnce) {
    sim::Simulator& reader = AddSimulator(1, Reader(5000));
    Station& station = MakeStation();
    HandheldDownloadModel idle(station.Boxes(), &sounds_, Fast());
    EXPECT_FALSE(idle.Refresh(0));
    EXPECT_EQ(idle.CurrentPhase(), HandheldDownloadModel::Phase::Idle);
    EXPECT_EQ(idle.Information().size(), 2u);
    EXPECT_FALSE(idle.StartClearing(0));
    EXPECT_FALSE(idle.SetRecording(0, true));
    std::string error;
    EXPECT_FALSE(idle.StartDownload(0, scratch_.str(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(sounds_.Count(StationSound::Warning), 3);

    station.ConnectAllBoxes();
    HandheldDownloadModel model(station.Boxes(), &sounds_, Fast());
    ASSERT_TRUE(model.StartClearing(0));
    reader.Stop();
    ASSERT_TRUE(RunToRest(model));
    EXPECT_EQ(model.Information().back(), "Effacement interrompu : le boîtier n'est plus connecté.");
    EXPECT_EQ(station.Boxes().Box(1).ClearingPercent(), kClearingUnknown);
}

}  // namespace
}  // namespace winorvex::test
