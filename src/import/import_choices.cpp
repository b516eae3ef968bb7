#include "import/import_choices.h"

#include "core/chrono.h"
#include "core/number_scanner.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

constexpr int kEndOfDay = 23 * 3600 + 59 * 60 + 59;

std::vector<std::string> MakeDetectorItems() {
    std::vector<std::string> items = {"31     CLASSIC", "C31    Contrôle CLASSIC"};
    for (int n = 10; n <= 24; ++n) {
        items.push_back(Format("%d     ", n));
        items.push_back(Format("C%d    Contrôle", n));
    }
    return items;
}

// The marker's own wall-clock time: on a day when the clocks change, the time elapsed since
// midnight is not the time the reader showed.
std::string MarkerTimeText(const COrvexMarker& marker) {
    if (marker.time.size() != 6) return marker.time;
    const char* t = marker.time.c_str();
    return Format("%.2s:%.2s:%.2s", t, t + 2, t + 4);
}

MarkerMenuEntry MarkerEntry(const COrvexMarker& marker) {
    const std::string time = MarkerTimeText(marker);
    return {Format("%s : %s", time.c_str(), marker.label.c_str()), time};
}

}  // namespace

const std::vector<std::string>& ImportDetectorItems() {
    static const std::vector<std::string> items = MakeDetectorItems();
    return items;
}

std::string DetectorOfItem(std::string_view item) {
    const std::size_t start = item.find_first_not_of(' ');
    if (start == std::string_view::npos) return {};
    const std::size_t end = item.find(' ', start);
    return std::string(item.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

int FindDetectorItem(std::string_view detector) {
    const std::vector<std::string>& items = ImportDetectorItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (DetectorOfItem(items[i]) == detector) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> ImportDayCorrectionItems() {
    return {Tr("Utiliser le temps tel quel", "Use times as-is"), Tr("Ajouter 24h aux temps", "Add 24 hours to times"),
            Tr("Ajouter 48h aux temps", "Add 48 hours to times"), Tr("Ajouter 72h aux temps", "Add 72 hours to times")};
}

int DayCorrectionForDate(std::uint32_t yyyymmdd) {
    const int index = RaceDayDates().IndexOf(yyyymmdd);
    return index > 0 ? index : 0;
}

std::string ImportDayCorrectionLabel(int index) {
    if (index <= 0 || index >= kImportDayCorrectionCount) return {};
    return Format("+%dh", 24 * index);
}

bool IsInDatePickerRange(const CivilDate& date) {
    const std::int64_t days = DaysFromCivil(date.year, date.month, date.day);
    return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31 &&
           CivilFromDays(days).day == date.day && days >= DaysFromCivil(2000, 1, 1) &&
           days <= DaysFromCivil(2038, 1, 1);
}

CivilDate ClampToDatePicker(const CivilDate& date) {
    if (IsInDatePickerRange(date)) return date;
    const std::int64_t days = DaysFromCivil(date.year, date.month, date.day);
    return days < DaysFromCivil(2000, 1, 1) ? CivilDate{2000, 1, 1} : CivilDate{2038, 1, 1};
}

std::uint32_t DateNumber(const CivilDate& date) {
    return static_cast<std::uint32_t>(date.year * 10000 + date.month * 100 + date.day);
}

std::string RememberedDateText(const CivilDate& date) {
    return Format("%02d/%02d/%04d", date.day, date.month, date.year);
}

std::optional<CivilDate> ParseRememberedDate(std::string_view text) {
    NumberScanner scan(text);
    std::int64_t day = 0;
    std::int64_t month = 0;
    std::int64_t year = 0;
    if (!scan.ReadLong(day) || !scan.Expect('/') || !scan.ReadLong(month) || !scan.Expect('/') ||
        !scan.ReadLong(year)) {
        return std::nullopt;
    }
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    const CivilDate date{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
    if (!IsInDatePickerRange(date)) return std::nullopt;
    return date;
}

std::optional<int> ParseWindowTime(std::string_view text) {
    CChrono parsed;
    if (!parsed.ParseClock(text)) return std::nullopt;
    // The clock parser takes free fields (75 minutes is an hour and a quarter); a window time is a
    // time of day, so each field is checked on its own.
    NumberScanner scan(text);
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    std::int64_t seconds = 0;
    if (!scan.ReadLong(hours) || !(scan.Expect(':') || scan.Expect('.')) || !scan.ReadLong(minutes) ||
        !(scan.Expect(':') || scan.Expect('.')) || !scan.ReadLong(seconds)) {
        return std::nullopt;
    }
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) return std::nullopt;
    return static_cast<int>(hours * 3600 + minutes * 60 + seconds);
}

std::string SecondsOfDayText(int seconds) {
    return Format("%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::vector<MarkerMenuEntry> StartMarkerMenu(const std::vector<COrvexMarker>& markers) {
    std::vector<MarkerMenuEntry> entries;
    entries.push_back({Tr("00:00:00 : Début de journée", "00:00:00 : Start of day"), "00:00:00"});
    for (const COrvexMarker& marker : markers) entries.push_back(MarkerEntry(marker));
    return entries;
}

std::vector<MarkerMenuEntry> EndMarkerMenu(const std::vector<COrvexMarker>& markers) {
    std::vector<MarkerMenuEntry> entries;
    for (const COrvexMarker& marker : markers) entries.push_back(MarkerEntry(marker));
    entries.push_back({Tr("23:59:59 : Fin de journée", "23:59:59 : End of day"), SecondsOfDayText(kEndOfDay)});
    return entries;
}

}  // namespace winorvex
