// winorvex-export: exports detection-file lines (from files, or standard input) as the station's
// export does: the minimum-gap filter, one file per detector and pass, the data folder's
// handicaps, optionally a zip archive and uploads to the servers selected in its settings.
// The report goes to standard output, one tab-separated line per fact; log lines go to
// standard error.
//
//   winorvex-export [--data-dir DIR] [--lang fr|en] --gap T --mode 0|1|2 --folder F --name N
//                   [--zip] [--ftp] [--wait-seconds S] [FILE...]
//
// Exit status: 0 when every file was written (and every upload done), 1 when a file could not
// be written or sent or absolute-clock detections were left out of the compact form, 2 for a
// usage error or refused input, or when no line was a detection-file line (nothing is written
// then). Damaged lines are skipped and named; the valid ones are exported.
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/program_info.h"
#include "common/station_files.h"
#include "core/file_utils.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/texts.h"
#include "detection_lines.h"
#include "export/export_names.h"
#include "export/export_run.h"
#include "export/export_uploader.h"
#include "export/time_texts.h"
#include "export/zip_dir.h"
#include "tool_uploader.h"

namespace winorvex::exporttool {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotAllDone = 1;
constexpr int kExitUsage = 2;
constexpr const char* kTool = "winorvex-export";

struct Options {
    tools::CommonOptions common;
    std::string gapText;
    std::optional<int> mode;
    std::optional<std::string> folder;
    std::optional<std::string> name;
    bool zip = false;
    bool ftp = false;
    int waitSeconds = 600;
    std::vector<std::string> files;
};

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: winorvex-export [--data-dir DIR] [--lang fr|en] --gap T --mode 0|1|2 --folder F --name N\n"
        "                       [--zip] [--ftp] [--wait-seconds S] [FILE...]\n\n"
        "Reads detection-file lines from the files (standard input when none, or for \"-\") and exports\n"
        "them: one file per detector and pass number, as \"Exporter maintenant\" does.\n"
        "  --gap T            minimum time between two detections of a runner (hh:mm:ss[.cc])\n"
        "  --mode 0|1|2       time of day, passing time, compact passing time (-ljk.txt)\n"
        "  --folder F         export folder\n"
        "  --name N           generic file name\n"
        "  --zip              replace the files by the archive F/N.zip\n"
        "  --ftp              upload to the servers of FtpServersList (FtpServers.dat of the data folder)\n"
        "  --wait-seconds S   how long to wait for the uploads (default 600)\n"
        "  --data-dir DIR     data folder (settings with the handicaps); else WINORVEX_DATA_DIR\n"
        "  --lang fr|en       language of the messages\n"
        "  --help, --version  this text, the program's version\n"
        "Report on standard output: skipped, skipped-lines, written, failed, archive, archive-failed,\n"
        "absolute-left-out, ftp-queued, ftp-error, ftp-unknown, upload lines. Lines that are not\n"
        "detection-file lines are skipped and named (the first 20, then their count).\n"
        "Exit status: 0 all done, 1 a file not written or not sent or absolute-clock detections left\n"
        "out of mode 2, 2 usage error, refused input or no valid line.\n",
        to);
}

bool ParsePositive(std::string_view text, int& out) {
    if (text.empty() || text.size() > 7) return false;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

// False (after a message) on a bad argument.
bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s: %s needs a value\n", kTool, name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--data-dir") {
            const char* v = value("--data-dir");
            if (v == nullptr || *v == '\0') return false;
            options.common.dataDir = v;
        } else if (arg == "--lang") {
            const char* v = value("--lang");
            Language language;
            if (v == nullptr) return false;
            if (!ParseLanguageOption(v, language)) {
                std::fprintf(stderr, "%s: --lang wants fr or en, not %s\n", kTool, v);
                return false;
            }
            options.common.language = language;
        } else if (arg == "--gap") {
            const char* v = value("--gap");
            if (v == nullptr) return false;
            options.gapText = v;
        } else if (arg == "--mode") {
            const char* v = value("--mode");
            if (v == nullptr) return false;
            const std::string_view mode = v;
            if (mode != "0" && mode != "1" && mode != "2") {
                std::fprintf(stderr, "%s: --mode wants 0, 1 or 2, not %s\n", kTool, v);
                return false;
            }
            options.mode = mode[0] - '0';
        } else if (arg == "--folder") {
            const char* v = value("--folder");
            if (v == nullptr) return false;
            options.folder = v;
        } else if (arg == "--name") {
            const char* v = value("--name");
            if (v == nullptr) return false;
            options.name = v;
        } else if (arg == "--wait-seconds") {
            const char* v = value("--wait-seconds");
            if (v == nullptr) return false;
            if (!ParsePositive(v, options.waitSeconds)) {
                std::fprintf(stderr, "%s: --wait-seconds wants a number of seconds, not %s\n", kTool, v);
                return false;
            }
        } else if (arg == "--zip") {
            options.zip = true;
        } else if (arg == "--ftp") {
            options.ftp = true;
        } else if (arg == "--help" || arg == "-h") {
            return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", kTool, argv[i]);
            return false;
        } else {
            options.files.emplace_back(arg);
        }
    }
    if (options.gapText.empty() || !options.mode || !options.folder || !options.name) {
        std::fprintf(stderr, "%s: --gap, --mode, --folder and --name are required\n", kTool);
        return false;
    }
    return true;
}

void PrintReport(const ExportReport& report, const std::string& subFolder) {
    // Archived files are removed: only what is on disk is listed.
    if (report.archive.empty()) {
        for (const std::string& path : report.written) std::printf("written\t%s\n", path.c_str());
    }
    for (const std::string& path : report.failed) std::printf("failed\t%s\n", path.c_str());
    if (!report.archive.empty()) std::printf("archive\t%s\n", report.archive.c_str());
    if (report.archiveFailed) std::printf("archive-failed\t%s\n", subFolder.c_str());
    if (report.skippedAbsolute > 0) std::printf("absolute-left-out\t%d\n", report.skippedAbsolute);
}

void PrintFtp(const ExportReport& report) {
    std::printf("ftp-queued\t%d\n", report.jobsQueued);
    if (!report.ftpLaunched) std::printf("ftp-error\t%s\n", report.ftpError.c_str());
    for (const std::string& label : report.unknownLabels) std::printf("ftp-unknown\t%s\n", label.c_str());
    for (const std::string& error : report.queueErrors) std::printf("ftp-error\t%s\n", error.c_str());
}

int Run(const Options& options) {
    if (!tools::ApplyCommonOptions(options.common, kTool)) return kExitUsage;
    SetSettingsFilePath(GetSettingsFilePath());
    SetLogFilePath(GetLogFilePath());
    SetLogWindowAttached(true);
    SetZipDiagnosticStream(stderr);

    ExportOptions run;
    if (!ParseNonNegativeClock(options.gapText, run.gap)) {
        std::fprintf(stderr, "%s: --gap wants a time hh:mm:ss or hh:mm:ss.cc, not \"%s\"\n", kTool,
                     options.gapText.c_str());
        return kExitUsage;
    }
    std::string name = *options.name;
    std::string folder = *options.folder;
    TrimChars(name, " \t");
    TrimChars(folder, " \t");
    if (const std::string problem = CheckGenericName(name); !problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", kTool, problem.c_str());
        return kExitUsage;
    }
    if (folder.empty()) {
        std::fprintf(stderr, "%s: %s\n", kTool, Tr("Nom de répertoire obligatoire !", "Destination folder mandatory!"));
        return kExitUsage;
    }
    std::unique_ptr<ExportUploader> uploader;
    if (options.ftp) {
        uploader = MakeToolUploader();
        if (!uploader) {
            std::fprintf(stderr, "%s: %s\n", kTool, FtpUnavailableText());
            return kExitUsage;
        }
    }

    CWorkResultList results;
    LineReading reading;
    std::string readError;
    if (!ReadInputs(options.files, results, reading, readError)) {
        std::fprintf(stderr, "%s: %s\n", kTool, readError.c_str());
        return kExitUsage;
    }
    PrintSkippedLines(reading, kTool, stderr, stdout);
    if (reading.valid == 0 && reading.skipped > 0) {
        std::fprintf(stderr, "%s: no detection-file line found, nothing exported\n", kTool);
        std::fflush(stdout);
        return kExitUsage;
    }

    run.mode = DisplayModeFromSetting(*options.mode);
    run.folder = folder;
    run.genericName = name;
    run.archive = options.zip;
    run.ftp = options.ftp;
    run.quiet = true;
    const ExportReport report = RunLinesExport(results, run, uploader.get(), nullptr);
    tools::DrainLogToStderr();
    if (report.refused) {
        std::fprintf(stderr, "%s: %s\n", kTool, report.refusal.c_str());
        return kExitUsage;
    }
    PrintReport(report, ExportSubFolder(WithoutTrailingSeparator(folder), name));
    // An absolute-clock detection left out of the compact form is a detection not exported.
    bool allDone = report.AllWritten() && report.skippedAbsolute == 0;
    if (options.ftp) {
        PrintFtp(report);
        allDone = allDone && report.ftpLaunched && report.unknownLabels.empty() && report.queueErrors.empty();
        std::vector<UploadOutcome> outcomes;
        if (report.jobsQueued > 0) {
            const bool ended = uploader->WaitForUploads(std::chrono::seconds(options.waitSeconds), outcomes);
            for (const UploadOutcome& outcome : outcomes) {
                std::printf("upload\t%s\t%s\t%s\t%s\n", outcome.succeeded ? "ok" : "failed", outcome.label.c_str(),
                            outcome.remoteName.c_str(), outcome.errorText.c_str());
                allDone = allDone && outcome.succeeded;
            }
            if (!ended) {
                std::printf("upload\tunfinished\t%zu\n", static_cast<std::size_t>(report.jobsQueued) - outcomes.size());
                allDone = false;
            }
        }
    }
    tools::DrainLogToStderr();
    std::fflush(stdout);
    return allDone ? kExitOk : kExitNotAllDone;
}

}  // namespace
}  // namespace winorvex::exporttool

int main(int argc, char** argv) {
    using winorvex::exporttool::PrintUsage;
    if (winorvex::tools::AnswerHelpOrVersion(argc, argv, winorvex::exporttool::kTool, PrintUsage)) return 0;
    winorvex::exporttool::Options options;
    if (!winorvex::exporttool::ParseArguments(argc, argv, options)) {
        PrintUsage(stderr);
        return winorvex::exporttool::kExitUsage;
    }
    return winorvex::exporttool::Run(options);
}
