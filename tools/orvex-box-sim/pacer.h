#pragma once
// Spreads a number of lines per second over time: how many are due now, and when the next is.
#include <chrono>
#include <cstdint>

namespace winorvex::sim {

class Pacer {
public:
    using Clock = std::chrono::steady_clock;

    // 0 lines per second means as fast as the link takes them.
    void SetRate(double per_second, Clock::time_point now) {
        rate_ = per_second > 0 ? per_second : 0;
        Reset(now);
    }
    void Reset(Clock::time_point now) {
        base_ = now;
        done_ = 0;
    }
    double rate() const { return rate_; }
    bool unpaced() const { return rate_ <= 0; }

    // Lines due at `now` and not yet produced. A backlog of more than a second (a slow or stalled
    // link) is forgotten rather than sent later in one burst.
    uint64_t Due(Clock::time_point now) {
        if (unpaced()) return UINT64_MAX;
        const double elapsed = std::chrono::duration<double>(now - base_).count();
        const auto total = static_cast<uint64_t>(elapsed * rate_);
        const uint64_t due = total > done_ ? total - done_ : 0;
        const auto limit = static_cast<uint64_t>(rate_) + 1;
        if (due > limit) {
            done_ += due - limit;
            return limit;
        }
        return due;
    }
    void Produced(uint64_t n) { done_ += n; }

    Clock::time_point NextAt(Clock::time_point now) const {
        if (unpaced()) return now;
        const auto at = base_ + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(static_cast<double>(done_ + 1) / rate_));
        return at;
    }

private:
    double rate_ = 0;
    Clock::time_point base_{};
    uint64_t done_ = 0;
};

}  // namespace winorvex::sim
