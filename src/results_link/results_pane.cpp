#include "results_link/results_pane.h"

#include <algorithm>
#include <utility>

#include "core/log.h"

namespace winorvex {

std::size_t ResultsPaneModel::MaxTop() const {
    return items_.size() > visible_ ? items_.size() - visible_ : 0;
}

std::size_t ResultsPaneModel::Append(CSummaryItem item) {
    items_.push_back(std::move(item));
    top_ = std::min(top_ + 1, MaxTop());
    if (items_.size() <= kMaxItems) return 0;
    LogToFileText("Purge Summary Window content...");
    items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(kPurgeItems));
    top_ = top_ > kPurgeItems ? top_ - kPurgeItems : 0;
    top_ = std::min(top_, MaxTop());
    LogToFileText("Purge Summary Window done");
    return kPurgeItems;
}

void ResultsPaneModel::Clear() {
    items_.clear();
    top_ = 0;
}

void ResultsPaneModel::SetVisibleLines(std::size_t count) {
    visible_ = std::max<std::size_t>(count, 1);
    top_ = std::min(top_, MaxTop());
}

void ResultsPaneModel::SetTopLine(std::size_t top) {
    top_ = std::min(top, MaxTop());
}

std::string SpeechChooser::Choose(std::string_view candidate, bool speechWanted) {
    if (!speechWanted || candidate.empty() || candidate == last_) return {};
    last_.assign(candidate);
    return last_;
}

}  // namespace winorvex
