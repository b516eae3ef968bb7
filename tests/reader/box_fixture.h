#pragma once
// A slot in a known state: scratch settings file and log file (every level), English texts.
#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "core/settings.h"
#include "core/texts.h"
#include "support/test_support.h"

namespace winorvex::test {

class BoxFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedLanguage_ = CurrentLanguage();
        SetLanguage(Language::English);
        settingsPath_ = (scratch_.path() / "WinORVEX.ini").string();
        SetSettingsFilePath(settingsPath_);
        logPath_ = (scratch_.path() / "WinORVEX.log").string();
        SetLogFilePath(logPath_);
        SetLogFileLevel(100);
    }

    void TearDown() override {
        SetLogFilePath("");
        SetLogFileLevel(75);
        SetSettingsFilePath("");
        SetLanguage(savedLanguage_);
    }

    bool LogHas(const std::string& text) const { return ReadWholeFile(logPath_).find(text) != std::string::npos; }

    ScratchDir scratch_;
    std::string settingsPath_;
    std::string logPath_;
    Language savedLanguage_ = Language::French;
};

}  // namespace winorvex::test
