// The winorvex program without windows, as a screenless station runs it: boxes connected at start,
// log lines on standard output, SIGTERM ending it cleanly.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "headless_fixture.h"

namespace winorvex::test {
namespace {

namespace fs = std::filesystem;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

using HeadlessStation = HeadlessFixture;

TEST_F(HeadlessStation, RecordsTwoReadersAndEndsCleanlyOnSigterm) {
    AddReader(0, 40);
    AddReader(1, 60);
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--data-dir", data_, "--lang", "en"}, "station");
    ASSERT_TRUE(station.Started());
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::string file = DetectionFile();
            return !file.empty() && Count(ReadWholeFile(file), "\r\n") == 100;
        },
        std::chrono::seconds(20)))
        << station.Out();
    station.Signal(SIGTERM);
    EXPECT_EQ(station.Wait(std::chrono::seconds(10)), 0) << station.Err();

    const std::string out = station.Out();
    EXPECT_NE(out.find("------------------------ Starting WinORVEX version"), std::string::npos);
    EXPECT_NE(out.find("+ Box 1 initialized on 127.0.0.1"), std::string::npos);
    EXPECT_NE(out.find("+ Sortie du module d'acquisition..."), std::string::npos);
    EXPECT_NE(out.find("------------------------ Sortie WinORVEX"), std::string::npos);
    // Every worker that entered left before the end.
    EXPECT_EQ(Count(out, ": ENTER thread"), 2u);
    EXPECT_EQ(Count(out, ": EXIT thread"), 2u);
    EXPECT_LT(out.rfind(": EXIT thread"), out.find("+ Sortie du module d'acquisition..."));

    const std::string lines = ReadWholeFile(DetectionFile());
    EXPECT_EQ(Count(lines, "\t41\t"), 40u);
    EXPECT_EQ(Count(lines, "\t42\t"), 60u);
}

TEST_F(HeadlessStation, NoConnectLeavesTheBoxesAloneAndSigintEndsIt) {
    AddReader(0, 10);
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", data_}, "station");
    ASSERT_TRUE(WaitFor([&] { return station.Out().find("Lancement WinORVEX") != std::string::npos; },
                        std::chrono::seconds(10)));
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(station.Out().find("ENTER thread"), std::string::npos);
    EXPECT_NE(station.Out().find("------------------------ Sortie WinORVEX"), std::string::npos);
}

TEST_F(HeadlessStation, SecondStationOnTheSameFolderIsRefused) {
    ChildProcess first(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", data_}, "first");
    ASSERT_TRUE(
        WaitFor([&] { return first.Out().find("Lancement WinORVEX") != std::string::npos; }, std::chrono::seconds(10)));
    ChildProcess second(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", data_}, "second");
    EXPECT_EQ(second.Wait(std::chrono::seconds(10)), 1);
    EXPECT_NE(second.Err().find("WinORVEX est déjà lancé"), std::string::npos) << second.Out() << second.Err();
    first.Signal(SIGTERM);
    EXPECT_EQ(first.Wait(std::chrono::seconds(10)), 0);
}

// Two data folders, one runtime folder, the same GOrvexDdeName: the second station says whose the
// name is and what to change, and does not run; once the first is dead its socket is taken over.
TEST_F(HeadlessStation, SecondStationOnTheSameServiceNameSaysWhoseItIs) {
    const std::string other = scratch_.str() + "/other";
    fs::create_directories(other);
    fs::copy_file(data_ + "/OrvexTable.dtb", other + "/OrvexTable.dtb");
    ChildProcess first(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", data_}, "first");
    ASSERT_TRUE(
        WaitFor([&] { return first.Out().find("Lancement WinORVEX") != std::string::npos; }, std::chrono::seconds(10)));

    ChildProcess second(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", other, "--lang", "en"},
                        "second");
    EXPECT_EQ(second.Wait(std::chrono::seconds(10)), 3);
    const std::string err = second.Err();
    EXPECT_NE(err.find("InitDDE: Error ORVEX DdeNameService"), std::string::npos) << err;
    EXPECT_NE(err.find("held by the station of the data folder " + data_ + "."), std::string::npos) << err;
    EXPECT_NE(err.find("GOrvexDdeName"), std::string::npos) << err;
    EXPECT_NE(err.find(other + "/WinORVEX.ini"), std::string::npos) << err;
    // It did not run half-way: no banner, no detection file.
    EXPECT_EQ(second.Out().find("Lancement WinORVEX"), std::string::npos) << second.Out();
    if (fs::exists(other + "/logfiles")) {
        for (const auto& entry : fs::directory_iterator(other + "/logfiles"))
            EXPECT_NE(entry.path().extension(), ".dat") << entry.path();
    }

    // A station that died leaves its socket file behind: the next one takes it over.
    first.Signal(SIGKILL);
    first.Wait(std::chrono::seconds(10));
    ASSERT_TRUE(fs::exists(scratch_.str() + "/WinORVEX/ORVEX"));
    ChildProcess third(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", other}, "third");
    ASSERT_TRUE(
        WaitFor([&] { return third.Out().find("Lancement WinORVEX") != std::string::npos; }, std::chrono::seconds(10)))
        << third.Err();
    EXPECT_NE(third.Out().find("+ Stale command socket replaced"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(scratch_.str() + "/WinORVEX/ORVEX.holder"), other + "\n");
    third.Signal(SIGTERM);
    EXPECT_EQ(third.Wait(std::chrono::seconds(10)), 0);
}

TEST_F(HeadlessStation, SocketPathOverTheLimitIsRefusedNamingTheLimit) {
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    const std::string folder = scratch_.str() + "/" + std::string(100, 'd');
    fs::create_directories(folder);
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--no-connect", "--data-dir", folder, "--lang", "en"},
                         "station");
    EXPECT_EQ(station.Wait(std::chrono::seconds(10)), 3);
    const std::string err = station.Err();
    EXPECT_NE(err.find("over the 107-byte limit"), std::string::npos) << err;
    EXPECT_NE(err.find("set XDG_RUNTIME_DIR"), std::string::npos) << err;
}

TEST_F(HeadlessStation, UnknownOptionIsAUsageError) {
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--frobnicate"}, "station");
    EXPECT_EQ(station.Wait(std::chrono::seconds(10)), 2);
    EXPECT_NE(station.Err().find("usage: winorvex"), std::string::npos);
}

}  // namespace
}  // namespace winorvex::test
