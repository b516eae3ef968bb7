#pragma once
// Reader-log lines built by hand and a recording observer, for the import tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chips/chip_table.h"
#include "core/chrono.h"
#include "core/station_events.h"
#include "import/import_observer.h"
#include "import/log_search.h"
#include "support/recording_station_events.h"

namespace winorvex::import_test {

// The reader checksum, computed here independently of the code under test.
inline std::string Checksum(std::string_view characters) {
    unsigned sum = 0;
    for (const char c : characters) sum += static_cast<unsigned char>(c);
    char text[3];
    std::snprintf(text, sizeof text, "%02x", sum % 256);
    return text;
}

inline std::string Framed(std::string_view prefix, std::string_view body, std::string_view marker = {}) {
    return std::string(prefix) + std::string(body) + Checksum(body) + std::string(marker);
}

// An "aa" line with CR LF, as a reader log holds it.
inline std::string TagLine(std::string_view chip, std::string_view yymmdd, std::string_view hhmmss, int hundredths,
                           std::string_view marker = {}) {
    char cc[3];
    std::snprintf(cc, sizeof cc, "%02x", hundredths);
    const std::string body = "01" + std::string(chip) + "0a0b" + std::string(yymmdd) + std::string(hhmmss) + cc;
    return Framed("aa", body, marker) + "\r\n";
}

// The same without checksum, marker and line end: what decoding receives.
inline std::string TagText(std::string_view chip, std::string_view yymmdd, std::string_view hhmmss, int hundredths) {
    char cc[3];
    std::snprintf(cc, sizeof cc, "%02x", hundredths);
    return "aa01" + std::string(chip) + "0a0b" + std::string(yymmdd) + std::string(hhmmss) + cc;
}

inline std::string Reply(std::string_view body) {
    return Framed("ab", body) + "\r\n";
}

inline std::shared_ptr<const ChipTable> Chips(std::vector<ChipTable::Entry> entries) {
    return BuildChipTable(std::move(entries));
}

inline CChrono Stamp(std::string_view yyyymmdd, std::string_view hhmmss, int hundredths = 0) {
    CChrono value;
    EXPECT_TRUE(value.SetFromReaderStamp(yyyymmdd, hhmmss, hundredths)) << yyyymmdd << " " << hhmmss;
    return value;
}

class RecordingObserver : public ImportObserver {
public:
    std::vector<std::string> information;
    std::vector<std::string> progress;
    int cancelAfterChecks = -1;  // -1: never
    int checks = 0;
    int countRefreshes = 0;

    void OnInformation(std::string_view line) override { information.emplace_back(line); }
    void OnProgress(std::string_view text) override { progress.emplace_back(text); }
    bool IsCancelled() override { return cancelAfterChecks >= 0 && ++checks > cancelAfterChecks; }
    void OnRecordedCountChanged() override { ++countRefreshes; }

    bool Has(std::string_view text) const {
        for (const std::string& line : information) {
            if (line == text) return true;
        }
        return false;
    }
    int CountStarting(std::string_view prefix) const {
        int n = 0;
        for (const std::string& line : information) n += line.starts_with(prefix) ? 1 : 0;
        return n;
    }
};

using test::RecordingStationEvents;

// Translation off, no extended status, abnormal events shown, today 20 May 2024.
inline LogSearchSettings PlainSettings() {
    LogSearchSettings settings;
    settings.translate = false;
    settings.ignoreUnknownTags = false;
    settings.msDelta = 50;
    settings.extendedStatus = false;
    settings.showAbnormalEvents = true;
    settings.today = 20240520;
    settings.chips = BuildChipTable({});
    return settings;
}

// The whole of 18 May 2024, the end covering its last second.
inline LogSearchRequest WholeDay(const std::string& path) {
    LogSearchRequest request;
    request.path = path;
    request.midnight = Stamp("20240518", "000000");
    request.start = request.midnight;
    request.end = Stamp("20240518", "235959") + CChrono(0, 999);
    return request;
}

}  // namespace winorvex::import_test
