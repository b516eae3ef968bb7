#include "app/manual_insertion.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <memory>

#include "chips/chip_table.h"
#include "core/local_time.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "detections/record_detection.h"
#include "reader/box_manager.h"
#include "reader/com_box.h"

namespace winorvex {

namespace {

std::atomic<int> g_lastDetectorIndex{0};

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits only, and a value no greater than the limit.
bool ReadDigits(std::string_view digits, std::int64_t limit, std::int64_t& value) {
    if (digits.empty()) return false;
    value = 0;
    for (const char c : digits) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
        if (value > limit) return false;
    }
    return true;
}

// "10:15:00.5": the program's clock texts read one digit as hundredths (.05), while an operator
// typing it means half a second. Neither reading is safe to guess: the time is refused with a
// message asking for two digits.
bool OneDigitFraction(std::string_view time) {
    const std::size_t last = time.find_last_of(":.");
    return last != std::string_view::npos && time.size() - last - 1 == 1;
}

// The first chip of the table for this bib, empty when none.
std::string ChipOfBib(int bib) {
    const std::shared_ptr<const ChipTable> table = ChipTableSnapshot();
    for (const ChipTable::Entry& entry : table->Entries()) {
        if (entry.bib == bib) return entry.chip;
    }
    return std::string();
}

}  // namespace

int LastManualDetectorIndex() {
    return g_lastDetectorIndex.load();
}

void SetLastManualDetectorIndex(int index) {
    g_lastDetectorIndex.store(index < 0 ? 0 : index);
}

const char* NoChipTableText() {
    return Tr("Aucune table de correspondance n'a pu être chargée.\nVous ne pouvez saisir des temps manuellement...",
              "No chip translation table could be loaded.\nYou cannot enter times manually...");
}

std::vector<std::string> ManualDetectorChoices(const BoxManager& boxes) {
    std::vector<std::string> choices;
    for (int n = 1; n <= BoxManager::kSlotCount; ++n) {
        const COrvexBox& box = boxes.Box(n);
        if (box.Transport() == nullptr) continue;
        const BoxAddress address = box.Address();
        if (!address.detectorId.empty() && !address.host.empty()) choices.push_back(address.detectorId);
    }
    return choices;
}

std::vector<std::string> DayCorrectionItems() {
    return {Tr("Utiliser le temps tel quel", "Use the time as it is"), Tr("Ajouter 24h aux temps", "Add 24h to times"),
            Tr("Ajouter 48h aux temps", "Add 48h to times"), Tr("Ajouter 72h aux temps", "Add 72h to times")};
}

std::string DayCorrectionLabel(int dayIndex) {
    if (dayIndex <= 0) return std::string();
    return Format("+%dh", dayIndex * 24);
}

int TodayRaceDayIndex() {
    const std::string today = TodayText();
    const int index = RaceDayDates().IndexOf(static_cast<std::uint32_t>(std::strtoul(today.c_str(), nullptr, 10)));
    return index < 0 ? 0 : index;
}

InsertTimeForm OpenInsertTimeForm(std::vector<std::string> detectors, const CChrono& now) {
    InsertTimeForm form;
    form.time = now;
    form.detectors = std::move(detectors);
    form.clockText = std::string(Tr("Insertion du temps : ", "Insert time: ")) + now.FormatAbsClock();
    form.timeText = now.FormatAbsClockHundredths();
    const int remembered = LastManualDetectorIndex();
    if (!form.detectors.empty()) {
        form.detectorSelection = remembered < static_cast<int>(form.detectors.size()) ? remembered : 0;
    }
    form.dayIndex = TodayRaceDayIndex();
    return form;
}

bool ParseRunnerBib(std::string_view text, int& bib) {
    std::int64_t value = 0;
    if (!ReadDigits(Trimmed(text), std::numeric_limits<int>::max(), value) || value <= 0) return false;
    bib = static_cast<int>(value);
    return true;
}

bool OneDigitHundredths(std::string_view text) {
    const std::string_view time = Trimmed(text);
    return std::count_if(time.begin(), time.end(), [](char c) { return c == ':' || c == '.'; }) == 3 &&
           OneDigitFraction(time);
}

const char* OneDigitHundredthsText() {
    return Tr(
        "Temps invalide : les centièmes s'écrivent avec deux chiffres (.50 pour une demi-seconde, .05 pour "
        "cinq centièmes).",
        "Invalid time: hundredths take two digits (.50 for half a second, .05 for five hundredths).");
}

bool ParseTimeOfDay(std::string_view text, CChrono& daily) {
    const std::string_view time = Trimmed(text);
    // The fields: hh, mm, ss and optionally cc, each separated by one ':' or '.'.
    std::int64_t fields[4] = {};
    constexpr std::int64_t kLimits[4] = {23, 59, 59, 99};
    int count = 0;
    std::size_t start = 0;
    for (;;) {
        if (count == 4) return false;
        const std::size_t end = time.find_first_of(":.", start);
        const std::string_view piece = time.substr(start, end == std::string_view::npos ? end : end - start);
        if (piece.size() > 2 || !ReadDigits(piece, kLimits[count], fields[count])) return false;
        ++count;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (count < 3) return false;
    if (count == 4 && OneDigitFraction(time)) return false;
    // The layouts are those of the clock texts everywhere else in the program.
    CChrono parsed;
    if (!parsed.ParseClock(time)) return false;
    daily = CChrono(static_cast<std::int32_t>(fields[0] * 3600 + fields[1] * 60 + fields[2]),
                    static_cast<std::uint16_t>(fields[3] * 10));
    return parsed == daily;
}

InsertFormCheck ConfirmInsertTimeForm(InsertTimeForm& form, std::string_view bibText, std::string_view timeText,
                                      int dayIndex, int detectorSelection) {
    InsertFormCheck check;
    int bib = 0;
    if (!ParseRunnerBib(bibText, bib)) {
        check.message = Tr("Dossard vide ou invalide !", "Empty or invalid runner bib!");
        check.clearBib = true;
        return check;
    }
    // The table's own lookup by bib reads it as a 16-bit number, which would give bib 65548 the
    // chip of bib 12: the whole number is compared here. A chip whose text is the bib number
    // itself cannot be told from "no chip": both are refused.
    const std::string number = Format("%d", bib);
    const std::string chip = ChipOfBib(bib);
    if (chip.empty() || chip == number) {
        check.message = Tr("Dossard non trouvé dans la table de correspondance !",
                           "Runner bib not found in chip translation table!");
        return check;
    }
    CChrono daily;
    if (!ParseTimeOfDay(timeText, daily)) {
        check.message = OneDigitHundredths(timeText) ? OneDigitHundredthsText()
                                                     : Tr("Temps invalide !", "Time is empty or invalid!");
        return check;
    }
    daily.DailyToAbs();
    form.time = daily;
    form.bib = bib;
    form.identifier = Settings().sendNumbers.load() != 0 ? number : chip;
    form.dayIndex = dayIndex >= 0 && dayIndex < kDayCorrectionCount ? dayIndex : 0;
    const bool selected = detectorSelection >= 0 && detectorSelection < static_cast<int>(form.detectors.size());
    form.detectorId = selected ? form.detectors[static_cast<std::size_t>(detectorSelection)] : std::string();
    if (selected) SetLastManualDetectorIndex(detectorSelection);
    check.accepted = true;
    return check;
}

ManualRecording RecordManualDetection(const InsertTimeForm& form, DetectionOutputs& outputs, SoundPlayer* sounds) {
    ManualRecording result;
    result.daily = form.time;
    result.daily.AbsToDaily();
    if (form.dayIndex > 0) {
        CChrono days;
        if (days.ParseClock(Format("%d:0:0.0", form.dayIndex * 24))) result.daily = result.daily + days;
    }
    result.record = RecordDetection(form.identifier, form.detectorId, form.time, result.daily, outputs);
    if (sounds != nullptr && Settings().beepDetections.load()) sounds->Play(StationSound::Detection);

    if (Settings().sendNumbers.load() != 0) {
        result.displayText = Format("%s\t# %s", kManualBoxName, form.identifier.c_str());
    } else {
        result.displayText = Format("%s\t%s\t# %d", kManualBoxName, form.identifier.c_str(), form.bib);
    }
    if (Settings().logDetections.load() != 0) {
        outputs.AddToDetectionsPane(result.displayText, result.record.serial, result.daily);
    }
    LogF(0,
         Tr("+++ Ajout manuel d'une détection Id. Boîtier %s à %s pour le coureur %d",
            "+++ Added manual detecttion for box %s at %s for runner %d"),
         form.detectorId.c_str(), result.daily.FormatDailyHundredths().c_str(), form.bib);
    return result;
}

}  // namespace winorvex
