#include "export/periodic_export.h"

#include <cstdint>

#include "core/file_utils.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "export/export_names.h"
#include "export/export_run.h"
#include "export/export_settings.h"
#include "export/time_texts.h"
#include "export/work_result.h"

namespace winorvex {

namespace {

constexpr const char* kBlanks = " \t\r\n\f\v";

bool HasSelectedServer(const std::string& list) {
    for (const std::string& label : SplitServerLabels(list)) {
        if (!label.empty()) return true;
    }
    return false;
}

// The options of the saved settings, or the reason there are none.
std::string OptionsFromSettings(ExportOptions& options) {
    ExportSettings s = ReadExportSettings();
    TrimChars(s.delta, kBlanks);
    if (s.delta.empty()) {
        return Tr("Export périodique : temps minimum entre deux détections (Delta) non défini",
                  "Periodic export: minimum time between two detections (Delta) not set");
    }
    if (!ParseNonNegativeClock(s.delta, options.gap)) {
        return Format(Tr("Export périodique : temps minimum (Delta) invalide : \"%s\"",
                         "Periodic export: invalid minimum time (Delta): \"%s\""),
                      s.delta.c_str());
    }
    TrimChars(s.exportPath, kBlanks);
    TrimChars(s.genericFilename, kBlanks);
    if (s.exportPath.empty()) {
        return Tr("Export périodique : répertoire d'export non défini", "Periodic export: export folder not set");
    }
    if (const std::string problem = CheckGenericName(s.genericFilename); !problem.empty()) {
        return Tr("Export périodique : ", "Periodic export: ") + problem;
    }
    if (s.ftpExport && !HasSelectedServer(s.ftpServersList)) {
        return Tr("Export périodique : aucun serveur FTP sélectionné", "Periodic export: no FTP server selected");
    }
    options.mode = s.mode;
    options.folder = s.exportPath;
    options.genericName = s.genericFilename;
    options.archive = s.zip;
    options.ftp = s.ftpExport;
    options.quiet = true;
    return {};
}

}  // namespace

std::string BackgroundExportProblem() {
    ExportOptions options;
    return OptionsFromSettings(options);
}

std::string RunBackgroundExport(ExportUploader* uploader, ExportReport* reportOut) {
    ExportOptions options;
    if (std::string problem = OptionsFromSettings(options); !problem.empty()) return problem;

    ExportReport report;
    {
        CWorkResultList copy;
        CopyResults(copy, "");
        report = RunLinesExport(copy, options, uploader, nullptr);
    }
    std::string error;
    if (report.refused) {
        error = report.refusal;
    } else if (!report.failed.empty()) {
        error =
            Format(Tr("Export périodique : %zu fichier(s) non écrit(s)", "Periodic export: %zu file(s) not written"),
                   report.failed.size());
    } else if (report.archiveFailed) {
        error =
            Tr("Export périodique : l'archive n'a pas pu être créée", "Periodic export: the archive could not be made");
    } else if (options.ftp && !report.created.empty() && !report.ftpLaunched) {
        error = Tr("Export périodique : ", "Periodic export: ") + report.ftpError;
    } else if (options.ftp && !report.unknownLabels.empty()) {
        std::string labels;
        for (const std::string& label : report.unknownLabels) labels += (labels.empty() ? "" : ", ") + label;
        error = Format(Tr("Export périodique : serveurs FTP inconnus : %s", "Periodic export: unknown FTP servers: %s"),
                       labels.c_str());
    }
    if (reportOut != nullptr) *reportOut = std::move(report);
    return error;
}

PeriodicExport::PeriodicExport(const MonotonicClock& clock, ExportUploader* uploader)
    : clock_(clock), uploader_(uploader) {}

void PeriodicExport::RunPeriodicExportCheck() {
    if (!ReadSettingBool(keys::kBackgroundExportSection, keys::kBackgroundExport, false)) {
        periodStart_.reset();
        loggedProblem_.clear();
        return;
    }
    const auto now = clock_.Now();
    if (!periodStart_) {
        periodStart_ = now;
        // Said at once rather than at the end of the first period.
        Report(BackgroundExportProblem());
        return;
    }
    // Compared in milliseconds: any int number of minutes fits, where nanoseconds would overflow.
    const std::int64_t periodMs = static_cast<std::int64_t>(ReadExportPeriodMinutes()) * 60000;
    const std::int64_t elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - *periodStart_).count();
    if (elapsedMs <= periodMs) return;
    const std::string problem = RunBackgroundExport(uploader_);
    ++runs_;
    periodStart_ = now;
    Report(problem);
}

void PeriodicExport::Report(const std::string& problem) {
    if (problem == loggedProblem_) return;
    loggedProblem_ = problem;
    if (!problem.empty()) Log(0, "## " + problem);
}

}  // namespace winorvex
