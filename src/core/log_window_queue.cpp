#include "core/log_window_queue.h"

#include <algorithm>
#include <utility>

#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

LogWindowQueue::LogWindowQueue(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void LogWindowQueue::Push(int level, std::string_view stamp, std::string_view text) {
    // The strings are built before taking the lock so that other producers only wait for the
    // queue operation itself, and a dropped line is freed after the lock is released.
    LogEntry entry{level, std::string(stamp), std::string(text)};
    LogEntry victim;
    {
        std::lock_guard lock(mutex_);
        if (entries_.size() >= capacity_) {
            victim = std::move(entries_.front());
            entries_.pop_front();
            ++dropped_;
        }
        entries_.push_back(std::move(entry));
    }
}

std::vector<LogEntry> LogWindowQueue::Drain(std::size_t maxLines) {
    std::vector<LogEntry> out;
    if (maxLines == 0) return out;
    std::size_t dropped = 0;
    {
        std::lock_guard lock(mutex_);
        dropped = std::exchange(dropped_, 0);
        const std::size_t room = dropped > 0 ? maxLines - 1 : maxLines;
        const std::size_t take = std::min(room, entries_.size());
        out.reserve(take + (dropped > 0 ? 1 : 0));
        if (dropped > 0) out.emplace_back();  // filled below, outside the lock
        for (std::size_t i = 0; i < take; ++i) {
            out.push_back(std::move(entries_.front()));
            entries_.pop_front();
        }
    }
    if (dropped > 0) out.front() = DroppedLinesNotice(dropped);
    return out;
}

void LogWindowQueue::Clear() {
    std::deque<LogEntry> old;
    {
        std::lock_guard lock(mutex_);
        old.swap(entries_);
        dropped_ = 0;
    }
}

std::size_t LogWindowQueue::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

LogEntry DroppedLinesNotice(std::size_t dropped) {
    const char* plural = dropped > 1 ? "s" : "";
    LogEntry notice;
    notice.level = 0;
    notice.stamp = LogTimeStamp();
    notice.text =
        Format(Tr("## %zu ligne%s retirée%s de la fenêtre des traces", "## %zu line%s dropped from the log window"),
               dropped, plural, plural);
    return notice;
}

}  // namespace winorvex
