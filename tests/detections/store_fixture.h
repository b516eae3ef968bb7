#pragma once
// Puts the process-wide result list, detection file, pane queue, logging and data folder in a
// known state around each test, and offers the recording fakes the store operations talk to.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/folders.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/detection_store.h"
#include "detections/detections_pane.h"
#include "detections/result_list.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"

namespace winorvex::test {

// Answers every question with a fixed answer and remembers what was asked.
class ScriptedPrompt : public OperatorPrompt {
public:
    explicit ScriptedPrompt(bool answer) : answer_(answer) {}
    bool AskYesNo(std::string_view text, bool defaultYes) override {
        questions.emplace_back(text);
        defaults.push_back(defaultYes);
        return answer_;
    }
    void Warn(std::string_view text) override { warnings.emplace_back(text); }
    void Inform(std::string_view text) override { informations.emplace_back(text); }
    std::vector<std::string> questions;
    std::vector<bool> defaults;
    std::vector<std::string> warnings;
    std::vector<std::string> informations;

private:
    bool answer_;
};

class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedLanguage_ = CurrentLanguage();
        SetLanguage(Language::English);
        SetDataFolderOverride(scratch_.str());
        logPath_ = (scratch_.path() / "test.log").string();
        SetLogFilePath(logPath_);
        SetLogFileLevel(75);
        ResetStore();
    }

    void TearDown() override {
        ResetStore();
        SetLogFilePath("");
        ClearDataFolderOverride();
        SetLanguage(savedLanguage_);
    }

    static void ResetStore() {
        CloseDetectionFile();
        ClearResults();
        ClearDetectionsPaneQueue();
        ResetResultSerialForTest(1);
    }

    static CRixResult AddDaily(std::string_view detector, std::string_view bib, const CChrono& daily,
                               bool writeToFile = true) {
        return AddResult(detector, bib, CChrono(), daily, false, writeToFile);
    }

    std::string LogText() const { return ReadWholeFile(logPath_); }

    static std::size_t Occurrences(const std::string& text, const std::string& needle) {
        std::size_t count = 0;
        for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
        return count;
    }

    // Splits at CR LF; a last piece without its line end is returned with the marker "<cut>".
    static std::vector<std::string> CrLfLines(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            const auto end = text.find("\r\n", start);
            if (end == std::string::npos) {
                lines.push_back(text.substr(start) + "<cut>");
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    static std::vector<std::string> Fields(const std::string& line) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
        return fields;
    }

    ScratchDir scratch_;
    std::string logPath_;
    Language savedLanguage_ = Language::French;
};

}  // namespace winorvex::test
