#include "detection_lines.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/text_format.h"

namespace winorvex::exporttool {

namespace {

bool IsDecimal(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

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
    CChrono check;
    if (out.absoluteClock != 0 ? !check.ParseSecondsHundredths(out.timeText) : !check.ParseClock(out.timeText)) {
        why = "the time text is not a time";
        return false;
    }
    return true;
}

bool ReadDetectionLines(std::FILE* stream, const std::string& name, CWorkResultList& results, std::string& error) {
    std::string line;
    long number = 0;
    const auto handle = [&]() {
        ++number;
        if (line.empty() || line == "\r") return true;
        CRixResult record;
        std::string why;
        if (!ParseDetectionLine(line, record, why)) {
            error = Format("%s:%ld: not a detection-file line (%s)", name.c_str(), number, why.c_str());
            return false;
        }
        record.serial = static_cast<std::uint32_t>(results.size() + 1);
        results.emplace_back(record);
        return true;
    };
    for (int c; (c = std::getc(stream)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!handle()) return false;
        line.clear();
    }
    if (std::ferror(stream)) {
        error = Format("%s: read error: %s", name.c_str(), std::strerror(errno));
        return false;
    }
    return line.empty() || handle();
}

}  // namespace winorvex::exporttool
