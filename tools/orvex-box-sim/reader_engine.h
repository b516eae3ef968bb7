#pragma once
// What the simulated reader says and how it answers, independent of the link that carries it: the
// TCP listener drives it today, a pseudo-terminal could drive it the same way. Not thread-safe:
// one link thread owns it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "chip_source.h"
#include "pacer.h"
#include "reader_clock.h"
#include "reader_log.h"
#include "reader_memory.h"

namespace winorvex::sim {

struct EngineOptions {
    double rate = 10;    // live reads per second, 0 = as fast as the link takes them
    uint64_t count = 0;  // live reads in all, 0 = endless
    bool start_paused = false;
    uint64_t seed = 1;  // garbage content
    std::chrono::milliseconds clear_step{50};
};

enum class EngineAction { kNone, kPowerOff };

struct EngineStats {
    uint64_t reads_sent = 0;  // every tag read produced for the link (live and on demand)
    uint64_t commands = 0;    // well-formed command frames received
    uint64_t bad_frames = 0;  // received lines that were no valid frame
    uint64_t recorded = 0;
    uint64_t played_back = 0;
    bool recording = false;
    bool replaying = false;
    bool paused = false;
    double rate = 0;
};

class ReaderEngine {
public:
    using Clock = std::chrono::steady_clock;
    using NoteSink = std::function<void(const std::string&)>;

    ReaderEngine(const EngineOptions& options, ChipSource chips, ReaderClock& clock, ReaderLog& log, NoteSink note);

    void OnConnected(Clock::time_point now);
    void OnDisconnected();

    // Handles one received line (its line end may still be there) and appends the replies.
    EngineAction HandleLine(std::string_view line, std::string& out, Clock::time_point now);

    // Appends what is due at `now` (clearing progress, logging details, replayed records, reads),
    // at most about `budget` bytes, and returns when something is next due.
    Clock::time_point Produce(std::string& out, std::size_t budget, Clock::time_point now);

    void Pause() { paused_ = true; }
    void Resume(Clock::time_point now);
    void SetRate(double per_second, Clock::time_point now);
    void AddReads(uint64_t n) { extra_reads_ += n; }
    // After a stall the reads that fell due meanwhile are not sent in one burst.
    void RestartPacing(Clock::time_point now);

    void AppendGarbage(std::string& out, int lines);
    void AppendOverlong(std::string& out, std::size_t length);
    static void AppendLoneLineFeed(std::string& out) { out.push_back('\n'); }

    // Sequence numbers [first, end) of the reads produced since the last call: the link stamps
    // them with the time of the write that carries them.
    bool TakeUnstamped(uint64_t* first, uint64_t* end);

    EngineStats Stats() const;

private:
    void HandleLogging(std::string_view data, uint8_t length, std::string& out, Clock::time_point now);
    void HandleClockSet(std::string_view data, std::string& out);
    void AppendClockReply(std::string& out) const;
    void AppendRead(std::string& out, const ChipPick& pick);
    void Note(const std::string& text) const;

    EngineOptions options_;
    ChipSource chips_;
    ReaderClock& clock_;
    ReaderLog& log_;
    NoteSink note_;
    ReaderMemory memory_;
    StampCache stamps_;
    SplitMix64 garbage_rng_;

    Pacer live_pacer_;
    Pacer replay_pacer_;
    bool connected_ = false;
    bool paused_ = false;
    uint64_t live_sent_ = 0;
    uint64_t extra_reads_ = 0;
    uint64_t next_seq_ = 0;
    uint64_t unstamped_from_ = 0;
    uint64_t commands_ = 0;
    uint64_t bad_frames_ = 0;

    bool recording_ = false;
    bool replaying_ = false;
    bool periodic_ = false;
    Clock::duration period_{};
    Clock::time_point next_detail_{};
    int clear_step_ = -1;  // -1: no clearing under way
    Clock::time_point next_clear_step_{};

    std::string log_batch_;
};

// The line as safe text for a note: control bytes escaped, long lines cut.
std::string PrintableExcerpt(std::string_view line);

}  // namespace winorvex::sim
