#pragma once
// Everything that happens to one tag-read line of one box after it was recognised: decoding,
// the download file, the seen-marker and repeat-gap filters, the last-read list, recording and
// the display steps. One object per box, used by that box's worker thread only (the feed tool
// drives the very same object), so it needs no lock of its own.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/log_flood_limit.h"
#include "detections/last_read_list.h"
#include "detections/reader_line.h"
#include "detections/record_detection.h"
#include "detections/result_list.h"
#include "detections/tag_read.h"

namespace winorvex {

class SoundPlayer;
class StationEventSink;

// The box's download of the reader memory into a file, implemented by the box.
struct DownloadSink {
    virtual ~DownloadSink() = default;
    // When a download is running: appends the line and a line feed to its file, counts it and
    // returns true. Otherwise returns false and does nothing.
    virtual bool SaveIfDownloading(std::string_view fullLine) = 0;
};

enum class LineOutcome {
    Recorded,         // a new record in the result list
    Ignored,          // dropped by the seen-marker or repeat-gap filter
    SavedToDownload,  // went to the download file instead of the result list
    Invalid,          // could not be decoded
};

// Counts since the worker started (or the last ResetCounters).
struct DetectionCounters {
    std::uint64_t tagReads = 0;  // tag-read lines handled
    std::uint64_t recorded = 0;
    std::uint64_t ignored = 0;
    std::uint64_t invalid = 0;
    std::uint64_t downloaded = 0;
};

// Where a recorded detection is announced besides the result list; each may be null.
struct PipelineServices {
    DetectionOutputs* outputs = nullptr;  // forwarding and the detections pane
    StationEventSink* events = nullptr;   // the recorded count changed
    SoundPlayer* sounds = nullptr;        // the detection sound
    DownloadSink* download = nullptr;     // the box's download of the reader memory
};

struct BoxIdentity {
    std::string label;        // "Box 1 [host:port id]": names the box in log messages
    std::string detectorId;   // detector identifier given to its records
    std::string description;  // "[host:port id]": names the box in displayed detections
};

class DetectionPipeline {
public:
    DetectionPipeline(BoxIdentity box, CLastBoxDetectionList& lastReads, PipelineServices services);
    DetectionPipeline(const DetectionPipeline&) = delete;
    DetectionPipeline& operator=(const DetectionPipeline&) = delete;

    // Only between lines (the owner's thread).
    void SetBox(BoxIdentity box);
    const BoxIdentity& Box() const { return box_; }

    // A line of kind 0 as ClassifyReaderLine gave it.
    LineOutcome HandleTagRead(const ReaderLine& line);
    LineOutcome HandleTagRead(std::string_view text, std::string_view fullLine, int seenMarker);

    // "+ <label> : Invalid input: <line>" at level 0 (the bytes escaped), for a line
    // ClassifyReaderLine refused; within the box's flood limit.
    void LogInvalidInput(std::string_view line);
    // "+ <label> : Command unknown or not processed: <line>" at level 0, likewise.
    void LogUnhandledReply(std::string_view line);

    // The bound on the box's log lines about refused input: give it to ClassifyReaderLine, and
    // Flush it now and then and at the end so that every summary is written.
    LogFloodLimit& FloodLimit() { return floodLimit_; }

    const DetectionCounters& Counters() const { return counters_; }
    void ResetCounters() { counters_ = {}; }
    // The read and the record of the last line handled (the record only after Recorded).
    const DecodedRead& LastRead() const { return read_; }
    const CRixResult& LastRecord() const { return record_; }

private:
    LineOutcome Drop(LineOutcome outcome);
    void ShowRecorded();

    BoxIdentity box_;
    CLastBoxDetectionList& lastReads_;
    NullDetectionOutputs silent_;
    DetectionOutputs& outputs_;
    StationEventSink* events_;
    SoundPlayer* sounds_;
    DownloadSink* download_;
    DetectionCounters counters_;
    LogFloodLimit floodLimit_;
    DecodedRead read_;
    CRixResult record_;
};

}  // namespace winorvex
