#include "core/log_view_model.h"

#include <algorithm>

namespace winorvex {

std::size_t LogViewModel::Append(const std::vector<LogEntry>& entries) {
    std::size_t purged = 0;
    for (const LogEntry& entry : entries) {
        const std::size_t noted = firstVisible_;
        std::string line;
        line.reserve(entry.stamp.size() + 1 + entry.text.size());
        line.append(entry.stamp).append(1, ' ').append(entry.text);
        lines_.push_back(std::move(line));
        firstVisible_ = std::min(noted + 1, lines_.size() - 1);
        if (lines_.size() > kMaxLines) {
            LogToFileText("Purge Log Window content...");
            lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(kPurgeLines));
            firstVisible_ -= std::min(firstVisible_, kPurgeLines);
            LogToFileText("Purge Log Window done");
            purged += kPurgeLines;
        }
    }
    return purged;
}

void LogViewModel::Clear() {
    lines_.clear();
    firstVisible_ = 0;
}

void LogViewModel::SetFirstVisible(std::size_t index) {
    firstVisible_ = lines_.empty() ? 0 : std::min(index, lines_.size() - 1);
}

}  // namespace winorvex
