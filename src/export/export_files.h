#pragma once
// The result files of an export. Each is written under a temporary name and renamed into place
// once whole (detections/line_file_writer.h); lines end in CR LF. Only active results are
// written, in the order of the list given.
#include <string>

#include "core/chrono.h"
#include "export/work_result.h"

namespace winorvex {

// Time-of-day form: "%d\t%s\t%s\t%d\t%s\t%d" of ordinal (from 1 in each file), detector, bib, 1,
// time text, 2 for an absolute-clock text else 1. True when the file was written.
bool WriteResultFile(const std::string& path, const WorkResultPointers& results);

// Passing-time form: the same line with field 5 = time of day - handicap (FormatDailyHundredths).
// An absolute-clock result has no time of day: its own time text is kept, flagged 2.
// Compact form (compact set): the headers "dossard\ttemps\tcommentaire" and
// "dossard\tperformancen\tcommentaire", then "%s\t%s\t" of bib and the compact passing time.
// An absolute-clock result cannot be written in that form: it is left out and counted in
// skippedAbsolute (may be null). True when the file was written.
bool WritePassingFile(const std::string& path, const WorkResultPointers& results, const CChrono& handicap, bool compact,
                      int* skippedAbsolute = nullptr);

}  // namespace winorvex
