#include "runner_table.h"

#include <array>
#include <fstream>
#include <vector>

#include "core/text_format.h"

namespace winorvex::results_sim {
namespace {

constexpr std::array<const char*, 10> kLastNames = {"Martin",  "Bernard", "Dubois", "Thomas", "Robert",
                                                    "Richard", "Petit",   "Durand", "Leroy",  "Moreau"};
constexpr std::array<const char*, 5> kMen = {"Pierre", "Jean", "Luc", "Marc", "Paul"};
constexpr std::array<const char*, 5> kWomen = {"Marie", "Anne", "Julie", "Claire", "Sophie"};
constexpr std::array<const char*, 3> kShortCategories = {"SE", "V1", "V2"};
constexpr std::array<const char*, 3> kCategories = {"Senior", "Veteran 1", "Veteran 2"};

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

std::string Field(std::string text) {
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return text.empty() ? std::string("-") : text;
}

}  // namespace

bool ParseRecordFormat(std::string_view text, RecordFormat& out) {
    if (text == "kt04")
        out = RecordFormat::kKt04;
    else if (text == "kt05")
        out = RecordFormat::kKt05;
    else if (text == "kt06")
        out = RecordFormat::kKt06;
    else if (text == "res1")
        out = RecordFormat::kRes1;
    else
        return false;
    return true;
}

const char* RecordFormatName(RecordFormat format) {
    switch (format) {
        case RecordFormat::kKt04:
            return "kt04";
        case RecordFormat::kKt05:
            return "kt05";
        case RecordFormat::kKt06:
            return "kt06";
        case RecordFormat::kRes1:
            return "res1";
    }
    return "?";
}

void RunnerTable::Generate(int count) {
    for (int bib = 1; bib <= count; ++bib) {
        const bool woman = bib % 2 == 0;
        const auto i = static_cast<std::size_t>(bib);
        Runner runner;
        runner.bib = bib;
        runner.lastName = kLastNames[i % kLastNames.size()];
        runner.firstName = woman ? kWomen[i / 2 % kWomen.size()] : kMen[i / 2 % kMen.size()];
        runner.sex.assign(1, woman ? 'F' : 'M');
        runner.shortCategory = kShortCategories[i / 3 % kShortCategories.size()];
        runner.category = kCategories[i / 3 % kCategories.size()];
        runner.team = Format("Club %d", bib % 7 + 1);
        Add(std::move(runner));
    }
}

bool RunnerTable::Load(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const std::vector<std::string> parts = Split(line, ';');
        if (parts.size() != 7 || parts[0].empty() || parts[0].find_first_not_of("0123456789") != std::string::npos) {
            error = Format("%s:%d: expected bib;last;first;sex;scat;cat;team", path.c_str(), number);
            return false;
        }
        Runner runner{std::stoi(parts[0]), parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]};
        Add(std::move(runner));
    }
    return true;
}

void RunnerTable::Add(Runner runner) {
    const int bib = runner.bib;
    runners_[bib] = std::move(runner);
}

std::optional<Runner> RunnerTable::Find(int bib) const {
    const auto it = runners_.find(bib);
    if (it == runners_.end()) return std::nullopt;
    return it->second;
}

std::string FormatRecord(RecordFormat format, const RecordValues& v) {
    const Runner& r = v.runner;
    const std::string pass = std::to_string(v.pass);
    const std::string distance = Format("%.1f", 5.0 * v.pass);
    const std::string gal = std::to_string(v.overallRank);
    const std::string cat = std::to_string(v.categoryRank);
    const std::string sex = std::to_string(v.sexRank);
    const std::string bib = std::to_string(r.bib);
    const std::string status = std::to_string(v.status);
    const std::string last = Field(r.lastName), first = Field(r.firstName), sexCode = Field(r.sex);
    const std::string scat = Field(r.shortCategory), catName = Field(r.category), team = Field(r.team);
    const std::string time = Field(v.time), spare = "0", nation = "FRA", race = "10 km";
    std::vector<std::string> fields;
    switch (format) {
        case RecordFormat::kKt04:
            fields = {"kt04", pass, gal, cat, sex, bib, last, first, sexCode, scat, catName, team, time, spare, status};
            break;
        case RecordFormat::kKt05:
            fields = {"kt05", pass,    distance, nation,  gal,  cat,  sex,   bib,   last,
                      first,  sexCode, scat,     catName, team, time, spare, status};
            break;
        case RecordFormat::kKt06:
            fields = {"kt06", pass,  distance, nation, race,    gal,  cat,  sex,   bib,
                      last,   first, sexCode,  scat,   catName, team, time, spare, status};
            break;
        case RecordFormat::kRes1:
            fields = {"RES:1", "1",  "0",   pass,    distance, nation,  race, gal,  cat,   sex,
                      bib,     last, first, sexCode, scat,     catName, team, time, spare, status};
            break;
    }
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\\';
        line += fields[i];
    }
    return line;
}

}  // namespace winorvex::results_sim
