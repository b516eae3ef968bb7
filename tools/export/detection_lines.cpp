#include "detection_lines.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/text_format.h"
#include "export/time_texts.h"

namespace winorvex::exporttool {

namespace {

bool IsDecimal(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ParseDetectionLine(std::string_view line, CRixResult& out, std::string& why) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (fields.size() != 6) {
        why = Format("%zu fields instead of 6", fields.size());
        return false;
    }
    if (!IsDecimal(fields[0])) {
        why = "the position is not a number";
        return false;
    }
    if (fields[1].empty() || fields[2].empty() || fields[4].empty()) {
        why = "empty detector, bib or time";
        return false;
    }
    if (fields[3] != "1" || (fields[5] != "1" && fields[5] != "2")) {
        why = "fields 4 and 6 must be 1, and 1 or 2";
        return false;
    }
    out = CRixResult{};
    out.detector = fields[1];
    out.bib = fields[2];
    out.timeText = fields[4];
    out.absoluteClock = fields[5] == "2" ? 1 : 0;
    // Read as the export reads it (CWorkResult::Derive), so a line passes here only when its time
    // is the one the export will use: a negative passing time of an earlier export included.
    CChrono check;
    if (out.absoluteClock != 0 ? !check.ParseSecondsHundredths(out.timeText) : !ParseSignedClock(out.timeText, check)) {
        why = "the time text is not a time";
        return false;
    }
    return true;
}

bool ReadDetectionLines(std::FILE* stream, const std::string& name, CWorkResultList& results, LineReading& reading,
                        std::string& error) {
    std::string line;
    long number = 0;
    CRixResult record;
    std::string why;
    const auto handle = [&]() {
        ++number;
        if (line.empty() || line == "\r") return;
        if (!ParseDetectionLine(line, record, why)) {
            ++reading.skipped;
            if (reading.named.size() < kSkippedLinesNamed) {
                reading.named.push_back({Format("%s:%ld", name.c_str(), number), why});
            }
            return;
        }
        ++reading.valid;
        record.serial = static_cast<std::uint32_t>(results.size() + 1);
        results.emplace_back(record);
    };
    for (int c; (c = std::getc(stream)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        handle();
        line.clear();
    }
    if (std::ferror(stream)) {
        error = Format("%s: read error: %s", name.c_str(), std::strerror(errno));
        return false;
    }
    if (!line.empty()) handle();
    return true;
}

bool ReadInputs(const std::vector<std::string>& files, CWorkResultList& results, LineReading& reading,
                std::string& error) {
    std::vector<std::string> inputs = files;
    if (inputs.empty()) inputs.emplace_back("-");
    for (const std::string& input : inputs) {
        if (input == "-") {
            if (!ReadDetectionLines(stdin, "<stdin>", results, reading, error)) return false;
            continue;
        }
        const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(input.c_str(), "rb"));
        if (!file) {
            error = Format("cannot open %s: %s", input.c_str(), std::strerror(errno));
            return false;
        }
        if (!ReadDetectionLines(file.get(), input, results, reading, error)) return false;
    }
    return true;
}

void PrintSkippedLines(const LineReading& reading, const char* tool, std::FILE* log, std::FILE* report) {
    if (reading.skipped == 0) return;
    for (const SkippedLine& line : reading.named) {
        std::fprintf(log, "%s: %s: not a detection-file line (%s), skipped\n", tool, line.where.c_str(),
                     line.why.c_str());
        std::fprintf(report, "skipped\t%s\t%s\n", line.where.c_str(), line.why.c_str());
    }
    const char* s = reading.skipped > 1 ? "s" : "";
    if (reading.skipped > reading.named.size()) {
        std::fprintf(log, "%s: %zu line%s skipped in all, the first %zu named above\n", tool, reading.skipped, s,
                     reading.named.size());
    } else {
        std::fprintf(log, "%s: %zu line%s skipped\n", tool, reading.skipped, s);
    }
    std::fprintf(report, "skipped-lines\t%zu\n", reading.skipped);
}

}  // namespace winorvex::exporttool
