#pragma once
// The detections pane without widgets. Worker threads hand their lines to a bounded queue
// (they never wait for the view); the view drains the queue into a DetectionsPaneModel a few
// times a second and draws what the model holds. The decisions of the pane's context menu
// (remove or restore the selected detections) live here too, so that they can be tested.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/chrono.h"
#include "detections/result_list.h"

namespace winorvex {

class OperatorPrompt;
class StationEventSink;

// One line of the pane and the serial of the record it shows (0: no record).
struct DetectionsPaneLine {
    std::string text;
    std::uint32_t serial = 0;
};

// ---- worker side -------------------------------------------------------------------------

inline constexpr std::size_t kDetectionsPaneQueueCapacity = 16384;

// FormatDailyWithDays of the daily time, a tab, and the display text with every CR shown
// as "<CR>" and every LF as "<LF>".
std::string MakeDetectionsPaneText(std::string_view displayText, const CChrono& dailyTime);

// Callable from any thread; never blocks for long. When the view lags so far that the queue
// is full, the oldest waiting line is dropped (the record itself is safe in the result list).
void AddToDetectionsPane(std::string_view displayText, std::uint32_t serial, const CChrono& dailyTime);

struct DetectionsPaneBatch {
    std::vector<DetectionsPaneLine> lines;  // oldest first
    std::size_t dropped = 0;                // lines lost to a full queue since the last drain
};
DetectionsPaneBatch DrainDetectionsPaneQueue(std::size_t maxLines = kDetectionsPaneQueueCapacity);
void ClearDetectionsPaneQueue();

// ---- view side ---------------------------------------------------------------------------

class DetectionsPaneModel {
public:
    static constexpr std::size_t kMaxLines = 12000;
    static constexpr std::size_t kPurgeLines = 2000;
    static constexpr std::size_t kLinesShownAtEnd = 15;

    // Appends one line: with scrolling on, the top line moves one line further (as far as the
    // visible height allows); above kMaxLines the kPurgeLines oldest are deleted, between the
    // two purge notices in the log. Returns the number of lines purged.
    std::size_t Append(DetectionsPaneLine line);
    // Takes what waits in the queue. Returns the number of lines appended.
    std::size_t DrainQueue();
    void Clear();

    std::size_t Size() const { return lines_.size(); }
    const DetectionsPaneLine& Line(std::size_t index) const { return lines_[index]; }
    std::vector<std::uint32_t> SerialsOf(const std::vector<std::size_t>& rows) const;

    // Scrolling: switching it on shows the last lines at once.
    void SetScrollEnabled(bool enabled);
    bool ScrollEnabled() const { return scroll_; }
    void SetVisibleLines(std::size_t count);  // the view's height in lines (default 15)
    std::size_t VisibleLines() const { return visible_; }
    std::size_t TopLine() const { return top_; }
    void SetTopLine(std::size_t top);  // the operator scrolled
    void ShowLastLines();

private:
    std::size_t MaxTop() const;

    std::deque<DetectionsPaneLine> lines_;
    std::size_t top_ = 0;
    std::size_t visible_ = kLinesShownAtEnd;
    bool scroll_ = true;
};

// Column widths, in average character widths, of the tab-separated parts of a pane line
// (the first column is wider when the time carries a day prefix such as "+24h").
std::array<int, 4> DetectionsPaneColumnWidths(std::string_view line);

// ---- remove or restore the selected detections -------------------------------------------

enum class SelectionActivity {
    None,  // nothing selected, or a selected line has no record: no menu
    AllActive,
    AllRemoved,
    Mixed,
};

// Looks up the selected records; fills records (when given) in selection order.
SelectionActivity ClassifySelection(const std::vector<std::uint32_t>& serials,
                                    std::vector<CRixResult>* records = nullptr);

struct RemoveRestoreMenu {
    bool show = false;
    bool removeEnabled = false;   // greyed when all are removed
    bool restoreEnabled = false;  // greyed when all are active
};
RemoveRestoreMenu MenuForSelection(SelectionActivity activity);

const char* RemoveSelectedMenuText();
const char* RestoreSelectedMenuText();
const char* CancelMenuText();

// "Remove detection <time> of runner <bib> ?" for one record, "Remove those 3 detections?"
// for several (and the restore forms).
std::string RemoveRestoreQuestion(bool remove, const std::vector<CRixResult>& selected);

// Asks the question and, on Yes, sets the active flags and refreshes the recorded count.
// The detection file keeps every line ever written. Returns the number of records changed.
std::size_t RemoveOrRestoreSelection(bool remove, const std::vector<std::uint32_t>& serials, OperatorPrompt& prompt,
                                     StationEventSink* events);

}  // namespace winorvex
