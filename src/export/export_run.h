#pragma once
// One export run: a file per detector and pass number, optionally zipped, optionally queued for
// FTP, and the operator's summary. Started by the export dialog ("Exporter maintenant") and by
// the periodic export, on the thread that owns them; it reads only the working copy given.
#include <string>
#include <vector>

#include "core/chrono.h"
#include "export/export_settings.h"
#include "export/work_result.h"

namespace winorvex {

class ExportUploader;
class OperatorPrompt;

struct ExportOptions {
    CChrono gap;  // minimum gap between two detections of a runner
    DisplayMode mode = DisplayMode::TimeOfDay;
    std::string folder;       // export folder (a trailing "/" is ignored)
    std::string genericName;  // first part of every file name
    bool archive = false;     // write into "<folder>/<generic>" and replace the files by "<folder>/<generic>.zip"
    bool ftp = false;         // queue the created files to the servers of "FtpServersList"
    bool quiet = false;       // no summary, no message box (periodic export)
};

struct ExportReport {
    bool refused = false;  // nothing was done: refusal says why
    std::string refusal;
    std::vector<std::string> written;  // files written, in creation order
    std::vector<std::string> failed;   // files that could not be written (never zipped nor sent)
    std::string archive;               // the archive, when it replaced the written files
    bool archiveFailed = false;        // the files stayed in the sub-folder
    std::vector<std::string> created;  // what the summary lists and FTP sends: the archive, or the written files
    int skippedAbsolute = 0;           // absolute-clock results left out of compact files
    bool ftpLaunched = false;          // at least one upload queued
    std::string ftpError;              // why no upload was queued
    int jobsQueued = 0;
    std::vector<std::string> unknownLabels;  // selected labels that match no server
    std::vector<std::string> queueErrors;    // uploads that could not be queued
    std::string summary;                     // the operator's summary; empty when nothing was created

    // Every file written and, with the archive option, the archive made.
    bool AllWritten() const { return !refused && failed.empty() && !archiveFailed; }
};

// A runner with more passages than this at one detector is named in the log (a chip left on
// the mat): the export still writes every one of its files.
inline constexpr int kManyPassesWarning = 1000;

// prompt may be null (nothing shown); uploader may be null (FTP not available).
ExportReport RunLinesExport(const WorkResultPointers& results, const ExportOptions& options, ExportUploader* uploader,
                            OperatorPrompt* prompt);
ExportReport RunLinesExport(const CWorkResultList& results, const ExportOptions& options, ExportUploader* uploader,
                            OperatorPrompt* prompt);

// The summary of a report, as RunLinesExport shows it.
std::string ExportSummaryText(const ExportReport& report, const ExportOptions& options);

}  // namespace winorvex
