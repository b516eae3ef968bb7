// winorvex-import: searches a reader's log file for the reads of one date between two times, as
// the station's import dialog does, with the settings and chip table of a data folder. The
// information lines go to standard error; the detection lines a save writes go to standard output,
// or into OUT with --save (".rix" appended as the dialog does, an existing file replaced whole).
//
//   winorvex-import [--data-dir DIR] [--lang fr|en] [--today YYYYMMDD] --date YYYYMMDD
//                   [--start T] [--end T] [--extended] [--abnormal] [--detector ID] [--days K]
//                   [--save OUT] FILE
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "chips/chip_table.h"
#include "common/program_info.h"
#include "common/station_files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "import/import_dialog_model.h"
#include "import/import_output.h"
#include "import/log_search.h"

namespace winorvex::import_tool {
namespace {

constexpr int kExitSearched = 0;
constexpr int kExitFailed = 2;
constexpr const char* kTool = "winorvex-import";

struct Options {
    tools::CommonOptions common;
    std::optional<int> date;
    std::string start = "00:00:00";
    std::string end = "23:59:59";
    bool extended = false;
    bool abnormal = false;
    std::string detector = "31";
    std::optional<int> days;
    std::string save;
    std::string file;
};

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: winorvex-import [--data-dir DIR] [--lang fr|en] [--today YYYYMMDD] --date YYYYMMDD\n"
        "                       [--start T] [--end T] [--extended] [--abnormal] [--detector ID] [--days K]\n"
        "                       [--save OUT] FILE\n\n"
        "Searches the reader log FILE for the reads of the date between the start and end times\n"
        "(default 00:00:00 and 23:59:59), with the settings and chip table of the data folder.\n"
        "Information lines go to standard error; the detection lines go to standard output, or into\n"
        "OUT with --save. --extended collects markers, --abnormal lists every abnormal event, --days K\n"
        "adds 24 x K hours (default: from the race days).\n"
        "  --data-dir DIR     data folder (settings, chip table); else WINORVEX_DATA_DIR\n"
        "  --lang fr|en       language of the messages\n"
        "  --today YYYYMMDD   pins today's date for the race days\n"
        "  --date YYYYMMDD    the date of the reads searched for\n"
        "  --start T, --end T the first and last time of day searched (hh:mm:ss)\n"
        "  --detector ID      detector identifier of the saved lines (default 31)\n"
        "  --help, --version  this text, the program's version\n"
        "Exit status: 0 searched (and saved), 2 otherwise (usage error, unreadable log, failed save).\n",
        to);
}

bool ValidDetector(std::string_view detector) {
    if (detector.empty() || detector.size() > 32) return false;
    for (const char c : detector) {
        if (static_cast<unsigned char>(c) <= ' ') return false;
    }
    return true;
}

bool IsValueOption(std::string_view arg) {
    for (const char* known :
         {"--data-dir", "--lang", "--today", "--date", "--start", "--end", "--detector", "--days", "--save"}) {
        if (arg == known) return true;
    }
    return false;
}

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--extended") {
            options.extended = true;
            continue;
        }
        if (arg == "--abnormal") {
            options.abnormal = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            if (!options.file.empty()) {
                std::fprintf(stderr, "%s: one log file only: %s\n", kTool, argv[i]);
                return false;
            }
            options.file = arg;
            continue;
        }
        if (!IsValueOption(arg)) {
            tools::ReportUnknownOption(kTool, arg);
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: %s needs a value\n", kTool, argv[i]);
            return false;
        }
        const std::string_view value = argv[++i];
        bool good = true;
        if (arg == "--data-dir") {
            options.common.dataDir = value;
            good = !value.empty();
        } else if (arg == "--lang") {
            Language language;
            good = ParseLanguageOption(argv[i], language);
            if (good) options.common.language = language;
        } else if (arg == "--today") {
            options.common.today = tools::ParseDateArgument(value);
            good = options.common.today.has_value();
        } else if (arg == "--date") {
            options.date = tools::ParseDateArgument(value);
            good = options.date.has_value();
        } else if (arg == "--start") {
            options.start = value;
        } else if (arg == "--end") {
            options.end = value;
        } else if (arg == "--detector") {
            options.detector = value;
            good = ValidDetector(value);
        } else if (arg == "--days") {
            good = value.size() == 1 && value[0] >= '0' && value[0] <= '3';
            if (good) options.days = value[0] - '0';
        } else if (arg == "--save") {
            options.save = value;
            good = !value.empty();
        }
        if (!good) {
            std::fprintf(stderr, "%s: bad argument %s %s\n", kTool, argv[i - 1], argv[i]);
            return false;
        }
    }
    if (!options.date) {
        std::fprintf(stderr, "%s: --date YYYYMMDD is required\n", kTool);
        return false;
    }
    if (options.file.empty()) {
        std::fprintf(stderr, "%s: no log file given\n", kTool);
        return false;
    }
    return true;
}

// Information lines as they come, so a long search shows its progress.
class StderrObserver final : public ImportObserver {
public:
    void OnInformation(std::string_view line) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    }
};

void OpenSettingsAndChips() {
    SetSettingsFilePath(GetSettingsFilePath());
    SetLogFilePath(GetLogFilePath());
    SetLogWindowAttached(true);
    LoadStartupSettings();
    LoadInitialisationSettings();
    ComputeRaceDays();
    std::string message;
    LoadChipTable("OrvexTable.dtb", message);
    Log(0, message);
    tools::DrainLogToStderr();
}

int Run(const Options& options) {
    if (!tools::ApplyCommonOptions(options.common, kTool)) return kExitFailed;
    OpenSettingsAndChips();

    ImportDialogMemory memory;
    ImportDialogModel model(memory);
    const int date = *options.date;
    model.date = {date / 10000, date / 100 % 100, date % 100};
    if (!IsInDatePickerRange(model.date)) {
        std::fprintf(stderr, "%s: the date must lie between 1 January 2000 and 1 January 2038\n", kTool);
        return kExitFailed;
    }
    model.logFile = options.file;
    model.startText = options.start;
    model.endText = options.end;
    model.showAbnormalEvents = options.abnormal;

    SearchPreparation prep = model.PrepareSearch();
    if (!prep.ready) {
        std::fprintf(stderr, "%s\n", prep.message.c_str());
        return kExitFailed;
    }
    if (options.extended) prep.settings.extendedStatus = true;
    for (const std::string& heading : model.Headings()) std::fprintf(stderr, "%s\n", heading.c_str());

    StderrObserver observer;
    const LogSearchResult result = SearchReaderLog(prep.request, prep.settings, observer, nullptr);
    if (!result.searched) return kExitFailed;  // the reason was one of the information lines

    const int days = options.days.value_or(model.dayCorrection);
    if (options.save.empty()) {
        std::string lines;
        std::size_t number = 0;
        for (const CDetection& detection : result.found) {
            AppendSavedLine(lines, ++number, options.detector, detection, days);
            if (lines.size() >= 64 * 1024) {
                std::fwrite(lines.data(), 1, lines.size(), stdout);
                lines.clear();
            }
        }
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "%s: cannot write the standard output\n", kTool);
            return kExitFailed;
        }
        return kExitSearched;
    }

    const ImportOrder order{ImportAction::Save, options.detector, days, RixOutputPath(options.save), model.Headings()};
    const ImportRunResult saved =
        RunImportOrder(order, result.found, Settings().absClock.load() != 0, observer, nullptr);
    tools::DrainLogToStderr();
    return saved.completed ? kExitSearched : kExitFailed;
}

}  // namespace
}  // namespace winorvex::import_tool

int main(int argc, char** argv) {
    using winorvex::import_tool::PrintUsage;
    if (winorvex::tools::AnswerHelpOrVersion(argc, argv, winorvex::import_tool::kTool, PrintUsage)) return 0;
    winorvex::import_tool::Options options;
    if (!winorvex::import_tool::ParseArguments(argc, argv, options)) {
        PrintUsage(stderr);
        return winorvex::import_tool::kExitFailed;
    }
    return winorvex::import_tool::Run(options);
}
