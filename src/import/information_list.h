#pragma once
// The import dialog's list of information lines: bounded, so a log full of abnormal events cannot
// grow it without end, and shown with its line breaks visible.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace winorvex {

class InformationList {
public:
    static constexpr std::size_t kMaxLines = 8000;
    static constexpr std::size_t kDroppedWhenFull = 2000;

    // Adds the line's display form (carriage returns and line feeds as <CR> and <LF>); past
    // kMaxLines the kDroppedWhenFull oldest lines go. Returns how many were dropped (a view
    // removes as many rows from its top).
    std::size_t Add(std::string_view line);
    void Clear() { lines_.clear(); }
    std::size_t Size() const { return lines_.size(); }
    const std::deque<std::string>& Lines() const { return lines_; }

private:
    std::deque<std::string> lines_;
};

}  // namespace winorvex
