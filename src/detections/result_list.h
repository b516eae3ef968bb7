#pragma once
// The result list: every detection the station recorded, in the order of recording, for the
// whole life of the process. Box worker threads append while the interface counts, marks,
// copies and clears, so every operation takes the list's lock for its whole duration.
//
// The lock is not recursive: callbacks run under it (ForEachResult, the observers) must not call
// the operations of this header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/chrono.h"

namespace winorvex {

// One recorded detection. A plain value: copying copies every field, serial included.
class CRixResult {
public:
    std::string bib;       // bib number, or the chip identifier when it was not translated
    std::string timeText;  // "25:02:03.04" (daily) or "1716000000.5" (absolute clock)
    std::string detector;  // detector identifier of the box (or of the import / manual entry)
    std::int32_t absoluteClock = 0;
    std::int32_t reserved1 = 1;  // kept for the record layout; nothing reads them
    std::int32_t reserved2 = 0;
    std::int32_t active = 1;  // 0 once the operator removed the detection
    std::uint32_t serial = 0;

    bool IsActive() const { return active != 0; }
    bool IsAbsolute() const { return absoluteClock != 0; }
};

// Called under the list's lock right after the record was appended and its file line written.
// Keep it short and never block on the network in it: every recorder waits for the lock.
struct ResultAddedObserver {
    virtual ~ResultAddedObserver() = default;
    virtual void OnResultAdded(const CRixResult& result) = 0;
};

// Told of every record added with writeToFile, under the list's lock and with its position in the
// list (from 1), so that the lines of a file follow the list order. The incoming-detections file
// installs itself here; it must not call back into the list.
struct RecordLineWriter {
    virtual ~RecordLineWriter() = default;
    virtual void WriteRecordLine(int position, const CRixResult& result) = 0;
};
// The one writer (null: none). Set it while no record is being added.
void SetRecordLineWriter(RecordLineWriter* writer);

// Appends a new record and returns a copy of it. The time text comes from absoluteTime when
// absoluteClock is set, else from dailyTime. With writeToFile the record line writer gets the
// record before the lock is released.
CRixResult AddResult(std::string_view detector, std::string_view bib, const CChrono& absoluteTime,
                     const CChrono& dailyTime, bool absoluteClock, bool writeToFile,
                     ResultAddedObserver* observer = nullptr);

// Both without the list's lock (the counts of the last completed change), so the interface never
// queues behind the recorders for them.
std::size_t CountActiveResults();
std::size_t ResultCount();  // removed records included
// Returns the number of active records it forgot.
std::size_t ClearResults();

// Sets the active flag of the record with this serial; false when no record has it.
bool SetResultActive(std::uint32_t serial, bool active);
// Same for several serials under one lock; returns how many records were found.
std::size_t SetResultsActive(const std::vector<std::uint32_t>& serials, bool active);
// Copies the record with this serial into out; false when no record has it.
bool FindResult(std::uint32_t serial, CRixResult& out);
// Copies the records with these serials, in that order, under one lock; false (out emptied) as
// soon as one serial has no record.
bool FindResults(const std::vector<std::uint32_t>& serials, std::vector<CRixResult>& out);

// The list's generation: it changes with every ClearResults. Readable without the lock (also
// from an observer, which runs under it).
std::uint64_t ResultListGeneration();
// The record at a position (from 0) of the list, or null past its end.
using ResultAt = std::function<const CRixResult*(std::size_t position)>;
// Runs visit under the list's lock with access by position, unless the list was cleared since
// `generation` (false then, visit not run). The records must not be kept past visit.
bool VisitResultsAt(std::uint64_t generation, const std::function<void(const ResultAt&)>& visit);

// Walks the list in recording order under the lock.
void ForEachResult(const std::function<void(const CRixResult&)>& visit);
std::vector<CRixResult> CopyActiveResults();

// "1\t<detector>\t<bib>\t1\t<timeText>": the text of a record sent to the results program.
std::string FormatResultLine(const CRixResult& result);
// In place: every tab becomes ",", every line feed a blank.
void ToCommaText(std::string& text);

// The time text of a record: FormatDailyHundredths of the daily time, or for the absolute
// clock the seconds, a dot and the hundredths without leading zero ("1716000000.5").
std::string MakeResultTimeText(const CChrono& absoluteTime, const CChrono& dailyTime, bool absoluteClock);

// Tests only: the serial the next record gets (0 and all-ones mean 1).
void ResetResultSerialForTest(std::uint32_t next);

}  // namespace winorvex
