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

TEST_F(HeadlessStation, UnknownOptionIsAUsageError) {
    ChildProcess station(WINORVEX_EXE, scratch_, {"--headless", "--frobnicate"}, "station");
    EXPECT_EQ(station.Wait(std::chrono::seconds(10)), 2);
    EXPECT_NE(station.Err().find("usage: winorvex"), std::string::npos);
}

}  // namespace
}  // namespace winorvex::test
