#include "results_link/results_line.h"

#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <span>

#include "core/log.h"
#include "core/number_scanner.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "results_link/results_messages.h"

namespace winorvex {
namespace {

enum class Field {
    Tag,
    Ignored,
    Pass,
    Distance,
    Nation,
    Race,
    OverallRank,
    CategoryRank,
    SexRank,
    Number,
    LastName,
    FirstName,
    Sex,
    ShortCategory,
    Category,
    Team,
    Time,
    Spare,
    Status,
};

using enum Field;

constexpr std::array<Field, 15> kKt04 = {Tag,      Pass,     OverallRank, CategoryRank, SexRank,
                                         Number,   LastName, FirstName,   Sex,          ShortCategory,
                                         Category, Team,     Time,        Spare,        Status};
constexpr std::array<Field, 17> kKt05 = {Tag,      Pass,   Distance, Nation,    OverallRank, CategoryRank,
                                         SexRank,  Number, LastName, FirstName, Sex,         ShortCategory,
                                         Category, Team,   Time,     Spare,     Status};
constexpr std::array<Field, 18> kKt06 = {Tag,           Pass,     Distance, Nation,   Race,      OverallRank,
                                         CategoryRank,  SexRank,  Number,   LastName, FirstName, Sex,
                                         ShortCategory, Category, Team,     Time,     Spare,     Status};
constexpr std::array<Field, 19> kSeparated = {Ignored,      Ignored, Pass,   Distance, Nation,    Race, OverallRank,
                                              CategoryRank, SexRank, Number, LastName, FirstName, Sex,  ShortCategory,
                                              Category,     Team,    Time,   Spare,    Status};

enum class Conversion { Integer, Decimal, Text };

Conversion ConversionOf(Field field) {
    switch (field) {
        case Pass:
        case OverallRank:
        case CategoryRank:
        case SexRank:
        case Number:
        case Status:
            return Conversion::Integer;
        case Distance:
            return Conversion::Decimal;
        default:
            return Conversion::Text;
    }
}

// Capacities include the terminating zero of the results program's buffers.
std::size_t CapacityOf(Field field) {
    switch (field) {
        case Nation:
        case Race:
        case LastName:
        case FirstName:
        case Team:
        case Time:
            return 256;
        case Category:
            return 50;
        default:
            return 20;
    }
}

// Cuts to capacity-1 characters, never inside a UTF-8 sequence (the line was converted from a
// single-byte code page, where the capacity counted characters).
std::string CutToCapacity(std::string_view text, std::size_t capacity) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters == capacity - 1) return std::string(text.substr(0, i));
        ++characters;
    }
    return std::string(text);
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int ClampToInt(std::int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// The integer conversion of formatted input: blanks, an optional sign, at least one digit; a
// value past the 64-bit range saturates.
bool ReadInteger(std::string_view text, std::size_t& pos, std::int64_t& out) {
    std::size_t i = pos;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    std::int64_t magnitude = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (!saturated && magnitude > (INT64_MAX - digit) / 10) saturated = true;
        if (!saturated) magnitude = magnitude * 10 + digit;
    }
    out = saturated ? (negative ? INT64_MIN : INT64_MAX) : (negative ? -magnitude : magnitude);
    pos = i;
    return true;
}

// The decimal conversion of formatted input: blanks, an optional sign, then a number.
bool ReadDecimal(std::string_view text, std::size_t& pos, double& out) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    std::size_t start = pos;
    bool negative = false;
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) {
        negative = text[start] == '-';
        ++start;
    }
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) return false;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (error != std::errc() && error != std::errc::result_out_of_range) return false;
    if (end == text.data() + start) return false;
    pos = static_cast<std::size_t>(end - text.data());
    out = negative ? -value : value;
    return true;
}

void Store(RunnerRecord& record, Field field, std::string_view text, std::int64_t integer, double decimal) {
    switch (field) {
        case Tag:
        case Ignored:
            break;
        case Pass:
            record.pass = ClampToInt(integer);
            break;
        case Distance:
            record.distance = decimal;
            break;
        case Nation:
            record.nation = CutToCapacity(text, CapacityOf(field));
            break;
        case Race:
            record.race = CutToCapacity(text, CapacityOf(field));
            break;
        case OverallRank:
            record.overallRank = ClampToInt(integer);
            break;
        case CategoryRank:
            record.categoryRank = ClampToInt(integer);
            break;
        case SexRank:
            record.sexRank = ClampToInt(integer);
            break;
        case Number:
            record.number = ClampToInt(integer);
            break;
        case LastName:
            record.lastName = CutToCapacity(text, CapacityOf(field));
            break;
        case FirstName:
            record.firstName = CutToCapacity(text, CapacityOf(field));
            break;
        case Sex:
            record.sex = CutToCapacity(text, CapacityOf(field));
            break;
        case ShortCategory:
            record.shortCategory = CutToCapacity(text, CapacityOf(field));
            break;
        case Category:
            record.category = CutToCapacity(text, CapacityOf(field));
            break;
        case Team:
            record.team = CutToCapacity(text, CapacityOf(field));
            break;
        case Time:
            record.time = CutToCapacity(text, CapacityOf(field));
            break;
        case Spare:
            record.spare = CutToCapacity(text, CapacityOf(field));
            break;
        case Status:
            record.status = ClampToInt(integer);
            break;
    }
}

// Formatted input over "tag\field\field...": each field a conversion, a backslash between
// them; the count is of conversions made before the first failure (-1 when the text ends
// before the first one).
int ScanFields(std::string_view line, std::span<const Field> fields, std::string_view tag, RunnerRecord& out) {
    RunnerRecord record;
    std::size_t pos = 0;
    int count = 0;
    bool tagMatches = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            if (pos >= line.size() || line[pos] != '\\') break;
            ++pos;
        }
        const Field field = fields[i];
        if (ConversionOf(field) == Conversion::Text) {
            const std::size_t start = pos;
            while (pos < line.size() && line[pos] != '\\') ++pos;
            if (pos == start) {
                if (count == 0 && start >= line.size()) return -1;
                break;
            }
            const std::string_view text = line.substr(start, pos - start);
            if (field == Tag) tagMatches = CutToCapacity(text, CapacityOf(Tag)) == tag;
            Store(record, field, text, 0, 0.0);
        } else if (ConversionOf(field) == Conversion::Integer) {
            std::int64_t value = 0;
            if (!ReadInteger(line, pos, value)) break;
            Store(record, field, {}, value, 0.0);
        } else {
            double value = 0.0;
            if (!ReadDecimal(line, pos, value)) break;
            Store(record, field, {}, 0, value);
        }
        ++count;
    }
    if (count == static_cast<int>(fields.size()) && tagMatches) {
        record.format = std::string(tag);
        out = std::move(record);
    }
    return count;
}

std::string PadToCharacters(std::string text, std::size_t width) {
    std::size_t characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    if (characters < width) text.append(width - characters, ' ');
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

void UndecodableRecord(ResultsLineOutcome& outcome, int count) {
    outcome.kind = ResultsLineKind::UndecodableRecord;
    outcome.code = -20;
    outcome.display = RunnerDisplay{"Decoding", "", "Error"};
    outcome.logLines.push_back(
        {0, Format(Tr("Erreur décodage réponse: (ret=%d)", "Error decoding response: (ret=%d)"), count)});
}

void CannotDecode(ResultsLineOutcome& outcome, std::string_view line) {
    outcome.kind = ResultsLineKind::Undecodable;
    outcome.code = 105;
    std::string text = "$$$ Can't decode ";
    text.append(line);
    outcome.logLines.push_back({0, std::move(text)});
}

void DecodeError(std::string_view line, ResultsLineOutcome& outcome) {
    NumberScanner scan(line.substr(4));
    std::int64_t code = 0;
    if (!scan.ReadLong(code)) return CannotDecode(outcome, line);
    outcome.kind = ResultsLineKind::Error;
    outcome.code = ClampToInt(code);
    outcome.logLines.push_back({0, std::string("$$$ ") + ResultsStatusText(outcome.code)});
}

void DecodeInformation(std::string_view line, ResultsLineOutcome& outcome) {
    NumberScanner scan(line.substr(4));
    std::int64_t code = 0;
    if (!scan.ReadLong(code)) return CannotDecode(outcome, line);
    outcome.kind = ResultsLineKind::Information;
    outcome.code = 105;
    outcome.informationCode = ClampToInt(code);
    const std::size_t blank = line.find(' ');
    if (blank != std::string_view::npos) outcome.informationText = std::string(line.substr(blank + 1));
    if (outcome.informationCode == 27) {
        outcome.versionText = VersionText(outcome.informationText);
        outcome.incompatibleVersion = !IsCompatibleResultsVersion(outcome.versionText);
    }
    if (outcome.informationCode == 20) return;  // the answer to "Ping()" stays silent
    std::string text = "$$$ ";
    text += ResultsInformationLabel(outcome.informationCode);
    if (blank != std::string_view::npos) {
        text += ": ";
        text += outcome.informationText;
    }
    outcome.logLines.push_back({0, std::move(text)});
}

void ApplyRecord(RunnerRecord record, ResultsLineOutcome& outcome) {
    if (record.status == -8) {
        outcome.kind = ResultsLineKind::ControlTime;
        outcome.code = -8;
        outcome.record = std::move(record);
        return;
    }
    outcome.kind = ResultsLineKind::RunnerRecord;
    outcome.code = record.status;
    if (record.status != 3) {
        outcome.logLines.push_back({0, std::string("------------------------ ") + ResultsStatusText(record.status)});
    }
    RunnerDisplay display{RunnerNameText(record), RunnerRankText(record), RunnerTimeText(record)};
    CSummaryItem item;
    item.name = display.name;
    item.bib = record.number;
    item.time = display.time;
    item.pass = RunnerPassText(record);
    item.error = record.status != 3;
    item.result = item.error ? std::string(ResultsStatusText(record.status)) : display.rank;
    outcome.display = std::move(display);
    outcome.summaryItem = std::move(item);
    outcome.speechText = RunnerSpeechText(record);
    outcome.record = std::move(record);
}

}  // namespace

int ScanRunnerRecord(std::string_view line, std::string_view tag, RunnerRecord& record) {
    line = line.substr(0, line.find('\0'));
    if (tag == "kt04") return ScanFields(line, kKt04, tag, record);
    if (tag == "kt05") return ScanFields(line, kKt05, tag, record);
    if (tag == "kt06") return ScanFields(line, kKt06, tag, record);
    return 0;
}

bool SplitSeparatedRecord(std::string_view fields, RunnerRecord& out, int& fieldCount) {
    std::array<std::string_view, kSeparated.size()> pieces;
    fieldCount = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = fields.find('\\', start);
        const std::string_view piece =
            fields.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (static_cast<std::size_t>(fieldCount) < pieces.size()) pieces[static_cast<std::size_t>(fieldCount)] = piece;
        ++fieldCount;
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    if (static_cast<std::size_t>(fieldCount) < pieces.size()) return false;
    RunnerRecord record;
    for (std::size_t i = 0; i < kSeparated.size(); ++i) {
        const Field field = kSeparated[i];
        std::int64_t integer = 0;
        double decimal = 0.0;
        if (ConversionOf(field) == Conversion::Integer) {
            std::size_t pos = 0;
            if (!ReadInteger(pieces[i], pos, integer)) integer = 0;
        } else if (ConversionOf(field) == Conversion::Decimal) {
            std::size_t pos = 0;
            if (!ReadDecimal(pieces[i], pos, decimal)) decimal = 0.0;
        }
        Store(record, field, pieces[i], integer, decimal);
    }
    record.format = "RES:1";
    out = std::move(record);
    return true;
}

std::string RunnerNameText(const RunnerRecord& record) {
    return PadToCharacters(record.firstName + " " + record.lastName, 30);
}

std::string RunnerRankText(const RunnerRecord& r) {
    if (r.overallRank == 0) return r.sex + " - " + r.category;
    return OrdinalText(r.overallRank, r.sex) + " - " + OrdinalText(r.sexRank, r.sex) + " " + r.sex + " - " +
           OrdinalText(r.categoryRank, r.sex) + " " + r.shortCategory;
}

std::string RunnerTimeText(const RunnerRecord& record) {
    return record.time == "00:00:00" ? std::string(8, ' ') : record.time;
}

std::string RunnerPassText(const RunnerRecord& record) {
    return record.pass == 1 ? std::string(".") : Format("p%d", record.pass);
}

std::string RunnerSpeechText(const RunnerRecord& record) {
    const std::string joined = record.firstName + "  " + record.lastName;
    return std::string(TrimBlanks(joined));
}

ResultsLineOutcome DecodeResultsLine(std::string_view line) {
    ResultsLineOutcome outcome;
    // The results program's lines are C strings: a zero byte ends one.
    line = line.substr(0, line.find('\0'));
    if (line.starts_with("ERR:")) {
        DecodeError(line, outcome);
        return outcome;
    }
    if (line.starts_with("NFO:")) {
        DecodeInformation(line, outcome);
        return outcome;
    }
    RunnerRecord record;
    if (line.starts_with("RES:1")) {
        int fieldCount = 0;
        const std::string_view rest = line.size() > 6 ? line.substr(6) : std::string_view();
        if (!SplitSeparatedRecord(rest, record, fieldCount)) {
            UndecodableRecord(outcome, fieldCount);
            return outcome;
        }
        ApplyRecord(std::move(record), outcome);
        return outcome;
    }
    int count = 0;
    for (const std::string_view tag : {"kt04", "kt05", "kt06"}) {
        count = ScanRunnerRecord(line, tag, record);
        if (!record.format.empty()) {
            ApplyRecord(std::move(record), outcome);
            return outcome;
        }
    }
    UndecodableRecord(outcome, count);
    return outcome;
}

void LogResultsOutcome(const ResultsLineOutcome& outcome) {
    for (const ResultsLogLine& line : outcome.logLines) Log(line.level, line.text);
}

}  // namespace winorvex
