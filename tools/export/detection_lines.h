#pragma once
// Reads detection-file lines ("%d\t%s\t%s\t%d\t%s\t%d": position, detector, bib, 1, time text,
// 2 for an absolute-clock text or 1) into working results, as the export takes them from the
// result list: in the order read, every one active.
#include <cstdio>
#include <string>
#include <string_view>

#include "export/work_result.h"

namespace winorvex::exporttool {

// One line, without its line end (a CR before the LF is allowed). False when it is not a
// detection-file line; why says what is wrong.
bool ParseDetectionLine(std::string_view line, CRixResult& out, std::string& why);

// Reads every line of the stream into results (empty lines skipped). False at the first line
// that is not a detection-file line (its number and the reason in error), or on a read error.
bool ReadDetectionLines(std::FILE* stream, const std::string& name, CWorkResultList& results, std::string& error);

}  // namespace winorvex::exporttool
