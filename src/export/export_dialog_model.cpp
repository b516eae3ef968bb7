#include "export/export_dialog_model.h"

#include "core/file_utils.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "export/export_names.h"
#include "export/pass_stats.h"
#include "export/time_texts.h"

namespace winorvex {

namespace {

constexpr const char* kBlanks = " \t\r\n\f\v";

bool HasSelectedServer(const std::string& list) {
    for (const std::string& label : SplitServerLabels(list)) {
        if (!label.empty()) return true;
    }
    return false;
}

}  // namespace

ExportDialogModel::ExportDialogModel() {
    const ExportSettings s = ReadExportSettings();
    fields.gapText = s.delta;
    fields.folder = s.exportPath;
    fields.genericName = s.genericFilename;
    fields.ftp = s.ftpExport;
    fields.zip = s.zip;
    fields.minutesText = Format("%d", s.periodMinutes);
    fields.periodic = s.backgroundExport;
    mode_ = s.mode;
    serversList_ = s.ftpServersList;
    periodicAtOpening_ = s.backgroundExport;
    CopyResults(copy_, "");
}

bool ExportDialogModel::ReadGap(OperatorPrompt& prompt, CChrono& gap) const {
    if (ParseNonNegativeClock(fields.gapText, gap)) return true;
    prompt.Warn(InvalidGapMessage());
    return false;
}

void ExportDialogModel::Recompute(const CChrono& gap) {
    std::optional<std::string> selectedDetector;
    if (selection_) selectedDetector = rows_[*selection_].line.detector;
    gap_ = gap;
    const std::vector<DetectorPasses> statistics = ComputeDetectorStatistics(PointersTo(copy_), gap, false);
    rows_ = MakeDistributionRows(statistics, mode_);
    fileCount_ = 0;
    absolutePassages_ = 0;
    for (const DetectorPasses& entry : statistics) {
        for (const CWorkResult* result : entry.kept) absolutePassages_ += result->IsAbsolute() ? 1 : 0;
    }
    selection_.reset();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        fileCount_ += rows_[i].line.maxPass;
        if (selectedDetector && rows_[i].line.detector == *selectedDetector) selection_ = i;
    }
}

bool ExportDialogModel::Filter(OperatorPrompt& prompt) {
    CChrono gap;
    if (!ReadGap(prompt, gap)) return false;
    copy_.clear();
    CopyResults(copy_, "");
    Recompute(gap);
    return true;
}

void ExportDialogModel::SetDisplayMode(DisplayMode mode, OperatorPrompt& prompt) {
    mode_ = mode;
    if (rows_.empty()) return;
    CChrono gap;
    if (!ReadGap(prompt, gap)) {
        // The counts stay those of the last gap; the times follow the new mode.
        rows_ = [this] {
            std::vector<DistributionRow> rows;
            for (const DistributionRow& row : rows_) rows.push_back(MakeDistributionRow(row.line, mode_));
            return rows;
        }();
        return;
    }
    Recompute(gap);
}

void ExportDialogModel::SetSelection(std::optional<std::size_t> row) {
    selection_ = row && *row < rows_.size() ? row : std::nullopt;
}

std::string ExportDialogModel::HandicapLabelText() const {
    if (!selection_) return "...";
    return rows_[*selection_].line.handicap.FormatDailyHundredths();
}

std::string ExportDialogModel::DataToExportText() const {
    if (fileCount_ == 0) return "aucune";
    const char* s = fileCount_ > 1 ? "s" : "";
    std::string text = Format("%d fichier%s de détection%s - %s", fileCount_, s, s, DisplayModeText(mode_));
    if (mode_ == DisplayMode::Compact && absolutePassages_ > 0) {
        const char* a = absolutePassages_ > 1 ? "s" : "";
        text +=
            Format(Tr(" (%d détection%s en heure absolue non exportée%s)", " (%d absolute-clock detection%s left out)"),
                   absolutePassages_, a, a);
    }
    return text;
}

std::optional<CDlgRecalageModel> ExportDialogModel::BeginRecalage() const {
    if (!selection_) return std::nullopt;
    return MakeRecalageModel(rows_[*selection_].line);
}

void ExportDialogModel::ApplyRecalage(const CChrono& handicap) {
    if (!selection_) return;
    ApplyHandicap(rows_[*selection_].line, handicap);
    Recompute(gap_);
}

bool ExportDialogModel::RequestHandicapReset(OperatorPrompt& prompt) {
    if (!selection_) return false;
    if (!winorvex::RequestHandicapReset(prompt, rows_[*selection_].line)) return false;
    Recompute(gap_);
    return true;
}

bool ExportDialogModel::ChooseFolder(std::string folder) {
    folder = WithoutTrailingSeparator(std::move(folder));
    // Folder names are case-sensitive here: "Course" and "course" are two folders.
    if (folder.empty() || folder == fields.folder) return false;
    fields.folder = std::move(folder);
    return true;
}

void ExportDialogModel::SetServerLabels(const std::vector<std::string>& labels) {
    serversList_ = JoinServerLabels(labels);
    WriteSettingText(keys::kExportSection, keys::kFtpServersList, serversList_);
}

std::string ExportDialogModel::ServersLabelText() const {
    if (serversList_.empty()) return Tr("<Aucun serveur FTP>", " <No FTP server>");
    std::string text;
    for (const char c : serversList_) {
        if (c == '\\') {
            text += ", ";
        } else {
            text += c;
        }
    }
    return text;
}

std::string ExportDialogModel::FtpTooltipText() const {
    if (serversList_.empty()) return Tr("Paramètres FTP non définis !", "No FTP settings defined!");
    return Tr("Transfert vers ", "Transfer to ") + ServersLabelText();
}

bool ExportDialogModel::SetFtpOption(bool on) {
    fields.ftp = on;
    return on && serversList_.empty();
}

std::optional<ExportReport> ExportDialogModel::ExportNow(OperatorPrompt& prompt, ExportUploader* uploader) {
    if (rows_.empty()) return std::nullopt;
    ExportOptions options;
    if (!ReadGap(prompt, options.gap)) return std::nullopt;
    std::string folder = fields.folder;
    std::string name = fields.genericName;
    TrimChars(folder, kBlanks);
    TrimChars(name, kBlanks);
    if (const std::string problem = CheckGenericName(name); !problem.empty()) {
        prompt.Warn(problem);
        return std::nullopt;
    }
    if (folder.empty()) {
        prompt.Warn(Tr("Nom de répertoire obligatoire !", "Destination folder mandatory!"));
        return std::nullopt;
    }
    if (fields.ftp && !HasSelectedServer(serversList_)) {
        prompt.Warn(Tr("Paramètres FTP non définis !", "No FTP settings defined!"));
        return std::nullopt;
    }
    options.mode = mode_;
    options.folder = std::move(folder);
    options.genericName = std::move(name);
    options.archive = fields.zip;
    options.ftp = fields.ftp;
    options.quiet = false;
    return RunLinesExport(copy_, options, uploader, &prompt);
}

ExportDialogModel::CloseResult ExportDialogModel::Close() {
    using namespace keys;
    WriteSettingText(kExportSection, kDelta, fields.gapText);
    WriteSettingText(kExportSection, kExportPath, fields.folder);
    WriteSettingText(kExportSection, kGenericFilename, fields.genericName);
    WriteSettingBool(kExportSection, kFtpExport, fields.ftp);
    WriteSettingInt(kExportSection, kDisplayDetectionType, static_cast<int>(mode_));
    WriteSettingBool(kExportSection, kZip, fields.zip);
    WriteSettingInt(kBackgroundExportSection, kExportPeriodMinutes, PeriodMinutesFromText(fields.minutesText));
    WriteSettingBool(kBackgroundExportSection, kBackgroundExport, fields.periodic);
    rows_.clear();
    selection_.reset();
    fileCount_ = 0;
    copy_.clear();
    copy_.shrink_to_fit();
    absolutePassages_ = 0;
    return CloseResult{fields.periodic && !periodicAtOpening_};
}

}  // namespace winorvex
