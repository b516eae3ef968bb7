#include "detections/detections_pane.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "core/log.h"
#include "core/texts.h"

namespace winorvex {
namespace {

// Worker threads only push and the view only swaps the content out, so the lock is held for
// moments: no worker waits for the view.
class PaneQueue {
public:
    void Push(DetectionsPaneLine line) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.size() >= kDetectionsPaneQueueCapacity) {
            lines_.pop_front();
            ++dropped_;
        }
        lines_.push_back(std::move(line));
    }

    DetectionsPaneBatch Drain(std::size_t maxLines) {
        DetectionsPaneBatch batch;
        std::deque<DetectionsPaneLine> taken;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch.dropped = std::exchange(dropped_, 0);
            if (maxLines >= lines_.size()) {
                // The usual case: the whole queue changes hands at once; the lines move out of
                // it after the lock is released, so no worker waits for that.
                taken.swap(lines_);
            } else {
                for (std::size_t i = 0; i < maxLines; ++i) {
                    taken.push_back(std::move(lines_.front()));
                    lines_.pop_front();
                }
            }
        }
        batch.lines.reserve(taken.size());
        for (DetectionsPaneLine& line : taken) batch.lines.push_back(std::move(line));
        return batch;
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
        dropped_ = 0;
    }

private:
    std::mutex mutex_;
    std::deque<DetectionsPaneLine> lines_;
    std::size_t dropped_ = 0;
};

PaneQueue& Queue() {
    static PaneQueue queue;
    return queue;
}

}  // namespace

std::string MakeDetectionsPaneText(std::string_view displayText, const CChrono& dailyTime) {
    std::string text = dailyTime.FormatDailyWithDays();
    text.reserve(text.size() + 1 + displayText.size() + 8);
    text += '\t';
    for (char c : displayText) {
        if (c == '\r') {
            text += "<CR>";
        } else if (c == '\n') {
            text += "<LF>";
        } else {
            text += c;
        }
    }
    return text;
}

void AddToDetectionsPane(std::string_view displayText, std::uint32_t serial, const CChrono& dailyTime) {
    Queue().Push(DetectionsPaneLine{MakeDetectionsPaneText(displayText, dailyTime), serial});
}

DetectionsPaneBatch DrainDetectionsPaneQueue(std::size_t maxLines) {
    return Queue().Drain(maxLines);
}

void ClearDetectionsPaneQueue() {
    Queue().Clear();
}

std::size_t DetectionsPaneModel::MaxTop() const {
    return lines_.size() > visible_ ? lines_.size() - visible_ : 0;
}

std::size_t DetectionsPaneModel::Append(DetectionsPaneLine line) {
    const std::size_t previousTop = top_;
    lines_.push_back(std::move(line));
    if (scroll_) top_ = std::min(previousTop + 1, MaxTop());
    if (lines_.size() <= kMaxLines) return 0;

    LogToFileText("Purge Detections Window content...");
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(kPurgeLines));
    if (scroll_) {
        ShowLastLines();
    } else {
        // The lines the operator was looking at moved up with the purge.
        top_ = top_ > kPurgeLines ? top_ - kPurgeLines : 0;
    }
    LogToFileText("Purge Detections Window done");
    return kPurgeLines;
}

std::size_t DetectionsPaneModel::DrainQueue() {
    DetectionsPaneBatch batch = DrainDetectionsPaneQueue();
    if (batch.dropped > 0) {
        LogF(50,
             Tr("%d lignes de détections non affichées (affichage en retard)",
                "%d detection lines not shown (display lagging)"),
             static_cast<int>(batch.dropped));
    }
    for (DetectionsPaneLine& line : batch.lines) Append(std::move(line));
    return batch.lines.size();
}

void DetectionsPaneModel::Clear() {
    lines_.clear();
    top_ = 0;
}

std::vector<std::uint32_t> DetectionsPaneModel::SerialsOf(const std::vector<std::size_t>& rows) const {
    std::vector<std::uint32_t> serials;
    serials.reserve(rows.size());
    // A row past the end shows nothing: it counts as a line without a record.
    for (std::size_t row : rows) serials.push_back(row < lines_.size() ? lines_[row].serial : 0);
    return serials;
}

void DetectionsPaneModel::SetScrollEnabled(bool enabled) {
    scroll_ = enabled;
    if (enabled) ShowLastLines();
}

void DetectionsPaneModel::SetVisibleLines(std::size_t count) {
    visible_ = std::max<std::size_t>(count, 1);
    top_ = std::min(top_, MaxTop());
}

void DetectionsPaneModel::SetTopLine(std::size_t top) {
    top_ = std::min(top, MaxTop());
}

void DetectionsPaneModel::ShowLastLines() {
    top_ = lines_.size() > kLinesShownAtEnd ? lines_.size() - kLinesShownAtEnd : 0;
    top_ = std::min(top_, MaxTop());
}

std::array<int, 4> DetectionsPaneColumnWidths(std::string_view line) {
    return {(!line.empty() && line.front() == '+') ? 15 : 10, 25, 30, 80};
}

}  // namespace winorvex
