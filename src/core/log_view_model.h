#pragma once
// The content of the log window without widgets: lines in order, purged by 2000 when above 8000.
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "core/log.h"

namespace winorvex {

class LogViewModel {
public:
    static constexpr std::size_t kMaxLines = 8000;
    static constexpr std::size_t kPurgeLines = 2000;

    // Appends lines drained from the queue ("stamp text" each); purges as needed, writing the two
    // purge notices to the log file. Returns the number of lines purged.
    std::size_t Append(const std::vector<LogEntry>& entries);
    void Clear();
    std::size_t Size() const { return lines_.size(); }
    const std::string& Line(std::size_t index) const { return lines_[index]; }
    // Index of the first visible line: moves one line down per appended line (the pane scrolls).
    std::size_t FirstVisible() const { return firstVisible_; }
    // The operator scrolled the pane: later lines scroll on from there.
    void SetFirstVisible(std::size_t index);

private:
    std::deque<std::string> lines_;
    std::size_t firstVisible_ = 0;
};

}  // namespace winorvex
