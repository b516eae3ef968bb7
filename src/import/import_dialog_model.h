#pragma once
// Everything the reader-log import dialog decides, without its widgets: the values it opens with,
// the checks of its Search, Import and Save buttons, its marker menus and the state a search
// leaves. Used on the interface thread only; the search itself (SearchReaderLog) runs wherever
// the station likes, between PrepareSearch and ApplySearchResult.
#include <cstddef>
#include <string>
#include <vector>

#include "core/local_calendar.h"
#include "import/import_choices.h"
#include "import/import_output.h"
#include "import/information_list.h"
#include "import/log_search.h"

namespace winorvex {

class OperatorPrompt;

inline constexpr const char* kImportSection = "ImportDetections";
inline constexpr const char* kCurrentParseDirKey = "CurrentParseDir";
inline constexpr const char* kCurrentSaveDirKey = "CurrentSaveDir";

// What the dialog remembers between openings for the life of the program; the station owns it.
struct ImportDialogMemory {
    std::string lastDate;  // "%02d/%02d/%04d"; empty: today
    std::string lastStart = "00:00:00";
    std::string lastEnd = "23:59:59";
};

enum class ImportDialogField { None, LogFile, StartTime, EndTime, OutputFile };

// The outcome of the Search button's checks.
struct SearchPreparation {
    bool ready = false;  // false: show `message` (exclamation icon) and focus `focus`
    std::string message;
    ImportDialogField focus = ImportDialogField::None;
    LogSearchRequest request;
    LogSearchSettings settings;
};

// Outcome of the Import and Save buttons.
struct ButtonOutcome {
    bool endDialog = false;  // the dialog ends with Order()
    ImportDialogField focus = ImportDialogField::None;
};

class ImportDialogModel {
public:
    // Opening: the reading and saving folders from the settings, the last date picked (or today),
    // the last times, an empty file field, the day correction of the date.
    explicit ImportDialogModel(ImportDialogMemory& memory);
    ImportDialogModel(const ImportDialogModel&) = delete;
    ImportDialogModel& operator=(const ImportDialogModel&) = delete;

    // The fields, as the widgets show and edit them.
    std::string logFile;
    CivilDate date;
    std::string startText;
    std::string endText;
    bool showAbnormalEvents = false;
    int detectorIndex = -1;  // into ImportDetectorItems(), -1 when none is selected
    int dayCorrection = 0;   // 0..3
    std::string outputFile;
    std::string parseDir;
    std::string saveDir;

    // Tooltips of the two marker buttons: empty outside the extended status mode (no markers then).
    std::string StartMarkerTip() const;
    std::string EndMarkerTip() const;
    // "+24h" ... beside the day correction list, empty for none.
    std::string DayCorrectionText() const { return ImportDayCorrectionLabel(dayCorrection); }

    // A file chosen in the file dialog (its folder becomes the reading folder), the output file
    // chosen in the save dialog (its folder becomes the saving folder), a downloaded file (the
    // detector of its box selected when the list holds it).
    void ChooseLogFile(const std::string& path);
    void ChooseOutputFile(const std::string& path);
    void TakeDownloadedFile(const std::string& path, const std::string& detector);

    // Search: remembers the date and the times, checks the times and the file, preselects the day
    // correction, writes the headings to the information list. Then run
    // SearchReaderLog(p.request, p.settings, ...) and hand its result to ApplySearchResult.
    SearchPreparation PrepareSearch();
    // Keeps the found detections and markers; warns with the reason when the file could not be read.
    void ApplySearchResult(LogSearchResult result, OperatorPrompt* prompt);

    InformationList& Information() { return information_; }
    const std::vector<std::string>& Headings() const { return headings_; }
    std::size_t FoundCount() const { return found_.size(); }
    const FoundDetections& Found() const { return found_; }
    const std::vector<COrvexMarker>& Markers() const { return markers_; }
    std::vector<MarkerMenuEntry> StartMenu() const { return StartMarkerMenu(markers_); }
    std::vector<MarkerMenuEntry> EndMenu() const { return EndMarkerMenu(markers_); }

    // "Import" and "Save" are enabled with at least one found detection and a selected detector.
    bool CanImportOrSave() const;
    std::string SelectedDetector() const;

    // The Import button: the merge question; Yes ends the dialog with the import.
    ButtonOutcome RequestImport(OperatorPrompt& prompt);
    // The Save button: the output file checks (".rix" appended, replacing asked for); Yes ends
    // the dialog with the save. The old file stays until the new one is whole.
    ButtonOutcome RequestSave(OperatorPrompt& prompt);

    // The dialog's result; ImportAction::None unless Import or Save ended it.
    const ImportOrder& Order() const { return order_; }
    // Closing: writes the two folders to the settings.
    void Close();

private:
    ImportDialogMemory& memory_;
    InformationList information_;
    std::vector<std::string> headings_;
    FoundDetections found_;
    std::vector<COrvexMarker> markers_;
    ImportOrder order_;
};

}  // namespace winorvex
