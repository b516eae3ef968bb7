#include "core/station_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "core/log.h"
#include "core/settings.h"
#include "scoped_env.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

namespace fs = std::filesystem;

class StationSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(scratch_.path() / "docs");
        path_ = (scratch_.path() / "WinORVEX.ini").string();
        SetSettingsFilePath(path_);
    }
    void TearDown() override {
        SetSettingsFilePath("");
        SetLogWindowLevel(50);
        SetLogFileLevel(75);
    }

    std::string Docs() const { return (scratch_.path() / "docs").string(); }
    std::string FileText() const { return test::ReadWholeFile(path_); }

    test::ScratchDir scratch_;
    test::ScopedEnv documents_{"XDG_DOCUMENTS_DIR", (scratch_.path() / "docs").string()};
    std::string path_;
};

TEST_F(StationSettingsTest, FreshStartWritesBackEveryStartupKeyWithItsDefault) {
    LoadStartupSettings();

    // A fresh file receives the keys in the order they are written back; the connection time-out
    // and the two sound switches are read but never written.
    EXPECT_EQ(FileText(),
              "[Settings]\n"
              "GOrvexIgnoreInputMsDelta=50\n"
              "GOrvexIgnoreOutputMsDelta=300\n"
              "GOrvexReadMsDelta=1\n"
              "GOrvexEmptyDetectionsActions=-\n"
              "GOrvexDdeName=ORVEX\n"
              "GOrvexExportFile=" +
                  Docs() +
                  "/WinORVEX.rix\n"
                  "GOrvexSendNumbers=1\n"
                  "GOrvexIgnoreUnknownTags=0\n"
                  "GOrvexIgnoreLSDetections=0\n"
                  "GOrvexIgnoreFSDetections=0\n"
                  "GBoxReconnectSeconds=30\n"
                  "GDaysToAdd=0\n"
                  "[DirectConnection]\n"
                  "Port=8283\n"
                  "Host=127.0.0.1\n"
                  "ReconnectSeconds=15\n");

    const StationSettings& s = Settings();
    EXPECT_EQ(s.ignoreInputMsDelta, 50);
    EXPECT_EQ(s.ignoreOutputMsDelta, 300);
    EXPECT_EQ(s.readMsDelta, 1);
    EXPECT_EQ(s.connectionTimeout, 2);
    EXPECT_EQ(s.sendNumbers, 1);
    EXPECT_EQ(s.boxReconnectSeconds, 30);
    EXPECT_EQ(s.directPort, 8283);
    EXPECT_EQ(s.directReconnectSeconds, 15);
    EXPECT_TRUE(s.beepDetections);
    EXPECT_TRUE(s.beepWhenQuit);
    EXPECT_EQ(s.DirectHost(), "127.0.0.1");
    EXPECT_EQ(s.DdeName(), "ORVEX");
    EXPECT_EQ(s.ExportFile(), Docs() + "/WinORVEX.rix");
}

TEST_F(StationSettingsTest, StoredValuesAreTakenAndKeptAsTheyWere) {
    scratch_.WriteFile("WinORVEX.ini",
                       "[Settings]\n"
                       "GOrvexIgnoreInputMsDelta=80\n"
                       "GOrvexReadMsDelta=-4\n"
                       "GOrvexConnectionTimeout=5 seconds\n"
                       "GOrvexExportFile=/data/all.rix\n"
                       "GOrvexBeepDetections=0\n"
                       "GDaysToAdd=2\n"
                       "GOrvexIgnoreUnknownTags=1\n"
                       "[DirectConnection]\n"
                       "Host=timing-pc\n"
                       "Port=9000\n");
    LoadStartupSettings();

    const StationSettings& s = Settings();
    EXPECT_EQ(s.ignoreInputMsDelta, 80);
    EXPECT_EQ(s.readMsDelta, 0);
    EXPECT_EQ(s.connectionTimeout, 5);
    EXPECT_EQ(s.ExportFile(), "/data/all.rix");
    EXPECT_FALSE(s.beepDetections);
    EXPECT_TRUE(s.beepWhenQuit);
    EXPECT_EQ(s.daysToAdd, 2);
    EXPECT_EQ(s.ignoreUnknownTags, 1);
    EXPECT_EQ(s.DirectHost(), "timing-pc");
    EXPECT_EQ(s.directPort, 9000);

    EXPECT_EQ(ReadSettingInt("Settings", "GOrvexReadMsDelta", -1), 0);
    EXPECT_EQ(ReadSettingText("Settings", "GOrvexConnectionTimeout", ""), "5 seconds");
    EXPECT_EQ(ReadSettingText("Settings", "GOrvexExportFile", ""), "/data/all.rix");
    EXPECT_EQ(ReadSettingText("DirectConnection", "Host", ""), "timing-pc");
    EXPECT_EQ(ReadSettingInt("DirectConnection", "ReconnectSeconds", -1), 15);
    EXPECT_EQ(FileText().find("GOrvexBeepWhenQuit"), std::string::npos);
}

TEST_F(StationSettingsTest, InitialisationKeysAreWrittenBackAndSetTheLogLevels) {
    LoadInitialisationSettings();
    EXPECT_EQ(FileText(),
              "[Settings]\nBAbsClock=0\nLogWinLevel=50\nLogFileLevel=75\nBLogDetections=1\nBScrollDetections=1\n");

    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nBAbsClock=1\nLogWinLevel=30\nLogFileLevel=90\nBLogDetections=0\n");
    LoadInitialisationSettings();
    EXPECT_EQ(Settings().absClock, 1);
    EXPECT_EQ(Settings().logDetections, 0);
    EXPECT_EQ(Settings().scrollDetections, 1);
    EXPECT_EQ(LogWindowLevel(), 30);
    EXPECT_EQ(LogFileLevel(), 90);
}

TEST_F(StationSettingsTest, ExtendedStatusIsOnOnlyForAPositiveStoredValue) {
    EXPECT_FALSE(IsExtendedStatusMode());
    const std::pair<const char*, bool> cases[] = {{"1", true}, {"0", false}, {"-1", false}, {"7", true}, {"on", false}};
    for (const auto& [stored, expected] : cases) {
        scratch_.WriteFile("WinORVEX.ini", std::string("[VALDRONE]\nExtendedStatus=") + stored + "\n");
        EXPECT_EQ(IsExtendedStatusMode(), expected) << stored;
    }
    // Asked for each time: never written, and a later change is seen.
    EXPECT_EQ(FileText(), "[VALDRONE]\nExtendedStatus=on\n");
}

TEST(StationSettingsTexts, ReadersNeverSeeAHalfWrittenText) {
    StationSettings s;
    const std::string a(200, 'a');
    const std::string b(300, 'b');
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) s.SetDirectHost(i % 2 ? a : b);
    });
    for (int i = 0; i < 2000; ++i) {
        const std::string seen = s.DirectHost();
        ASSERT_TRUE(seen == a || seen == b || seen == "127.0.0.1") << seen.size();
    }
    writer.join();
}

}  // namespace
}  // namespace winorvex
