#pragma once
// Helpers shared by the tests of reader lines, decoding and filtering: a known station state
// (settings, race days, chip table, result list, log window) and tag-read lines built by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "chips/chip_table.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/detection_pipeline.h"
#include "detections/last_read_list.h"
#include "detections/result_list.h"
#include "support/test_support.h"

namespace winorvex::filters_test {

// The checksum the reader writes, computed here independently of the code under test.
inline std::string Checksum(std::string_view characters) {
    unsigned sum = 0;
    for (const char c : characters) sum += static_cast<unsigned char>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02x", sum % 256);
    return text;
}

// A reply or tag line: prefix + body + its checksum (+ marker).
inline std::string Framed(std::string_view prefix, std::string_view body, std::string_view marker = {}) {
    return std::string(prefix) + std::string(body) + Checksum(body) + std::string(marker);
}

// The tag-read body after "aa": 2 reader characters, the 12-character chip, 4 reader characters,
// date YYMMDD, time HHMMSS and the hundredths in hexadecimal.
inline std::string TagBody(std::string_view chip, std::string_view yymmdd, std::string_view hhmmss, int hundredths) {
    char cc[3];
    std::snprintf(cc, sizeof cc, "%02x", hundredths);
    return "01" + std::string(chip) + "0a0b" + std::string(yymmdd) + std::string(hhmmss) + cc;
}

// A whole tag-read line as the reader sends it.
inline std::string TagLine(std::string_view chip, std::string_view yymmdd, std::string_view hhmmss, int hundredths,
                           std::string_view marker = {}) {
    return Framed("aa", TagBody(chip, yymmdd, hhmmss, hundredths), marker);
}

// A tag read on 18 May 2024 at a time of day given in hundredths since midnight.
inline std::string TagLineAt(std::string_view chip, long hundredthsOfDay, std::string_view marker = {}) {
    char hhmmss[16];
    const long seconds = hundredthsOfDay / 100;
    std::snprintf(hhmmss, sizeof hhmmss, "%02ld%02ld%02ld", seconds / 3600 % 100, seconds / 60 % 60, seconds % 60);
    return TagLine(chip, "240518", hhmmss, static_cast<int>(hundredthsOfDay % 100), marker);
}

// The same without checksum and marker, as decoding receives it.
inline std::string TagText(std::string_view chip, std::string_view yymmdd, std::string_view hhmmss, int hundredths) {
    return "aa" + TagBody(chip, yymmdd, hhmmss, hundredths);
}

inline std::vector<std::string> DrainLogTexts() {
    std::vector<std::string> texts;
    for (const LogEntry& entry : DrainLogWindowQueue()) texts.push_back(entry.text);
    return texts;
}

inline bool Contains(const std::vector<std::string>& lines, std::string_view text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

inline int CountContaining(const std::vector<std::string>& lines, std::string_view text) {
    int count = 0;
    for (const std::string& line : lines) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

// Remembers everything the pipeline asks of the station.
// Everything a pipeline announces: forwarding and pane lines, the count refreshes and the sounds.
class RecordingOutputs : public DetectionOutputs, public NullStationEventSink, public SoundPlayer {
public:
    struct PaneEntry {
        std::string text;
        std::uint32_t serial = 0;
        CChrono daily;
    };
    bool connected = false;
    std::vector<std::string> sent;
    int sounds = 0;
    int refreshes = 0;
    std::vector<PaneEntry> pane;

    bool IsDirectConnected() override { return connected; }
    void SendDirectLine(std::string_view line) override { sent.emplace_back(line); }
    void Play(StationSound sound) override {
        if (sound == StationSound::Detection) ++sounds;
    }
    void OnRecordedCountChanged() override { ++refreshes; }
    void AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) override {
        pane.push_back({std::string(text), serial, daily});
    }
    PipelineServices Services(DownloadSink* download = nullptr) { return {this, this, this, download}; }
};

// Classifies a received line and hands it to the pipeline as the box worker does.
inline LineOutcome Feed(DetectionPipeline& pipeline, const std::string& received) {
    ReaderLine line;
    if (!ClassifyReaderLine(received, line) || line.kind != kLineTagRead) {
        ADD_FAILURE() << "not a valid tag read: " << received;
        return LineOutcome::Invalid;
    }
    return pipeline.HandleTagRead(line);
}

// Race days 18 to 21 May 2024, translation off, every other setting at its default, English
// texts, an empty chip table and result list, every log line captured by the window queue.
class StationStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetSettingsFilePath(scratch_.str() + "/WinORVEX.ini");
        StationSettings& s = Settings();
        s.ignoreInputMsDelta = 50;
        s.sendNumbers = 0;
        s.ignoreUnknownTags = 0;
        s.ignoreLSDetections = 0;
        s.ignoreFSDetections = 0;
        s.beepDetections = true;
        s.absClock = 0;
        s.logDetections = 1;
        const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
        for (int i = 0; i < 4; ++i) RaceDayDates().dates[static_cast<std::size_t>(i)] = days[i];
        ClearChipTable();
        CloseDetectionFile();
        ClearResults();
        ResetResultSerialForTest(1);
        SetLogFilePath("");
        SetLogWindowLevel(100);
        SetLogWindowAttached(true);
        DrainLogWindowQueue();
    }

    void TearDown() override {
        SetLogWindowAttached(false);
        CloseDetectionFile();
        ClearResults();
        ClearChipTable();
        SetSettingsFilePath("");
    }

    // Loads a chip table made of "bib chip" lines.
    void LoadChips(const std::string& lines) {
        ASSERT_TRUE(ReadChipTableFile(scratch_.WriteFile("OrvexTable.dtb", lines)));
    }

    test::ScratchDir scratch_;
};

}  // namespace winorvex::filters_test
