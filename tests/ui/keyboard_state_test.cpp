#include "ui/keyboard_state.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/settings.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

class KeyboardStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(scratch_.path() / "leds");
        SetSettingsFilePath((scratch_.path() / "WinORVEX.ini").string());
    }
    void TearDown() override { SetSettingsFilePath(""); }

    std::string Leds() const { return (scratch_.path() / "leds").string(); }
    void SetLed(const std::string& device, const std::string& brightness) const {
        std::filesystem::create_directories(scratch_.path() / "leds" / device);
        scratch_.WriteFile("leds/" + device + "/brightness", brightness);
    }

    test::ScratchDir scratch_;
};

TEST_F(KeyboardStateTest, ScrollLockFollowsTheLedOfAnyKeyboard) {
    SetLed("input3::capslock", "1\n");
    SetLed("input3::scrolllock", "0\n");
    SetLed("input7::scrolllock", "0\n");
    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nBSpeech=1\n");  // an LED exists: the setting is not used
    QtKeyboardState keyboard(Leds());
    EXPECT_EQ(keyboard.ScrollLockFiles().size(), 2u);
    EXPECT_FALSE(keyboard.ScrollLockOn());
    SetLed("input7::scrolllock", "1\n");
    EXPECT_TRUE(keyboard.ScrollLockOn());  // read at every call, not once
    SetLed("input7::scrolllock", "0\n");
    EXPECT_FALSE(keyboard.ScrollLockOn());
}

TEST_F(KeyboardStateTest, WithoutAReadableLedTheSettingStandsForTheKey) {
    SetLed("input3::capslock", "1\n");
    QtKeyboardState keyboard(Leds());
    EXPECT_TRUE(keyboard.ScrollLockFiles().empty());
    EXPECT_FALSE(keyboard.ScrollLockOn());  // no key, no setting: off
    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nBSpeech=1\n");
    EXPECT_TRUE(keyboard.ScrollLockOn());
    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nBSpeech=0\n");
    EXPECT_FALSE(keyboard.ScrollLockOn());

    QtKeyboardState nowhere((scratch_.path() / "missing").string());
    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nBSpeech=1\n");
    EXPECT_TRUE(nowhere.ScrollLockOn());
}

TEST_F(KeyboardStateTest, AnUnreadableLedValueFallsBackToTheSetting) {
    SetLed("input3::scrolllock", "garbage");
    scratch_.WriteFile("WinORVEX.ini", "[Settings]\nBSpeech=1\n");
    QtKeyboardState keyboard(Leds());
    EXPECT_TRUE(keyboard.ScrollLockOn());
}

}  // namespace
}  // namespace winorvex
