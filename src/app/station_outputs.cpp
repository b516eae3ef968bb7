#include "app/station_outputs.h"

#include "detections/detections_pane.h"
#include "results_link/direct_connection.h"

namespace winorvex {

bool StationOutputs::IsDirectConnected() {
    return link_.IsDirectConnected() || keep_.load(std::memory_order_relaxed);
}

void StationOutputs::SendDirectLine(std::string_view line) {
    // The link refuses while it is not connected (or its queue is full): the line is then kept
    // when asked to, and otherwise lost for the results program only (it is in the list and file).
    if (link_.SendDirectLine(line) || !keep_.load(std::memory_order_relaxed)) return;
    std::lock_guard lock(backlogMutex_);
    if (backlog_.size() >= kBacklogLimit) {
        backlog_.pop_front();
        ++dropped_;
    }
    backlog_.emplace_back(line);
}

void StationOutputs::AddToDetectionsPane(std::string_view text, std::uint32_t serial, const CChrono& daily) {
    winorvex::AddToDetectionsPane(text, serial, daily);
}

void StationOutputs::SetKeepWhileDisconnected(bool keep) {
    keep_.store(keep);
    if (!keep) {
        std::lock_guard lock(backlogMutex_);
        backlog_.clear();
        dropped_ = 0;
    }
}

std::vector<std::string> StationOutputs::TakeBacklog(std::size_t& dropped) {
    std::lock_guard lock(backlogMutex_);
    std::vector<std::string> lines(std::make_move_iterator(backlog_.begin()), std::make_move_iterator(backlog_.end()));
    backlog_.clear();
    dropped = dropped_;
    dropped_ = 0;
    return lines;
}

}  // namespace winorvex
