#include "export/handicaps.h"

#include <mutex>
#include <set>
#include <utility>

#include "core/log.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "export/export_settings.h"
#include "export/pass_stats.h"
#include "export/time_texts.h"

namespace winorvex {

namespace {

constexpr const char* kDefaultHandicap = "00:00:00.00";

// A hand-edited handicap is read at every filtering and every periodic export; it is reported
// once per key and text, not every two minutes.
bool FirstTimeSeen(const std::string& key, const std::string& text) {
    static std::mutex mutex;
    static std::set<std::pair<std::string, std::string>> seen;
    std::lock_guard lock(mutex);
    return seen.emplace(key, text).second;
}

}  // namespace

std::string HandicapKey(std::string_view detector) {
    std::string key = "Handicap-";
    key.append(detector);
    return key;
}

CChrono ReadHandicap(std::string_view detector) {
    const std::string key = HandicapKey(detector);
    const std::string text = ReadSettingText(keys::kExportSection, key, kDefaultHandicap);
    CChrono handicap;
    if (ParseNonNegativeClock(text, handicap)) return handicap;
    if (FirstTimeSeen(key, text)) {
        LogF(0,
             Tr("### Handicap invalide [%s] = \"%s\" : 00:00:00.00 utilisé",
                "### Invalid handicap [%s] = \"%s\": 00:00:00.00 used"),
             key.c_str(), text.c_str());
    }
    return CChrono();
}

void WriteHandicap(std::string_view detector, const CChrono& handicap) {
    WriteSettingText(keys::kExportSection, HandicapKey(detector), handicap.FormatDailyHundredths());
}

CDlgRecalageModel::CDlgRecalageModel(int passNumber, std::string bib, const CChrono& timeOfDay, const CChrono& handicap)
    : passNumber_(passNumber), bib_(std::move(bib)), timeOfDay_(timeOfDay), handicap_(handicap) {}

std::string CDlgRecalageModel::PassNumberText() const {
    return Format("%d", passNumber_);
}

std::string CDlgRecalageModel::TimeOfDayText() const {
    return timeOfDay_.FormatDailyHundredths();
}

std::string CDlgRecalageModel::InitialPassingTimeText() const {
    return PassingTimeText(PassingTime(timeOfDay_, handicap_));
}

std::optional<CChrono> CDlgRecalageModel::Accept(std::string_view editText, OperatorPrompt& prompt) const {
    CChrono entered;
    if (!ParseNonNegativeClock(editText, entered)) {
        prompt.Warn(InvalidPassingTimeMessage());
        return std::nullopt;
    }
    const CChrono handicap = timeOfDay_ - entered;
    if (IsNegative(handicap)) {
        prompt.Warn(InvalidPassingTimeMessage());
        return std::nullopt;
    }
    return handicap;
}

CDlgRecalageModel MakeRecalageModel(const CStatLineEntry& line) {
    return CDlgRecalageModel(1, line.firstBib, line.firstTime, line.handicap);
}

void ApplyHandicap(CStatLineEntry& line, const CChrono& handicap) {
    line.handicap = handicap;
    WriteHandicap(line.detector, handicap);
}

std::string ResetHandicapQuestion() {
    return Tr("Voulez vous vraiment remettre à 0 le handicap ?", "Do you really want to reset detector handicap to 0?");
}

bool RequestHandicapReset(OperatorPrompt& prompt, CStatLineEntry& line) {
    if (!prompt.AskYesNo(ResetHandicapQuestion(), true)) return false;
    line.handicap.Clear();
    WriteSettingText(keys::kExportSection, HandicapKey(line.detector), kDefaultHandicap);
    return true;
}

}  // namespace winorvex
