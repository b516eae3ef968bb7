#pragma once
// Passing statistics: the minimum-gap filter that turns a runner's raw detections into passages,
// the grouping by detector, and the selection of every runner's k-th passage.
//
// All of it runs on borrowed pointers into a working copy (work_result.h), on the calling
// thread, without the result list's lock. Runners are told apart by their bib text.
#include <cstdint>
#include <string>
#include <vector>

#include "core/chrono.h"
#include "export/work_result.h"

namespace winorvex {

// Statistics of one detector.
class CStatLineEntry {
public:
    std::int32_t detections = 0;  // results of the detector; after the statistics, kept passages
    std::string detector;
    std::string firstBib;      // bib of the detector's earliest result
    CChrono firstTime;         // time of the detector's earliest result
    CChrono handicap;          // unset until loaded
    std::int32_t maxPass = 0;  // most kept passages of one runner here (0 until computed)
};

// The results of one detector, borrowed.
class CDetectorResList {
public:
    std::string detector;
    WorkResultPointers results;
};

// Orders, as "less than" predicates. The bib compares as bytes ("10" before "9"), an unset time
// after every set one; results equal in every key keep their recording order (serial).
bool CompareBibThenTime(const CWorkResult& a, const CWorkResult& b);
bool CompareTimeThenBib(const CWorkResult& a, const CWorkResult& b);
bool CompareDetectorTimeBib(const CWorkResult& a, const CWorkResult& b);

// Minimum-gap filter: a runner's detection no later than the previous detection plus gap is
// dropped, always comparing with the one just before it (dropped or not), so a chain of close
// detections collapses into its first. Appends the kept ones by time then bib; returns the
// largest number of kept passages of one runner (0 for an empty source).
int ComputePassStats(const WorkResultPointers& source, WorkResultPointers& kept, const CChrono& gap);

// One group per detector in detector order, each holding its results by time then bib.
std::vector<CDetectorResList> GroupByDetector(const WorkResultPointers& source);
// One line per detector in detector order: its count and its earliest result.
std::vector<CStatLineEntry> ComputeDetectorLines(const WorkResultPointers& source);

// Appends the k-th kept passage (k from 1) of every runner, by time then bib.
void SelectPass(const WorkResultPointers& kept, WorkResultPointers& out, int k);
// All passes at once: element k-1 holds what SelectPass gives for k. One sort, whatever the
// number of passes, where calling SelectPass for every k would sort once per pass.
std::vector<WorkResultPointers> SplitPasses(const WorkResultPointers& kept);

// A detector's line with its kept passages, as the export and the distribution list use them.
struct DetectorPasses {
    CStatLineEntry line;                     // detections = kept passages, maxPass, handicap from the settings
    WorkResultPointers kept;                 // by time then bib
    std::vector<WorkResultPointers> passes;  // SplitPasses(kept), when asked for
    std::string maxPassBib;                  // a runner who has maxPass passages
};

// The per-detector statistics: for each detector in order, the gap filter on its results and
// its handicap read from the settings. The number of files an export creates is the sum of
// the lines' maxPass.
std::vector<DetectorPasses> ComputeDetectorStatistics(const WorkResultPointers& source, const CChrono& gap,
                                                      bool withPasses);

}  // namespace winorvex
