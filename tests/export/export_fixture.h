#pragma once
// A scratch data folder with its own settings and log file, an empty result list, English texts,
// and the fakes the export talks to: a scripted operator and a recording uploader.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/chrono.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"
#include "export/export_settings.h"
#include "export/export_uploader.h"
#include "export/work_result.h"
#include "support/test_support.h"

namespace winorvex::test {

class ScriptedPrompt : public OperatorPrompt {
public:
    bool AskYesNo(std::string_view text, bool) override {
        events.push_back("ask:" + std::string(text));
        return answer;
    }
    void Warn(std::string_view text) override { events.push_back("warn:" + std::string(text)); }
    void Inform(std::string_view text) override { events.push_back("inform:" + std::string(text)); }
    bool answer = true;
    std::vector<std::string> events;
};

// Servers by label; records every queued upload in order.
class RecordingUploader : public ExportUploader {
public:
    struct Job {
        std::string label;
        std::string localPath;
        std::string remoteName;
    };

    int LoadServers(std::string& errorText) override {
        ++loads;
        if (!listReadable) {
            errorText = "File does not exist";
            return 0;
        }
        return static_cast<int>(servers.size());
    }
    bool HasServer(std::string_view label) const override {
        std::string trimmed(label);
        while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
        while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
        for (const std::string& server : servers) {
            if (server == trimmed) return true;
        }
        return false;
    }
    bool QueueUpload(std::string_view label, const std::string& localPath, const std::string& remoteName,
                     std::string& errorText) override {
        if (refuseQueue) {
            errorText = "queue closed";
            return false;
        }
        jobs.push_back({std::string(label), localPath, remoteName});
        return true;
    }
    bool WaitForUploads(std::chrono::milliseconds, std::vector<UploadOutcome>& outcomes) override {
        for (const Job& job : jobs) outcomes.push_back({job.label, job.localPath, job.remoteName, true, ""});
        return true;
    }

    std::vector<std::string> servers;
    bool listReadable = true;
    bool refuseQueue = false;
    int loads = 0;
    std::vector<Job> jobs;
};

class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedLanguage_ = CurrentLanguage();
        SetLanguage(Language::English);
        SetDataFolderOverride(data_.str());
        SetSettingsFilePath((data_.path() / "WinORVEX.ini").string());
        FlushSettings();
        logPath_ = (data_.path() / "WinORVEX.log").string();
        SetLogFilePath(logPath_);
        SetLogFileLevel(75);
        CloseDetectionFile();
        ClearResults();
        ResetResultSerialForTest(1);
    }

    void TearDown() override {
        ClearResults();
        SetLogFilePath("");
        SetSettingsFilePath("");
        ClearDataFolderOverride();
        SetLanguage(savedLanguage_);
    }

    static CChrono Clock(std::string_view text) {
        CChrono value;
        EXPECT_TRUE(value.ParseClock(text)) << text;
        return value;
    }

    // A detection recorded in the result list (daily time).
    static CRixResult Record(std::string_view detector, std::string_view bib, std::string_view time) {
        return AddResult(detector, bib, CChrono(), Clock(time), false, false);
    }

    // A working result without the result list; serials follow the calls.
    CWorkResult Work(std::string_view detector, std::string_view bib, std::string_view time) {
        CRixResult record;
        record.detector = detector;
        record.bib = bib;
        record.timeText = time;
        record.serial = ++serial_;
        return CWorkResult(record);
    }

    static void SetExportSetting(const char* key, std::string_view value) {
        WriteSettingText(keys::kExportSection, key, value);
    }
    static void SetBackgroundSetting(const char* key, std::string_view value) {
        WriteSettingText(keys::kBackgroundExportSection, key, value);
    }

    std::string LogText() const { return ReadWholeFile(logPath_); }

    static std::size_t Occurrences(const std::string& text, const std::string& needle) {
        std::size_t count = 0;
        for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
        return count;
    }

    // Regular file names in a folder, sorted.
    static std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir data_;
    ScratchDir out_;
    std::string logPath_;
    std::uint32_t serial_ = 0;
    Language savedLanguage_ = Language::French;
};

}  // namespace winorvex::test
