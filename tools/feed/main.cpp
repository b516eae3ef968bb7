// winorvex-feed: reads reader lines from files (or standard input) as box 1 and runs them through
// the same decoding, filters and recording as a connected box, with the settings, chip table and
// log folder of a data folder. Each recorded detection's detection-file line goes to standard
// output; the lines the log window would show go to standard error.
//
//   winorvex-feed [--data-dir DIR] [--detector ID] [--today YYYYMMDD] [--lang fr|en] [FILE...]
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/startup.h"
#include "chips/chip_table_alert.h"
#include "common/program_info.h"
#include "common/station_files.h"
#include "core/escape_bytes.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/detection_pipeline.h"
#include "detections/last_read_list.h"
#include "detections/reader_line.h"
#include "detections/record_detection.h"
#include "detections/result_list.h"
#include "line_pieces.h"

namespace winorvex::feed {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitInputError = 1;
constexpr int kExitUsage = 2;

struct Options {
    tools::CommonOptions common;
    std::string detector;
    std::vector<std::string> files;
};

constexpr const char* kTool = "winorvex-feed";

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: winorvex-feed [--data-dir DIR] [--detector ID] [--today YYYYMMDD] [--lang fr|en] [FILE...]\n\n"
        "Reads reader lines from the files (standard input when none, or for \"-\") as box 1 and\n"
        "records them as a connected box would. Recorded detections are printed on standard output\n"
        "as detection-file lines; log window lines go to standard error.\n"
        "  --data-dir DIR     data folder (settings, chip table, logfiles); else WINORVEX_DATA_DIR\n"
        "  --detector ID      detector identifier; else BoxIdDetector0 of the settings\n"
        "  --today YYYYMMDD   pins today's date for the race days\n"
        "  --lang fr|en       language of the messages\n"
        "  --help, --version  this text, the program's version\n"
        "Exit status: 0 every line read, 1 an input could not be read or no data folder, 2 usage error.\n",
        to);
}

// False (after a message) on a bad argument.
bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "winorvex-feed: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--data-dir") {
            const char* v = value("--data-dir");
            if (v == nullptr || *v == '\0') return false;
            options.common.dataDir = v;
        } else if (arg == "--detector") {
            const char* v = value("--detector");
            if (v == nullptr || *v == '\0') return false;
            options.detector = v;
        } else if (arg == "--today") {
            const char* v = value("--today");
            if (v == nullptr) return false;
            options.common.today = tools::ParseDateArgument(v);
            if (!options.common.today) {
                std::fprintf(stderr, "winorvex-feed: --today wants a date YYYYMMDD, not %s\n", v);
                return false;
            }
        } else if (arg == "--lang") {
            const char* v = value("--lang");
            Language language;
            if (v == nullptr || !ParseLanguageOption(v, language)) {
                if (v != nullptr) std::fprintf(stderr, "winorvex-feed: --lang wants fr or en, not %s\n", v);
                return false;
            }
            options.common.language = language;
        } else if (arg == "--help" || arg == "-h") {
            return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            tools::ReportUnknownOption(kTool, arg);
            return false;
        } else {
            options.files.emplace_back(arg);
        }
    }
    return true;
}

void PrintRecord(const CRixResult& record) {
    // Single-threaded: the list length right after the add is this record's position. The
    // identifier may be a chip as the reader sent it: its bytes are escaped for the terminal.
    CRixResult shown = record;
    shown.bib = EscapeBytes(record.bib);
    shown.detector = EscapeBytes(record.detector);
    std::string line = FormatDetectionFileLine(static_cast<int>(ResultCount()), shown);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

void HandleLine(DetectionPipeline& pipeline, std::string_view received) {
    if (received.empty()) return;  // a bare line feed carries nothing to record
    ReaderLine line;
    if (!ClassifyReaderLine(received, line, &pipeline.FloodLimit())) {
        pipeline.LogInvalidInput(line.text);
    } else if (line.kind == kLineTagRead) {
        if (pipeline.HandleTagRead(line) == LineOutcome::Recorded) PrintRecord(pipeline.LastRecord());
    } else if (line.kind == kLineUnhandled) {
        pipeline.LogUnhandledReply(line.fullLine);
    }
    pipeline.FloodLimit().Flush();
    tools::DrainLogToStderr();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int Run(const Options& options) {
    if (!tools::ApplyCommonOptions(options.common, "winorvex-feed")) return kExitInputError;
    OpenStationFiles();
    AlertIfEveryReadRefused(nullptr);

    const std::string detector =
        !options.detector.empty() ? options.detector : ReadSettingText(keys::kOrvexBoxes, "BoxIdDetector0", "31");
    const std::string description = Format("[feed:0 %s]", detector.c_str());
    BoxIdentity box{Format(Tr("Boîtier %d %s", "Box %d %s"), 1, description.c_str()), detector, description};

    CLastBoxDetectionList lastReads;
    // No window, no sound, no results program.
    DetectionPipeline pipeline(std::move(box), lastReads, PipelineServices{});
    tools::DrainLogToStderr();

    const auto handle = [&pipeline](std::string_view line) { HandleLine(pipeline, line); };
    int status = kExitOk;
    std::vector<std::string> inputs = options.files;
    if (inputs.empty()) inputs.emplace_back("-");
    for (const std::string& input : inputs) {
        if (input == "-") {
            if (!ReadLines(stdin, handle)) status = kExitInputError;
            continue;
        }
        const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(input.c_str(), "rb"));
        if (!file) {
            std::fprintf(stderr, "winorvex-feed: cannot open %s: %s\n", input.c_str(), std::strerror(errno));
            status = kExitInputError;
            continue;
        }
        if (!ReadLines(file.get(), handle)) {
            std::fprintf(stderr, "winorvex-feed: error reading %s\n", input.c_str());
            status = kExitInputError;
        }
    }

    // The summary of the last second's held-back lines, however short the run.
    pipeline.FloodLimit().Flush(LogFloodLimit::Clock::now() + std::chrono::seconds(1));
    const DetectionCounters& counts = pipeline.Counters();
    LogF(0,
         Tr("* %s : %llu lectures, %llu enregistrées, %llu ignorées, %llu invalides",
            "* %s : %llu reads, %llu recorded, %llu ignored, %llu invalid"),
         pipeline.Box().label.c_str(), static_cast<unsigned long long>(counts.tagReads),
         static_cast<unsigned long long>(counts.recorded), static_cast<unsigned long long>(counts.ignored),
         static_cast<unsigned long long>(counts.invalid));
    tools::DrainLogToStderr();
    CloseDetectionFile();
    std::fflush(stdout);
    return status;
}

}  // namespace
}  // namespace winorvex::feed

int main(int argc, char** argv) {
    using winorvex::feed::PrintUsage;
    if (winorvex::tools::AnswerHelpOrVersion(argc, argv, winorvex::feed::kTool, PrintUsage)) return 0;
    winorvex::feed::Options options;
    if (!winorvex::feed::ParseArguments(argc, argv, options)) {
        PrintUsage(stderr);
        return winorvex::feed::kExitUsage;
    }
    return winorvex::feed::Run(options);
}
