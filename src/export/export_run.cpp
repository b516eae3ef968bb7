#include "export/export_run.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "core/file_utils.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "export/export_files.h"
#include "export/export_names.h"
#include "export/export_uploader.h"
#include "export/pass_stats.h"
#include "export/zip_dir.h"

namespace winorvex {

const char* FtpUnavailableText() {
    return Tr("FTP non disponible dans cette version", "FTP not available in this build");
}

namespace {

const char* Plural(std::size_t count) {
    return count > 1 ? "s" : "";
}

std::string JoinLabels(const std::vector<std::string>& labels) {
    std::string joined;
    for (const std::string& label : labels) {
        if (!joined.empty()) joined += ", ";
        joined += label;
    }
    return joined;
}

void Refuse(ExportReport& report, std::string text, const ExportOptions& options, OperatorPrompt* prompt) {
    report.refused = true;
    report.refusal = std::move(text);
    Log(0, "## " + report.refusal);
    if (!options.quiet && prompt != nullptr) prompt->Warn(report.refusal);
}

// Two detectors whose identifiers only differ by characters made safe would share a file name;
// the later one gets "~2", "~3" ... after its detector part instead of replacing the other's file.
std::string UniquePath(std::set<std::string>& used, const std::string& folder, const std::string& generic,
                       const std::string& detector, int pass, DisplayMode mode) {
    std::string path = ExportFileName(folder, generic, detector, pass, mode);
    for (int n = 2; !used.insert(path).second; ++n) {
        path = ExportFileName(folder, generic, SafeNamePart(detector) + "~" + std::to_string(n), pass, mode);
    }
    return path;
}

void WriteFiles(const WorkResultPointers& results, const ExportOptions& options, const std::string& target,
                ExportReport& report) {
    std::vector<DetectorPasses> statistics = ComputeDetectorStatistics(results, options.gap, true);
    // Several detectors may map to one name; the pass lists of a detector are written in order.
    std::set<std::string> used;
    std::vector<std::string> detectorPart;
    for (const DetectorPasses& entry : statistics) {
        if (entry.line.maxPass > kManyPassesWarning) {
            LogF(0,
                 Tr("### Détecteur %s : le dossard %s compte %d passages (puce restée sur le tapis ?)",
                    "### Detector %s: bib %s has %d passages (chip left on the mat?)"),
                 entry.line.detector.c_str(), entry.maxPassBib.c_str(), entry.line.maxPass);
        }
        for (std::size_t k = 0; k < entry.passes.size(); ++k) {
            const int pass = static_cast<int>(k + 1);
            const std::string path =
                UniquePath(used, target, options.genericName, entry.line.detector, pass, options.mode);
            bool ok = false;
            if (options.mode == DisplayMode::TimeOfDay) {
                ok = WriteResultFile(path, entry.passes[k]);
            } else {
                int skipped = 0;
                ok = WritePassingFile(path, entry.passes[k], entry.line.handicap, options.mode == DisplayMode::Compact,
                                      &skipped);
                report.skippedAbsolute += skipped;
            }
            (ok ? report.written : report.failed).push_back(path);
        }
    }
}

// Zips this run's files only; on success deletes them, and the sub-folder when the run made it
// and nothing else is in it.
void ArchiveFiles(const std::string& subFolder, bool subFolderMadeByRun, const std::string& archivePath,
                  ExportReport& report) {
    std::vector<std::string> names;
    names.reserve(report.written.size());
    for (const std::string& path : report.written) names.push_back(GetFileNamePart(path));
    if (ZipFolderFiles(subFolder, names, archivePath) != 0) {
        report.archiveFailed = true;
        report.created = report.written;
        return;
    }
    for (const std::string& path : report.written) ::unlink(path.c_str());
    if (subFolderMadeByRun) ::rmdir(subFolder.c_str());
    report.archive = archivePath;
    report.created = {archivePath};
}

void QueueUploads(ExportUploader* uploader, ExportReport& report) {
    const std::vector<std::string> all =
        SplitServerLabels(ReadSettingText(keys::kExportSection, keys::kFtpServersList, ""));
    std::vector<std::string> labels;
    for (const std::string& label : all) {
        if (!label.empty()) labels.push_back(label);
    }
    if (labels.empty()) {
        report.ftpError = "No FTP server selected...";
        return;
    }
    if (uploader == nullptr) {
        report.ftpError = FtpUnavailableText();
        return;
    }
    std::string loadError;
    if (uploader->LoadServers(loadError) <= 0) {
        report.ftpError = "No FTP server defined...";
        return;
    }
    for (const std::string& label : labels) {
        if (!uploader->HasServer(label) &&
            std::find(report.unknownLabels.begin(), report.unknownLabels.end(), label) == report.unknownLabels.end()) {
            report.unknownLabels.push_back(label);
        }
    }
    for (const std::string& path : report.created) {
        for (const std::string& label : labels) {
            if (!uploader->HasServer(label)) continue;
            std::string error;
            if (uploader->QueueUpload(label, path, GetFileNamePart(path), error)) {
                ++report.jobsQueued;
            } else {
                report.queueErrors.push_back(
                    Format("%s [%s] : %s", GetFileNamePart(path).c_str(), label.c_str(), error.c_str()));
            }
        }
    }
    report.ftpLaunched = report.jobsQueued > 0;
    if (report.ftpLaunched) return;
    if (report.created.empty()) {
        report.ftpError = Tr("aucun fichier à transférer", "no file to transfer");
    } else if (!report.queueErrors.empty()) {
        report.ftpError = report.queueErrors.front();
    } else {
        report.ftpError = Format(Tr("aucun serveur FTP ne correspond à : %s", "no FTP server matches: %s"),
                                 JoinLabels(report.unknownLabels).c_str());
    }
}

void AppendPaths(std::string& text, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        text += "\n  ";
        text += path;
        text += "  ";
    }
}

}  // namespace

std::string ExportSummaryText(const ExportReport& report, const ExportOptions& options) {
    std::string text = "Export de données terminé.";
    if (!report.created.empty()) {
        text += "\n\nLes fichiers suivants ont été créés :";
        AppendPaths(text, report.created);
    }
    if (!report.failed.empty()) {
        text += "\n\n";
        text += Tr("Les fichiers suivants n'ont pas pu être écrits :", "The following files could not be written:");
        AppendPaths(text, report.failed);
    }
    if (report.archiveFailed) {
        text += "\n\n";
        text += Format(Tr("L'archive %s n'a pas pu être créée : les fichiers restent dans %s.",
                          "The archive %s could not be created: the files stay in %s."),
                       ExportArchivePath(WithoutTrailingSeparator(options.folder), options.genericName).c_str(),
                       ExportSubFolder(WithoutTrailingSeparator(options.folder), options.genericName).c_str());
    }
    if (report.skippedAbsolute > 0) {
        const auto n = static_cast<std::size_t>(report.skippedAbsolute);
        text += "\n\n";
        text += Format(Tr("%d détection%s en heure absolue non exportée%s au format LOGICA.",
                          "%d absolute-clock detection%s not exported in the LOGICA form."),
                       report.skippedAbsolute, Plural(n), Plural(n));
    }
    if (options.ftp) {
        if (report.ftpLaunched) {
            text += "\n\nTransfert FTP lancé.";
            if (!report.unknownLabels.empty()) {
                text += "\n";
                text += Format(Tr("Serveurs FTP inconnus : %s", "Unknown FTP servers: %s"),
                               JoinLabels(report.unknownLabels).c_str());
            }
            for (const std::string& error : report.queueErrors) {
                text += "\n";
                text += Format(Tr("Transfert non lancé : %s", "Transfer not started: %s"), error.c_str());
            }
        } else {
            text += "\n\nErreur de lancement transfert FTP : ";
            text += report.ftpError;
        }
    }
    return text;
}

ExportReport RunLinesExport(const WorkResultPointers& results, const ExportOptions& given, ExportUploader* uploader,
                            OperatorPrompt* prompt) {
    ExportOptions options = given;
    options.folder = WithoutTrailingSeparator(options.folder);
    ExportReport report;

    if (std::string problem = CheckGenericName(options.genericName); !problem.empty()) {
        Refuse(report, std::move(problem), options, prompt);
        return report;
    }
    if (options.folder.empty()) {
        Refuse(report, Tr("Nom de répertoire obligatoire !", "Destination folder mandatory!"), options, prompt);
        return report;
    }

    const std::string subFolder = ExportSubFolder(options.folder, options.genericName);
    const std::string target = options.archive ? subFolder : options.folder;
    std::error_code ec;
    const bool targetExisted = std::filesystem::is_directory(target, ec);
    if (!targetExisted && !MakeFolderPath(target)) {
        Refuse(report,
               Format(Tr("Impossible de créer le dossier d'export %s", "Cannot create the export folder %s"),
                      target.c_str()),
               options, prompt);
        return report;
    }

    WriteFiles(results, options, target, report);
    if (report.written.empty() && report.failed.empty()) {
        if (!targetExisted && options.archive) ::rmdir(subFolder.c_str());
        return report;
    }

    if (options.archive && !report.written.empty()) {
        ArchiveFiles(subFolder, !targetExisted, ExportArchivePath(options.folder, options.genericName), report);
    } else {
        report.created = report.written;
        // Nothing could be written into a sub-folder made for this run: it goes again.
        if (options.archive && !targetExisted) ::rmdir(subFolder.c_str());
    }
    if (options.ftp) QueueUploads(uploader, report);

    report.summary = ExportSummaryText(report, options);
    const std::size_t created = report.created.size();
    const std::size_t failed = report.failed.size();
    if (CurrentLanguage() == Language::English) {
        LogF(0, "* Data export: %zu file%s created, %zu not written", created, Plural(created), failed);
    } else {
        LogF(0, "* Export de données : %zu fichier%s créé%s, %zu non écrit%s", created, Plural(created),
             Plural(created), failed, Plural(failed));
    }
    // The periodic export shows no summary: its log line is where the operator learns of it.
    if (report.skippedAbsolute > 0) {
        const auto n = static_cast<std::size_t>(report.skippedAbsolute);
        LogF(0,
             Tr("### Export de données : %d détection%s en heure absolue non exportée%s au format LOGICA",
                "### Data export: %d absolute-clock detection%s not exported in the LOGICA form"),
             report.skippedAbsolute, Plural(n), Plural(n));
    }
    if (!options.quiet && prompt != nullptr) prompt->Inform(report.summary);
    return report;
}

ExportReport RunLinesExport(const CWorkResultList& results, const ExportOptions& options, ExportUploader* uploader,
                            OperatorPrompt* prompt) {
    return RunLinesExport(PointersTo(results), options, uploader, prompt);
}

}  // namespace winorvex
