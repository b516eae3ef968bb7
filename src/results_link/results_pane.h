#pragma once
// The results pane without widgets: one item per decoded runner line, the oldest purged when
// the pane grows too long. Owned and used by the station thread only (the decoding of the
// results program's lines runs there), so it needs no lock of its own.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace winorvex {

struct CSummaryItem {
    std::string name;  // "first last" padded to 30 characters
    int bib = 0;
    std::string time;
    std::string pass;    // "." or "p<n>"
    std::string result;  // the rank text, or the status text of a refused detection
    bool error = false;  // the detection was not taken as a runner time: shown as an error
};

class ResultsPaneModel {
public:
    static constexpr std::size_t kMaxItems = 8000;
    static constexpr std::size_t kPurgeItems = 2000;

    // Appends the item and moves the first visible line down by one (as far as the visible
    // height allows); above kMaxItems the kPurgeItems oldest go, between the two purge notices
    // in the log. Returns the number of items purged.
    std::size_t Append(CSummaryItem item);
    void Clear();

    std::size_t Size() const { return items_.size(); }
    const CSummaryItem& Item(std::size_t index) const { return items_[index]; }
    void SetVisibleLines(std::size_t count);  // the view's height in lines (default 15)
    std::size_t TopLine() const { return top_; }
    void SetTopLine(std::size_t top);

private:
    std::size_t MaxTop() const;

    std::deque<CSummaryItem> items_;
    std::size_t top_ = 0;
    std::size_t visible_ = 15;
};

// Speaks each runner once in a row: a name is said only when it differs from the one said last.
class SpeechChooser {
public:
    // speechWanted: a voice exists and Scroll Lock is on. Returns the text to say now, or an
    // empty text; only a text returned becomes the last one said.
    std::string Choose(std::string_view candidate, bool speechWanted);
    const std::string& LastSpoken() const { return last_; }
    // A pane was cleared: the next name is said even if it was the last one said.
    void Forget() { last_.clear(); }

private:
    std::string last_;
};

}  // namespace winorvex
