#pragma once
// Recording of an accepted detection and what the station does around it: forwarding to the
// results program and the detections pane (the sound and the recorded count go through the
// station's SoundPlayer and StationEventSink). The station implements DetectionOutputs; worker
// threads call it, so every method must be thread-safe and must not wait for the interface thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/chrono.h"
#include "detections/result_list.h"

namespace winorvex {

struct DecodedRead;

struct DetectionOutputs {
    virtual ~DetectionOutputs() = default;
    virtual bool IsDirectConnected() = 0;
    // One message to the results program; the link appends the line end.
    virtual void SendDirectLine(std::string_view line) = 0;
    // Under the result list's lock: the record just added at this position (from 0) is for the
    // results program. By default "AddRixClock(...)" is sent at once when the link is up.
    virtual void ForwardDetection(const CRixResult& record, std::size_t position);
    virtual void AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) = 0;
};

// For tools and tests that need none of it.
class NullDetectionOutputs final : public DetectionOutputs {
public:
    bool IsDirectConnected() override { return false; }
    void SendDirectLine(std::string_view) override {}
    void AddToDetectionsPane(std::string_view, std::uint32_t, const CChrono&) override {}
};

// Appends the detection to the result list and its line to the detection file. When the direct
// connection is up, "AddRixClock(<record line>)" is sent while the list is still locked, so the
// results program receives detections in the order of the list. Returns a copy of the record.
CRixResult RecordDetection(std::string_view identifier, std::string_view detector, const CChrono& absoluteTime,
                           const CChrono& dailyTime, DetectionOutputs& outputs);

// "AddRixClock(" + FormatResultLine(record) + ")" into the buffer, without allocating. Returns the
// length, or 0 when it does not fit (the caller then builds it as a string).
std::size_t FormatAddRixClock(char* buffer, std::size_t capacity, const CRixResult& record);
std::string MakeAddRixClock(const CRixResult& record);

// The text shown for a detection: box name and identifier when chips are translated, else box
// name, chip and its bib from the chip table ("# ????" for an unknown chip, nothing more when the
// table is empty). Cut safely to the buffer; returns the length.
std::size_t FormatDetectionDisplayText(char* buffer, std::size_t capacity, std::string_view boxName,
                                       const DecodedRead& read);

}  // namespace winorvex
