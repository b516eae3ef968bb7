#pragma once
// Puts the process-wide logging in a known state around each test: a fresh log file in a scratch
// folder, default levels, a window attached with an empty queue.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/texts.h"
#include "support/test_support.h"

namespace winorvex::test {

class LogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedLanguage_ = CurrentLanguage();
        logPath_ = (scratch_.path() / "WinORVEX.log").string();
        SetLogFilePath(logPath_);
        SetLogWindowLevel(50);
        SetLogFileLevel(75);
        SetLogWindowAttached(true);
        DrainLogWindowQueue();
    }

    void TearDown() override {
        SetLogWindowAttached(false);
        SetLogFilePath("");
        SetLogWindowLevel(50);
        SetLogFileLevel(75);
        SetLanguage(savedLanguage_);
    }

    std::string FileText() const { return ReadWholeFile(logPath_); }

    std::vector<std::string> FileLines() const {
        std::vector<std::string> lines;
        std::istringstream in(FileText());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The text of a file line, after the time stamp and " : ".
    static std::string TextOf(const std::string& fileLine) {
        const auto at = fileLine.find(" : ");
        return at == std::string::npos ? std::string("<no separator>") : fileLine.substr(at + 3);
    }

    ScratchDir scratch_;
    std::string logPath_;
    Language savedLanguage_ = Language::French;
};

}  // namespace winorvex::test
