#pragma once
// Reads detection-file lines ("%d\t%s\t%s\t%d\t%s\t%d": position, detector, bib, 1, time text,
// 2 for an absolute-clock text or 1) into working results, as the export takes them from the
// result list: in the order read, every one active.
//
// A .dat left by a crash or edited by hand may hold a damaged line among thousands of good ones:
// such a line is skipped and named, and every valid line is still exported.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "export/work_result.h"

namespace winorvex::exporttool {

// How many skipped lines are named one by one; the rest are only counted.
inline constexpr std::size_t kSkippedLinesNamed = 20;

struct SkippedLine {
    std::string where;  // "file:line"
    std::string why;
};

// What the reading found, over every input.
struct LineReading {
    std::size_t valid = 0;
    std::size_t skipped = 0;
    std::vector<SkippedLine> named;  // the first kSkippedLinesNamed skipped lines
};

// One line, without its line end (a CR before the LF is allowed). False when it is not a
// detection-file line; why says what is wrong.
bool ParseDetectionLine(std::string_view line, CRixResult& out, std::string& why);

// Reads every line of the stream into results (empty lines ignored); a line that is not a
// detection-file line is skipped and recorded in reading. False only on a read error (in error).
bool ReadDetectionLines(std::FILE* stream, const std::string& name, CWorkResultList& results, LineReading& reading,
                        std::string& error);

// Reads the files in order, standard input for "-" or when there is none. False (with error) when
// a file cannot be opened or read: that is a usage error, where a damaged line is not.
bool ReadInputs(const std::vector<std::string>& files, CWorkResultList& results, LineReading& reading,
                std::string& error);

// The skipped lines, the first ones named, then their count: to the log stream as sentences and to
// the report as "skipped\tFILE:LINE\tWHY" lines and one "skipped-lines\tN" line. Nothing when none.
void PrintSkippedLines(const LineReading& reading, const char* tool, std::FILE* log, std::FILE* report);

}  // namespace winorvex::exporttool
