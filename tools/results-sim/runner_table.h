#pragma once
// The runners the simulated results program knows, and the record lines it answers with.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace winorvex::results_sim {

struct Runner {
    int bib = 0;
    std::string lastName;
    std::string firstName;
    std::string sex;            // "M" or "F"
    std::string shortCategory;  // "SE", "V1" ...
    std::string category;       // "Senior", ...
    std::string team;
};

enum class RecordFormat { kKt04, kKt05, kKt06, kRes1 };
bool ParseRecordFormat(std::string_view text, RecordFormat& out);
const char* RecordFormatName(RecordFormat format);

class RunnerTable {
public:
    // Runners 1..count with made-up names (count 0: nobody is known).
    void Generate(int count);
    // One runner a line, UTF-8: bib;last name;first name;sex;short category;category;team.
    // Blank lines and lines starting with '#' are skipped. False with error for a bad line.
    bool Load(const std::string& path, std::string& error);
    void Add(Runner runner);
    std::optional<Runner> Find(int bib) const;
    std::size_t Size() const { return runners_.size(); }

private:
    std::map<int, Runner> runners_;
};

// What one answer says about a runner at a detector.
struct RecordValues {
    Runner runner;
    int pass = 1;
    int overallRank = 0;
    int categoryRank = 0;
    int sexRank = 0;
    std::string time;  // as the results program prints it
    int status = 3;
};

// The record line in UTF-8 (without line end); text fields that would be empty get "-", since
// the backslash formats cannot carry an empty field.
std::string FormatRecord(RecordFormat format, const RecordValues& values);

}  // namespace winorvex::results_sim
