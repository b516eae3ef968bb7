#include "core/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace winorvex {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (scratch_.path() / "WinORVEX.ini").string();
        SetSettingsFilePath(path_);
    }
    void TearDown() override { SetSettingsFilePath(""); }

    std::string FileText() const { return test::ReadWholeFile(path_); }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(scratch_.path())) names.push_back(entry.path().filename());
        return names;
    }

    test::ScratchDir scratch_;
    std::string path_;
};

TEST_F(SettingsStoreTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(ReadSettingInt("Settings", "GDaysToAdd", 7), 7);
    EXPECT_EQ(ReadSettingInt("VALDRONE", "ExtendedStatus", -1), -1);
    EXPECT_TRUE(ReadSettingBool("Settings", "GOrvexBeepDetections", true));
    EXPECT_EQ(ReadSettingText("Settings", "GOrvexDdeName", "ORVEX"), "ORVEX");

    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nOther=1\n");
    EXPECT_EQ(ReadSettingInt("Settings", "GDaysToAdd", 7), 7);
    EXPECT_EQ(ReadSettingText("Nowhere", "Other", "d"), "d");
}

TEST_F(SettingsStoreTest, IntegersReadTheirLeadingDigitsAndNegativesReadZero) {
    scratch_.WriteFile("WinORVEX.ini",
                       "[S]\n"
                       "digits=12abc\n"
                       "letters=abc\n"
                       "blank=\n"
                       "spaced=   42  \n"
                       "negative=-5\n"
                       "plus=+8\n"
                       "huge=99999999999\n"
                       "hex=0x10\n");
    EXPECT_EQ(ReadSettingInt("S", "digits", 99), 12);
    EXPECT_EQ(ReadSettingInt("S", "letters", 99), 0);
    EXPECT_EQ(ReadSettingInt("S", "blank", 99), 99);
    EXPECT_EQ(ReadSettingInt("S", "spaced", 99), 42);
    EXPECT_EQ(ReadSettingInt("S", "negative", 99), 0);
    EXPECT_EQ(ReadSettingInt("S", "plus", 99), 8);
    EXPECT_EQ(ReadSettingInt("S", "huge", 99), INT_MAX);
    EXPECT_EQ(ReadSettingInt("S", "hex", 99), 0);

    WriteSettingInt("S", "written", -3);
    EXPECT_EQ(ReadSettingInt("S", "written", 5), 0);
}

TEST_F(SettingsStoreTest, BooleansAreIntegersComparedWithZero) {
    scratch_.WriteFile("WinORVEX.ini", "[S]\ntwo=2\nzero=0\nword=yes\n");
    EXPECT_TRUE(ReadSettingBool("S", "two", false));
    EXPECT_FALSE(ReadSettingBool("S", "zero", true));
    EXPECT_FALSE(ReadSettingBool("S", "word", true));

    WriteSettingBool("S", "on", true);
    WriteSettingBool("S", "off", false);
    EXPECT_EQ(FileText(), "[S]\ntwo=2\nzero=0\nword=yes\non=1\noff=0\n");
}

TEST_F(SettingsStoreTest, TextsAreCutAt2047Characters) {
    const std::string longAscii(3000, 'a');
    WriteSettingText("S", "ascii", longAscii);
    EXPECT_EQ(ReadSettingText("S", "ascii", ""), std::string(2047, 'a'));

    std::string accented;
    for (int i = 0; i < 2100; ++i) accented += "\xC3\xA9";  // é
    WriteSettingText("S", "utf8", accented);
    EXPECT_EQ(ReadSettingText("S", "utf8", ""), accented.substr(0, 2047 * 2));

    // The whole value stays in the file; only the read is cut.
    EXPECT_NE(FileText().find(longAscii), std::string::npos);
}

TEST_F(SettingsStoreTest, WritesKeepForeignLinesAndMatchNamesWithoutCase) {
    scratch_.WriteFile("WinORVEX.ini", "# not ours\n[Settings]\n; note\nGDaysToAdd=1\n\n[Mine]\nx=y\n");
    WriteSettingInt("settings", "gdaystoadd", 3);
    WriteSettingText("SETTINGS", "GOrvexDdeName", "RACE");
    EXPECT_EQ(ReadSettingInt("Settings", "GDaysToAdd", 0), 3);
    EXPECT_EQ(FileText(), "# not ours\n[Settings]\n; note\nGDaysToAdd=3\nGOrvexDdeName=RACE\n\n[Mine]\nx=y\n");
}

TEST_F(SettingsStoreTest, WriteReplacesTheFileAndLeavesNoTemporaryBehind) {
    scratch_.WriteFile("WinORVEX.ini", "[S]\nk=1\n");
    ::chmod(path_.c_str(), 0640);
    struct stat before {};
    ASSERT_EQ(::stat(path_.c_str(), &before), 0);

    WriteSettingInt("S", "k", 2);

    struct stat after {};
    ASSERT_EQ(::stat(path_.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino) << "the file must be replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"WinORVEX.ini"});
    EXPECT_EQ(FileText(), "[S]\nk=2\n");
}

TEST_F(SettingsStoreTest, FailedWritesAreIgnoredAndReadsGiveDefaults) {
    const std::string inMissingFolder = (scratch_.path() / "missing" / "WinORVEX.ini").string();
    SetSettingsFilePath(inMissingFolder);
    WriteSettingInt("S", "k", 5);
    WriteSettingText("S", "t", "x");
    EXPECT_EQ(ReadSettingInt("S", "k", 1), 1);
    EXPECT_EQ(ReadSettingText("S", "t", "d"), "d");
    EXPECT_FALSE(fs::exists(scratch_.path() / "missing"));

    // The target cannot be replaced (a folder sits there): the write must not leave its temporary
    // file, nor make later reads believe it succeeded.
    const fs::path blocked = scratch_.path() / "blocked.ini";
    fs::create_directory(blocked);
    SetSettingsFilePath(blocked.string());
    WriteSettingInt("S", "k", 5);
    EXPECT_EQ(ReadSettingInt("S", "k", 1), 1);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"blocked.ini"});
}

TEST_F(SettingsStoreTest, NoSettingsFileMeansDefaultsAndNoWrite) {
    SetSettingsFilePath("");
    WriteSettingInt("S", "k", 5);
    EXPECT_EQ(ReadSettingInt("S", "k", 1), 1);
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(SettingsStoreTest, EditsMadeByOthersAreSeen) {
    WriteSettingInt("S", "k", 1);
    ASSERT_EQ(ReadSettingInt("S", "k", 0), 1);

    scratch_.WriteFile("WinORVEX.ini", "[S]\nk=22\n");  // different size
    EXPECT_EQ(ReadSettingInt("S", "k", 0), 22);

    scratch_.WriteFile("WinORVEX.ini", "[S]\nk=33\n");  // same size: only the time tells
    fs::last_write_time(path_, fs::last_write_time(path_) + std::chrono::seconds(2));
    EXPECT_EQ(ReadSettingInt("S", "k", 0), 33);

    // A write after an outside edit builds on the edited file, not on a stale copy.
    scratch_.WriteFile("WinORVEX.ini", "[S]\nk=33\nadded=yes\n");
    WriteSettingInt("S", "k", 4);
    EXPECT_EQ(FileText(), "[S]\nk=4\nadded=yes\n");
}

TEST_F(SettingsStoreTest, ChangingTheFilePathSwitchesFiles) {
    WriteSettingInt("S", "k", 1);
    const std::string other = (scratch_.path() / "other.ini").string();
    SetSettingsFilePath(other);
    EXPECT_EQ(SettingsFilePath(), other);
    EXPECT_EQ(ReadSettingInt("S", "k", 9), 9);
    WriteSettingInt("S", "k", 2);
    SetSettingsFilePath(path_);
    EXPECT_EQ(ReadSettingInt("S", "k", 9), 1);
}

TEST_F(SettingsStoreTest, ExplicitFileFormsLeaveTheSettingsFileAlone) {
    const std::string other = (scratch_.path() / "other.ini").string();
    WriteSettingText("A", "t", "hello", other);
    WriteSettingBool("A", "b", true, other);
    WriteSettingInt("A", "i", 12, other);
    EXPECT_EQ(ReadSettingText("A", "t", "", other), "hello");
    EXPECT_TRUE(ReadSettingBool("A", "b", false, other));
    EXPECT_EQ(ReadSettingInt("A", "i", 0, other), 12);
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsStoreTest, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 6;
    constexpr int kKeysEach = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string section = "Thread" + std::to_string(t % 3);
            for (int i = 0; i < kKeysEach; ++i) {
                const std::string key = "Key" + std::to_string(t) + "_" + std::to_string(i);
                WriteSettingInt(section, key, t * 1000 + i);
                (void)ReadSettingInt(section, key, -1);
            }
        });
    }
    for (auto& thread : threads) thread.join();

    FlushSettings();
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kKeysEach; ++i) {
            const std::string key = "Key" + std::to_string(t) + "_" + std::to_string(i);
            EXPECT_EQ(ReadSettingInt("Thread" + std::to_string(t % 3), key, -1), t * 1000 + i) << key;
        }
    }
    EXPECT_EQ(FolderEntries().size(), 1u);
}

}  // namespace
}  // namespace winorvex
