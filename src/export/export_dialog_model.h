#pragma once
// The logic of the export dialog "Export des lignes de détections" (CDlgExportDetectionLines),
// without widgets: the values it opens with, the state of its controls, the distribution list,
// the handicap re-setting and reset, the checks of "Exporter maintenant" and what closing writes.
// The widget shows what this holds and forwards the operator's actions; it lives on the
// station's thread, as does this model.
#include <optional>
#include <string>
#include <vector>

#include "export/distribution.h"
#include "export/export_run.h"
#include "export/export_settings.h"
#include "export/handicaps.h"
#include "export/work_result.h"

namespace winorvex {

class ExportUploader;
class OperatorPrompt;

class ExportDialogModel {
public:
    // The edit boxes and check boxes, as the operator leaves them.
    struct Fields {
        std::string gapText;      // "Temps minimum entre deux détections :"
        std::string folder;       // "Répertoire d'export :"
        std::string genericName;  // "Nom de fichier générique :"
        bool zip = false;         // "Archive ZIP"
        bool ftp = false;         // "Transférer sur des serveurs par FTP :"
        std::string minutesText;  // the minutes of "Exporter toutes les "
        bool periodic = false;    // "Exporter toutes les "
    };

    // Opening: the fields from the settings and the working copy of every active result. The
    // list stays empty until Filter.
    ExportDialogModel();

    Fields fields;

    DisplayMode Mode() const { return mode_; }
    const CWorkResultList& WorkingCopy() const { return copy_; }

    // ---- Distribution ------------------------------------------------------------------------
    // "Filtrer": reads the gap; when it is not a time, warns (invalid-time message) and leaves
    // the list as it was. Otherwise the working copy is taken afresh (so the list and the export
    // show what was recorded up to now) and the list recomputed. True when recomputed.
    bool Filter(OperatorPrompt& prompt);
    // A radio button: the mode is set and, when the list has rows, the list recomputed with the
    // same rows selected (a gap that is no longer a time warns and keeps the list).
    void SetDisplayMode(DisplayMode mode, OperatorPrompt& prompt);

    const std::vector<DistributionRow>& Rows() const { return rows_; }
    static std::array<std::string, kDistributionColumns> Headings() { return DistributionHeadings(); }
    // At most one row is selected; other indexes are ignored.
    void SetSelection(std::optional<std::size_t> row);
    std::optional<std::size_t> Selection() const { return selection_; }
    int FileCount() const { return fileCount_; }  // sum of the rows' maxPass
    // Kept passages with an absolute clock: the compact form (mode 2) leaves them out.
    int AbsolutePassages() const { return absolutePassages_; }

    // ---- Controls' state ---------------------------------------------------------------------
    bool HandicapButtonsEnabled() const { return selection_.has_value(); }  // "Recalage..." and reset
    std::string HandicapLabelText() const;                                  // the selected row's, or "..."
    bool ModeButtonsEnabled() const { return !rows_.empty(); }
    bool ExportEnabled() const { return !rows_.empty(); }
    // "Données à exporter :": "aucune", or "%d fichier%s de détection%s - " and the mode text; in
    // mode 2, then the count of absolute-clock passages that the files will leave out.
    std::string DataToExportText() const;

    // ---- Handicaps ---------------------------------------------------------------------------
    // "Recalage..." or a double click: the re-setting dialog's model for the selected row.
    std::optional<CDlgRecalageModel> BeginRecalage() const;
    // Its OK: the row takes the handicap, written at once; the list is recomputed.
    void ApplyRecalage(const CChrono& handicap);
    // The reset button: asks, and on Yes writes "00:00:00.00" at once and recomputes.
    bool RequestHandicapReset(OperatorPrompt& prompt);

    // ---- Folder and servers ------------------------------------------------------------------
    // The folder picker confirmed a folder: taken (without trailing "/") when it differs from
    // the current one. True when the field changed.
    bool ChooseFolder(std::string folder);
    std::vector<std::string> ServerLabels() const { return SplitServerLabels(serversList_); }
    // The server choice's OK: the checked labels joined with "\" and written at once.
    void SetServerLabels(const std::vector<std::string>& labels);
    std::string ServersLabelText() const;  // "Club, Ligue" or "<Aucun serveur FTP>"
    std::string FtpTooltipText() const;    // "Transfert vers Club, Ligue" or "Paramètres FTP non définis !"
    // The FTP check box changed; true when the server choice must open at once (ticked while
    // no server is selected).
    bool SetFtpOption(bool on);

    // ---- Export and closing ------------------------------------------------------------------
    // "Exporter maintenant": nothing without rows; then, in order, the gap, the name, the folder
    // and the FTP servers are checked (each failure warns and stops); then the export of the
    // working copy, its summary shown. The settings are not saved by it.
    std::optional<ExportReport> ExportNow(OperatorPrompt& prompt, ExportUploader* uploader);

    struct CloseResult {
        bool periodicSwitchedOn = false;  // "BExport" went from 0 to 1: the period starts anew
    };
    // "Fermer" or the close box: writes the settings, empties the list, drops the working copy.
    CloseResult Close();

private:
    bool ReadGap(OperatorPrompt& prompt, CChrono& gap) const;
    void Recompute(const CChrono& gap);

    DisplayMode mode_ = DisplayMode::TimeOfDay;
    std::string serversList_;
    bool periodicAtOpening_ = false;
    CWorkResultList copy_;
    CChrono gap_;  // the gap of the list shown
    std::vector<DistributionRow> rows_;
    std::optional<std::size_t> selection_;
    int fileCount_ = 0;
    int absolutePassages_ = 0;
};

}  // namespace winorvex
