#pragma once
// The reader's record memory: reads stored while recording, a replay position, and the logging
// detail counters that describe both.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame.h"

namespace winorvex::sim {

// Counters of a logging-detail reply: recorded = A*G + B, played back = C*G + D,
// free = (F - A)*G - B; E carries the state bits (1 recording, 2 replaying).
struct LoggingCounters {
    uint32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0;
};

class ReaderMemory {
public:
    static constexpr uint32_t kRecordsPerBlock = 0x100;
    static constexpr uint32_t kBlocks = 0xff;
    static constexpr std::size_t kCapacity = std::size_t{kRecordsPerBlock} * kBlocks;

    // Stores one tag-read line (its line end is dropped). False when the memory is full.
    bool Record(std::string_view tag_line);

    // Copies the next record not yet played back, with CR LF, into `out`; 0 when none is left.
    std::size_t ReplayNext(char* out);

    void Rewind() { replay_pos_ = 0; }
    void MarkAllRead() { replay_pos_ = records_.size(); }
    void Clear();

    std::size_t recorded() const { return records_.size(); }
    std::size_t played_back() const { return replay_pos_; }
    std::size_t remaining() const { return records_.size() - replay_pos_; }

    LoggingCounters Counters(bool recording, bool replaying) const;

private:
    struct StoredLine {
        std::array<char, kMaxTagLine> text;
        uint8_t length;  // without line end
    };
    std::vector<StoredLine> records_;
    std::size_t replay_pos_ = 0;
};

// Appends the logging-detail reply "ab000c4b" + "07" + A B C D E F G + padding + checksum + CR LF.
void AppendLoggingDetail(std::string& out, const LoggingCounters& counters);

// Appends a clearing progress reply "ab00034bd0" + x + y + checksum + CR LF (x of y done).
void AppendClearingProgress(std::string& out, uint8_t done, uint8_t total);

}  // namespace winorvex::sim
