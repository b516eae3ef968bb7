#include "core/folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "scoped_env.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

namespace fs = std::filesystem;

// Every folder rule depends on the environment and on where the program lives: both are pinned
// to a scratch folder so that nothing outside it is looked at or created.
class FoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Program());
        fs::create_directories(Home());
        SetProgramFolderOverride(Program());
        ClearDataFolderOverride();
    }
    void TearDown() override {
        SetProgramFolderOverride("");
        ClearDataFolderOverride();
    }

    std::string At(const std::string& relative) const { return (scratch_.path() / relative).string(); }
    std::string Program() const { return At("prog"); }
    std::string Home() const { return At("home"); }

    test::ScratchDir scratch_;
    test::ScopedEnv dataDir_{"WINORVEX_DATA_DIR", std::nullopt};
    test::ScopedEnv xdgData_{"XDG_DATA_HOME", At("xdg")};
    test::ScopedEnv xdgConfig_{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv documents_{"XDG_DOCUMENTS_DIR", std::nullopt};
    test::ScopedEnv home_{"HOME", At("home")};
};

TEST_F(FoldersTest, PortableMarkerKeepsEverythingBesideTheProgramAndIsCheckedOnce) {
    scratch_.WriteFile("prog/_useXPdirs", "");
    EXPECT_EQ(GetDataFolder(), Program());
    EXPECT_EQ(GetSettingsFilePath(), Program() + "/WinORVEX.ini");
    EXPECT_EQ(GetFtpServersFilePath(), Program() + "/FtpServers.dat");
    EXPECT_EQ(GetLogFolder(), Program() + "/logfiles");
    EXPECT_TRUE(fs::is_directory(Program() + "/logfiles"));
    EXPECT_EQ(GetLogFilePath(), Program() + "/logfiles/WinORVEX.log");

    fs::remove(Program() + "/_useXPdirs");
    EXPECT_EQ(GetDataFolder(), Program()) << "the marker is looked for once per run";
    EXPECT_FALSE(fs::exists(At("xdg")));
}

TEST_F(FoldersTest, WithoutMarkerTheUserDataFolderIsCreated) {
    const std::string expected = At("xdg") + "/Norvane/WinORVEX";
    EXPECT_EQ(GetDataFolder(), expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(GetSettingsFilePath(), expected + "/WinORVEX.ini");
    EXPECT_EQ(GetLogFolder(), expected + "/logfiles");
    EXPECT_TRUE(fs::is_directory(expected + "/logfiles"));
}

TEST_F(FoldersTest, HomeIsUsedWhenTheDataHomeIsUnsetOrRelative) {
    const std::string expected = Home() + "/.local/share/Norvane/WinORVEX";
    {
        test::ScopedEnv unset("XDG_DATA_HOME", std::nullopt);
        EXPECT_EQ(GetDataFolder(), expected);
    }
    test::ScopedEnv relative("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(GetDataFolder(), expected);
    EXPECT_TRUE(fs::is_directory(expected));
}

TEST_F(FoldersTest, DataFolderThatCannotBeCreatedIsEmpty) {
    scratch_.WriteFile("blocker", "a file where a folder should go");
    test::ScopedEnv blocked("XDG_DATA_HOME", At("blocker"));
    EXPECT_EQ(GetDataFolder(), "");
    EXPECT_EQ(GetSettingsFilePath(), "/WinORVEX.ini");
}

TEST_F(FoldersTest, OverridesWinInOrder) {
    scratch_.WriteFile("prog/_useXPdirs", "");
    test::ScopedEnv forced("WINORVEX_DATA_DIR", At("forced") + "/");
    EXPECT_EQ(GetDataFolder(), At("forced"));
    EXPECT_TRUE(fs::is_directory(At("forced")));

    SetDataFolderOverride(At("pinned"));
    EXPECT_EQ(GetDataFolder(), At("pinned"));
    ClearDataFolderOverride();
    EXPECT_EQ(GetDataFolder(), At("forced"));
}

TEST_F(FoldersTest, DocumentsFolderComesFromTheUserFoldersElseHome) {
    EXPECT_EQ(GetDocumentsFolder(), Home());
    EXPECT_EQ(GetDefaultExportFilePath(), Home() + "/WinORVEX.rix");

    // The configured folder counts only once it exists.
    scratch_.WriteFile("home/.config/user-dirs.dirs",
                       "# comment\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\nXDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    EXPECT_EQ(GetDocumentsFolder(), Home());
    fs::create_directories(Home() + "/Documents");
    EXPECT_EQ(GetDocumentsFolder(), Home() + "/Documents");

    fs::create_directories(At("docs"));
    test::ScopedEnv documents("XDG_DOCUMENTS_DIR", At("docs"));
    EXPECT_EQ(GetDocumentsFolder(), At("docs"));
    EXPECT_EQ(GetDefaultExportFilePath(), At("docs") + "/WinORVEX.rix");
}

TEST_F(FoldersTest, IncomingDetectionsFileNameIsZeroPadded) {
    std::tm when{};
    when.tm_year = 2024 - 1900;
    when.tm_mon = 5;
    when.tm_mday = 5;
    when.tm_hour = 14;
    when.tm_min = 3;
    when.tm_sec = 7;
    EXPECT_EQ(IncomingDetectionsFileName(when), "WinORVEX-20240605-140307.dat");

    SetDataFolderOverride(At("data"));
    const std::string path = GetIncomingDetectionsFilePath();
    EXPECT_TRUE(std::regex_match(path, std::regex(".*/data/logfiles/WinORVEX-20[0-9]{6}-[0-9]{6}\\.dat"))) << path;
    EXPECT_TRUE(fs::is_directory(At("data/logfiles")));
}

}  // namespace
}  // namespace winorvex
