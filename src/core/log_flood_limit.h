#pragma once
// Keeps a reader that sends garbage from filling the disk with log lines about what it sent. Per
// kind of message, the first 20 lines of a second are written; the others of that second are only
// counted, and one line "... %d more lines like this in the last second" tells how many once the
// second is over. Only the lines about refused input go through it: a detection is never held back.
//
// One object per box (its label names the box in the summary line), used by that box's thread only.
// No allocation once the label is set.
#include <array>
#include <chrono>
#include <string>

namespace winorvex {

class LogFloodLimit {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kLinesPerSecond = 20;
    static constexpr int kKinds = 8;

    explicit LogFloodLimit(std::string label = {}) : label_(std::move(label)) {}

    void SetLabel(std::string label) { label_ = std::move(label); }

    // True when a line of this kind (0 .. kKinds-1; others are always admitted) may be written
    // now. A line that starts a new second first writes the summary of the second before.
    bool Admit(int kind, int level) { return Admit(kind, level, Clock::now()); }
    bool Admit(int kind, int level, Clock::time_point now);

    // Writes the summary of every second that is over and held lines back. The owner calls it
    // now and then (an idle reader loop) and when it ends, so no count is left untold.
    void Flush() { Flush(Clock::now()); }
    void Flush(Clock::time_point now);

    // Lines held back so far in the current seconds, all kinds together.
    int HeldBack() const;

private:
    struct Window {
        Clock::time_point start{};
        int lines = 0;  // lines of this second, written or held
        int level = 0;  // level of the lines held (the summary's level)
        bool open = false;
    };
    void Summarise(Window& window);

    std::array<Window, kKinds> windows_{};
    std::string label_;
};

}  // namespace winorvex
