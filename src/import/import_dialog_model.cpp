#include "import/import_dialog_model.h"

#include <sys/stat.h>

#include "core/folders.h"
#include "core/local_time.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

constexpr int kEndOfDay = 23 * 3600 + 59 * 60 + 59;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool IsExistingFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string StampDate(const CivilDate& date) {
    return Format("%04d%02d%02d", date.year, date.month, date.day);
}

std::string StampTime(int seconds) {
    return Format("%02d%02d%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

}  // namespace

ImportDialogModel::ImportDialogModel(ImportDialogMemory& memory) : memory_(memory) {
    const std::string documents = GetDocumentsFolder();
    parseDir = ReadSettingText(kImportSection, kCurrentParseDirKey, documents);
    saveDir = ReadSettingText(kImportSection, kCurrentSaveDirKey, documents);
    if (const auto remembered = ParseRememberedDate(memory_.lastDate)) {
        date = *remembered;
    } else {
        const std::tm now = LocalNow();
        date = ClampToDatePicker({now.tm_year + 1900, now.tm_mon + 1, now.tm_mday});
    }
    startText = memory_.lastStart;
    endText = memory_.lastEnd;
    dayCorrection = DayCorrectionForDate(DateNumber(date));
}

std::string ImportDialogModel::StartMarkerTip() const {
    if (!IsExtendedStatusMode()) return {};
    return Tr("Utiliser un marqueur (s'il y en a) pour l'heure de début", "Use a marker (if any) to init start time");
}

std::string ImportDialogModel::EndMarkerTip() const {
    if (!IsExtendedStatusMode()) return {};
    return Tr("Utiliser un marqueur (s'il y en a) pour l'heure de fin", "Use a marker (if any) to init end time");
}

void ImportDialogModel::ChooseLogFile(const std::string& path) {
    logFile = path;
    const std::string folder = FolderOf(path);
    if (!folder.empty()) parseDir = folder;
}

void ImportDialogModel::ChooseOutputFile(const std::string& path) {
    outputFile = path;
    const std::string folder = FolderOf(path);
    if (!folder.empty()) saveDir = folder;
}

void ImportDialogModel::TakeDownloadedFile(const std::string& path, const std::string& detector) {
    logFile = path;
    if (detector.empty()) return;
    const int index = FindDetectorItem(detector);
    if (index >= 0) detectorIndex = index;
}

SearchPreparation ImportDialogModel::PrepareSearch() {
    SearchPreparation prep;
    memory_.lastDate = RememberedDateText(date);
    const std::optional<int> start = ParseWindowTime(startText);
    if (!start) {
        prep.message = Tr("Heure de début invalide !", "Start Time is invalid !");
        prep.focus = ImportDialogField::StartTime;
        return prep;
    }
    const std::optional<int> end = ParseWindowTime(endText);
    if (!end) {
        prep.message = Tr("Heure de fin invalide !", "End Time is invalid !");
        prep.focus = ImportDialogField::EndTime;
        return prep;
    }
    dayCorrection = DayCorrectionForDate(DateNumber(date));
    memory_.lastStart = startText;
    memory_.lastEnd = endText;

    LogSearchRequest& request = prep.request;
    const std::string day = StampDate(date);
    if (!request.midnight.SetFromReaderStamp(day, "000000", 0) ||
        !request.start.SetFromReaderStamp(day, StampTime(*start), 0) ||
        !request.end.SetFromReaderStamp(day, StampTime(*end), 0)) {
        // Only a date outside the calendar gets here; the picker never offers one.
        prep.message = Tr("Heure de début invalide !", "Start Time is invalid !");
        prep.focus = ImportDialogField::StartTime;
        return prep;
    }
    // The end of day covers its whole last second; any other end time stops at its first hundredth.
    if (*end == kEndOfDay) request.end = request.end + CChrono(0, 999);

    if (!IsExistingFile(logFile)) {
        prep.message = Format(
            Tr("Le fichier à importer est vide ou n'existe pas\n%s", "File to import is empty or does not exist\n%s"),
            logFile.c_str());
        prep.focus = ImportDialogField::LogFile;
        return prep;
    }
    request.path = logFile;

    headings_.clear();
    headings_.push_back(
        Format(Tr("Import de détections ELITE depuis le fichier %s", "Import ELITE detections from file %s"),
               logFile.c_str()));
    headings_.push_back(Format(
        Tr("Import des détections du %s entre %s et %s", "Import detections on %s between %s and %s"),
        request.midnight.FormatDateLong().c_str(), SecondsOfDayText(*start).c_str(), SecondsOfDayText(*end).c_str()));
    for (const std::string& heading : headings_) information_.Add(heading);

    prep.settings = CurrentLogSearchSettings(showAbnormalEvents);
    prep.ready = true;
    return prep;
}

void ImportDialogModel::ApplySearchResult(LogSearchResult result, OperatorPrompt* prompt) {
    found_ = std::move(result.found);
    markers_ = std::move(result.markers);
    if (!result.searched && !result.error.empty() && prompt != nullptr) prompt->Warn(result.error);
}

bool ImportDialogModel::CanImportOrSave() const {
    return !found_.empty() && !SelectedDetector().empty();
}

std::string ImportDialogModel::SelectedDetector() const {
    const std::vector<std::string>& items = ImportDetectorItems();
    if (detectorIndex < 0 || detectorIndex >= static_cast<int>(items.size())) return {};
    return DetectorOfItem(items[static_cast<std::size_t>(detectorIndex)]);
}

ButtonOutcome ImportDialogModel::RequestImport(OperatorPrompt& prompt) {
    ButtonOutcome outcome;
    const std::string detector = SelectedDetector();
    if (detector.empty()) return outcome;
    const bool yes = prompt.AskYesNo(
        Tr("Cette opération va fusionner les détections trouvées dans ce fichier avec celles directement issues des "
           "boîtiers\nEtes vous certain de vouloir le faire ?",
           "This operation will merge detections found in this file with those directly got from box(es)\nAre you "
           "sure you want to proceed?"),
        true);
    if (!yes) return outcome;
    order_ = ImportOrder{ImportAction::Import, detector, dayCorrection, {}, headings_};
    outcome.endDialog = true;
    return outcome;
}

ButtonOutcome ImportDialogModel::RequestSave(OperatorPrompt& prompt) {
    ButtonOutcome outcome;
    const std::string detector = SelectedDetector();
    if (detector.empty()) return outcome;
    if (outputFile.empty()) {
        prompt.Warn(Tr("Aucun fichier de sortie n'est spécifié...", "No output file is specified..."));
        outcome.focus = ImportDialogField::OutputFile;
        return outcome;
    }
    outputFile = RixOutputPath(outputFile);
    if (PathExists(outputFile)) {
        const bool replace = prompt.AskYesNo(
            Format(Tr("Le fichier\n%s\nexiste déjà. Il sera écrasé par cette opération.\nEtes vous certain ?",
                      "File\n%s\nalready exists. It will be replaced by this operation.\nAre you sure?"),
                   outputFile.c_str()),
            false);
        if (!replace) return outcome;
    }
    order_ = ImportOrder{ImportAction::Save, detector, dayCorrection, outputFile, headings_};
    outcome.endDialog = true;
    return outcome;
}

void ImportDialogModel::Close() {
    WriteSettingText(kImportSection, kCurrentParseDirKey, parseDir);
    WriteSettingText(kImportSection, kCurrentSaveDirKey, saveDir);
}

}  // namespace winorvex
