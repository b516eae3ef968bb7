#pragma once
// The bounded hand-over of log lines from any thread to the log window. Producers never wait for
// the view: when the queue is full the oldest waiting line makes room and is counted as dropped.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/log.h"

namespace winorvex {

class LogWindowQueue {
public:
    explicit LogWindowQueue(std::size_t capacity);
    LogWindowQueue(const LogWindowQueue&) = delete;
    LogWindowQueue& operator=(const LogWindowQueue&) = delete;

    void Push(int level, std::string_view stamp, std::string_view text);
    // Up to maxLines lines, oldest first. After an overflow the first entry is a notice with the
    // number of lines dropped since the previous drain; it counts as one of the maxLines.
    std::vector<LogEntry> Drain(std::size_t maxLines);
    void Clear();

    std::size_t Capacity() const { return capacity_; }
    std::size_t Size() const;

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<LogEntry> entries_;
    std::size_t dropped_ = 0;
};

// The notice that opens a drain after an overflow, in the station language.
LogEntry DroppedLinesNotice(std::size_t dropped);

}  // namespace winorvex
