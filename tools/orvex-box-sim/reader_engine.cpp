#include "reader_engine.h"

#include <algorithm>

namespace winorvex::sim {

namespace {

using namespace std::chrono_literals;

constexpr int kClearSteps = 4;  // 25 %, 50 %, 75 %, 100 %
constexpr uint8_t kClearTotal = 100;
constexpr std::size_t kMaxOverlong = std::size_t{64} << 20;

bool ReadDecimal2(std::string_view text, std::size_t at, int* value) {
    const char hi = text[at];
    const char lo = text[at + 1];
    if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return false;
    *value = (hi - '0') * 10 + (lo - '0');
    return true;
}

}  // namespace

std::string PrintableExcerpt(std::string_view line) {
    static constexpr char kHex[] = "0123456789abcdef";
    constexpr std::size_t kMax = 80;
    std::string text;
    for (std::size_t i = 0; i < line.size() && i < kMax; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7f) {
            text.push_back(static_cast<char>(c));
        } else {
            text.append("\\x").push_back(kHex[c >> 4]);
            text.push_back(kHex[c & 0xf]);
        }
    }
    if (line.size() > kMax) text.append("... (" + std::to_string(line.size()) + " bytes)");
    return text;
}

ReaderEngine::ReaderEngine(const EngineOptions& options, ChipSource chips, ReaderClock& clock, ReaderLog& log,
                           NoteSink note)
    : options_(options),
      chips_(std::move(chips)),
      clock_(clock),
      log_(log),
      note_(std::move(note)),
      garbage_rng_(options.seed ^ 0x6a09e667f3bcc909ull),
      paused_(options.start_paused) {
    live_pacer_.SetRate(options.rate, Clock::now());
    replay_pacer_.SetRate(options.rate, Clock::now());
}

void ReaderEngine::Note(const std::string& text) const {
    if (note_) note_(text);
}

void ReaderEngine::OnConnected(Clock::time_point now) {
    connected_ = true;
    RestartPacing(now);
}

void ReaderEngine::OnDisconnected() {
    connected_ = false;
    // Reads queued for a link that went away were never sent: they get no send time.
    unstamped_from_ = next_seq_;
    // The reader finishes a clearing on its own; only the progress lines are lost.
    if (clear_step_ >= 0) {
        memory_.Clear();
        clear_step_ = -1;
    }
}

void ReaderEngine::Resume(Clock::time_point now) {
    paused_ = false;
    live_pacer_.Reset(now);
}

void ReaderEngine::SetRate(double per_second, Clock::time_point now) {
    live_pacer_.SetRate(per_second, now);
    replay_pacer_.SetRate(per_second, now);
}

void ReaderEngine::RestartPacing(Clock::time_point now) {
    live_pacer_.Reset(now);
    replay_pacer_.Reset(now);
}

bool ReaderEngine::TakeUnstamped(uint64_t* first, uint64_t* end) {
    if (unstamped_from_ == next_seq_) return false;
    *first = unstamped_from_;
    *end = next_seq_;
    unstamped_from_ = next_seq_;
    return true;
}

EngineStats ReaderEngine::Stats() const {
    EngineStats s;
    s.reads_sent = next_seq_;
    s.commands = commands_;
    s.bad_frames = bad_frames_;
    s.recorded = memory_.recorded();
    s.played_back = memory_.played_back();
    s.recording = recording_;
    s.replaying = replaying_;
    s.paused = paused_;
    s.rate = live_pacer_.rate();
    return s;
}

void ReaderEngine::AppendRead(std::string& out, const ChipPick& pick) {
    char line[kMaxTagLine];
    const int64_t reader_ms = clock_.ReaderMs(std::chrono::system_clock::now());
    const std::size_t len = FormatTagRead(line, *pick.chip, next_seq_++, stamps_.At(reader_ms), pick.marker);
    out.append(line, len);
    if (recording_) memory_.Record(std::string_view(line, len));
    if (log_.enabled()) log_batch_.append(line, len);
}

ReaderEngine::Clock::time_point ReaderEngine::Produce(std::string& out, std::size_t budget, Clock::time_point now) {
    const std::size_t limit = out.size() + budget;
    Clock::time_point next = Clock::time_point::max();
    if (!connected_) return next;

    if (clear_step_ >= 0) {
        while (clear_step_ >= 0 && next_clear_step_ <= now) {
            ++clear_step_;
            if (clear_step_ == kClearSteps) {
                memory_.Clear();
                AppendClearingProgress(out, kClearTotal, kClearTotal);
                clear_step_ = -1;
            } else {
                AppendClearingProgress(out, static_cast<uint8_t>(kClearTotal * clear_step_ / kClearSteps), kClearTotal);
                next_clear_step_ += options_.clear_step;
            }
        }
        if (clear_step_ >= 0) next = std::min(next, next_clear_step_);
    }

    if (replaying_ && memory_.remaining() > 0) {
        uint64_t due = replay_pacer_.Due(now);
        char line[kMaxTagLine];
        uint64_t produced = 0;
        while (due > 0 && out.size() < limit) {
            const std::size_t len = memory_.ReplayNext(line);
            if (len == 0) break;
            out.append(line, len);
            ++produced;
            --due;
        }
        replay_pacer_.Produced(produced);
        if (memory_.remaining() > 0) next = std::min(next, replay_pacer_.NextAt(now));
    } else if (replaying_) {
        // Nothing to replay: newly recorded reads are replayed as they come, at the pace from then on.
        replay_pacer_.Reset(now);
    }

    // The logging detail comes after the replayed lines it accounts for, so a host that waits for
    // "nothing left" has really received everything.
    if (periodic_) {
        if (next_detail_ <= now) {
            AppendLoggingDetail(out, memory_.Counters(recording_, replaying_));
            next_detail_ = now + period_;
        }
        next = std::min(next, next_detail_);
    }

    while (extra_reads_ > 0 && out.size() < limit) {
        AppendRead(out, chips_.Next());
        --extra_reads_;
    }
    if (extra_reads_ > 0) next = now;

    const bool live = !paused_ && (options_.count == 0 || live_sent_ < options_.count);
    if (live) {
        uint64_t due = live_pacer_.Due(now);
        if (options_.count != 0) due = std::min(due, options_.count - live_sent_);
        uint64_t produced = 0;
        while (due > 0 && out.size() < limit) {
            AppendRead(out, chips_.Next());
            ++produced;
            --due;
        }
        live_pacer_.Produced(produced);
        live_sent_ += produced;
        if (options_.count == 0 || live_sent_ < options_.count) next = std::min(next, live_pacer_.NextAt(now));
    }

    if (!log_batch_.empty()) {
        log_.Append(log_batch_);
        log_batch_.clear();
    }
    return next;
}

EngineAction ReaderEngine::HandleLine(std::string_view line, std::string& out, Clock::time_point now) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    CommandFrame frame;
    std::string reason;
    if (!ParseCommandFrame(line, &frame, &reason)) {
        ++bad_frames_;
        Note("ignored line (" + reason + "): " + PrintableExcerpt(line));
        return EngineAction::kNone;
    }
    ++commands_;
    switch (frame.command) {
        case 0x01:
            HandleClockSet(frame.data_hex, out);
            break;
        case 0x02:
            AppendClockReply(out);
            break;
        case 0x04:
            AppendReply(out, 0x04, "");
            break;
        case 0x0a: {
            char data[16];
            PutHex(data, static_cast<uint32_t>(next_seq_), 8);
            PutHex(data + 8, static_cast<uint32_t>(memory_.recorded()), 8);
            AppendReply(out, 0x0a, std::string_view(data, sizeof data));
            break;
        }
        case 0x27:
            AppendReply(out, 0x27, "00");
            break;
        case 0x49:
            Note("power off requested");
            return EngineAction::kPowerOff;
        case 0x4b:
            HandleLogging(frame.data_hex, frame.length, out, now);
            break;
        default:
            Note("unknown command " + PrintableExcerpt(line));
            break;
    }
    return EngineAction::kNone;
}

void ReaderEngine::HandleClockSet(std::string_view data, std::string& out) {
    int yy = 0, month = 0, day = 0, weekday = 0, hour = 0, minute = 0, second = 0;
    const bool digits = data.size() == 14 && ReadDecimal2(data, 0, &yy) && ReadDecimal2(data, 2, &month) &&
                        ReadDecimal2(data, 4, &day) && ReadDecimal2(data, 6, &weekday) &&
                        ReadDecimal2(data, 8, &hour) && ReadDecimal2(data, 10, &minute) &&
                        ReadDecimal2(data, 12, &second);
    // An impossible date is refused without the acknowledgement, so the host cannot believe the
    // clock was set.
    if (!digits || weekday > 6 ||
        !clock_.SetLocal(2000 + yy, month, day, hour, minute, second, std::chrono::system_clock::now())) {
        Note("clock setting refused: " + PrintableExcerpt(data));
        return;
    }
    AppendReply(out, 0x01, "");
}

void ReaderEngine::AppendClockReply(std::string& out) const {
    const ReaderTime t = clock_.Now();
    // YYMMDD WD HHMMSS, hundredths in hexadecimal, one spare byte.
    char data[18];
    PutDecimal2(data, t.year % 100);
    PutDecimal2(data + 2, t.month);
    PutDecimal2(data + 4, t.day);
    PutDecimal2(data + 6, t.weekday);
    PutDecimal2(data + 8, t.hour);
    PutDecimal2(data + 10, t.minute);
    PutDecimal2(data + 12, t.second);
    PutHex(data + 14, static_cast<uint32_t>(t.hundredths), 2);
    data[16] = '0';
    data[17] = '0';
    AppendReply(out, 0x02, std::string_view(data, sizeof data));
}

void ReaderEngine::HandleLogging(std::string_view data, uint8_t length, std::string& out, Clock::time_point now) {
    const auto ack_done = [&out] { AppendReply(out, 0x4b, "00"); };  // the "014b00" reply
    const auto ack = [&out] { AppendReply(out, 0x4b, ""); };         // the "004b" reply
    if (length == 0xff && data.empty()) {
        AppendLoggingDetail(out, memory_.Counters(recording_, replaying_));
    } else if (data == "0001" || data == "0000") {
        recording_ = data == "0001";
        ack_done();
    } else if (data == "0101" || data == "0100") {
        replaying_ = data == "0101";
        replay_pacer_.Reset(now);
        ack_done();
    } else if (data.empty()) {
        char line[kMaxTagLine];
        const std::size_t len = memory_.ReplayNext(line);
        out.append(line, len);
        ack();
    } else if (data == "02") {
        memory_.Rewind();
        ack();
    } else if (data == "03") {
        memory_.MarkAllRead();
        ack();
    } else if (data == "d0") {
        clear_step_ = 0;
        next_clear_step_ = now + options_.clear_step;
    } else if (data.size() == 6 && data.substr(0, 4) == "0701") {
        // The third byte is the period in tenths of a second.
        const int tenths = std::stoi(std::string(data.substr(4)), nullptr, 16);
        period_ = std::chrono::milliseconds(100 * std::max(1, tenths));
        periodic_ = true;
        next_detail_ = now;
        ack_done();
    } else if (data == "0700") {
        periodic_ = false;
        ack_done();
    } else {
        Note("unknown logging command " + PrintableExcerpt(data));
    }
}

void ReaderEngine::AppendGarbage(std::string& out, int lines) {
    for (int i = 0; i < lines; ++i) {
        const uint64_t r = garbage_rng_.Next();
        switch (i % 4) {
            case 0: {  // raw bytes, anything but the line feed
                const int n = 1 + static_cast<int>(r % 80);
                for (int k = 0; k < n; ++k) {
                    auto c = static_cast<char>(garbage_rng_.Next() & 0xff);
                    out.push_back(c == '\n' ? '\0' : c);
                }
                break;
            }
            case 1: {  // a tag read whose checksum is off by one
                char line[kMaxTagLine];
                StampText stamp;
                stamp.yymmddhhmmss.fill('0');
                const std::size_t len = FormatTagRead(line, *chips_.Next().chip, r, stamp, SeenMarker::kNone);
                line[35] = line[35] == '0' ? '1' : '0';
                out.append(line, len - 2);
                break;
            }
            case 2:
                out.append("?? noise ").append(std::to_string(r % 100000));
                break;
            default:  // a reply cut short: what is left fails the checksum
                out.append("ab0009");
                break;
        }
        out.append("\r\n");
    }
}

void ReaderEngine::AppendOverlong(std::string& out, std::size_t length) {
    static constexpr char kPattern[] = "0123456789abcdef";
    length = std::min(length, kMaxOverlong);
    out.reserve(out.size() + length + 2);
    for (std::size_t i = 0; i < length; ++i) out.push_back(kPattern[i % 16]);
    out.append("\r\n");
}

}  // namespace winorvex::sim
