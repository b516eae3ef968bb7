#include "import/information_list.h"

#include "core/log.h"

namespace winorvex {

std::size_t InformationList::Add(std::string_view line) {
    std::size_t dropped = 0;
    if (lines_.size() >= kMaxLines) {
        dropped = kDroppedWhenFull;
        lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(dropped));
    }
    lines_.push_back(LogDisplayForm(line));
    return dropped;
}

}  // namespace winorvex
