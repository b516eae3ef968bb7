#pragma once
// The fixed choices of the import dialog and the texts built from them: detector identifiers,
// day corrections, the window times and the marker menus.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/local_calendar.h"
#include "import/detection.h"

namespace winorvex {

// The 32 items of the box identifier list; the identifier is an item's first word.
const std::vector<std::string>& ImportDetectorItems();
std::string DetectorOfItem(std::string_view item);
// Index of the first item whose first word is `detector`, or -1.
int FindDetectorItem(std::string_view detector);

inline constexpr int kImportDayCorrectionCount = 4;
// "Use times as-is", "Add 24 hours to times" ... in the operator's language.
std::vector<std::string> ImportDayCorrectionItems();
// k when the date is the (k+1)-th race day, else 0.
int DayCorrectionForDate(std::uint32_t yyyymmdd);
// "+24h", "+48h", "+72h", or empty for no correction.
std::string ImportDayCorrectionLabel(int index);

// The date picker's range, 1 January 2000 to 1 January 2038.
bool IsInDatePickerRange(const CivilDate& date);
CivilDate ClampToDatePicker(const CivilDate& date);
std::uint32_t DateNumber(const CivilDate& date);  // yyyymmdd
// The remembered date text "%02d/%02d/%04d" (day, month, year) and back.
std::string RememberedDateText(const CivilDate& date);
std::optional<CivilDate> ParseRememberedDate(std::string_view text);

// A start or end time as typed: what the clock parser reads (hh:mm:ss, with or without
// hundredths, or with dots), with hours 0..23 and minutes and seconds 0..59. Seconds of the day;
// hundredths are not used.
std::optional<int> ParseWindowTime(std::string_view text);
std::string SecondsOfDayText(int seconds);  // "hh:mm:ss"

struct MarkerMenuEntry {
    std::string text;        // what the menu shows
    std::string fieldValue;  // what choosing it puts in the time field
};
// Start button: the start of day, then one entry per marker; end button: the markers, then the end of day.
std::vector<MarkerMenuEntry> StartMarkerMenu(const std::vector<COrvexMarker>& markers);
std::vector<MarkerMenuEntry> EndMarkerMenu(const std::vector<COrvexMarker>& markers);

}  // namespace winorvex
