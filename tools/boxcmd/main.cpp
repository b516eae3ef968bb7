// winorvex-boxcmd: runs one of the operator's box commands on the boxes declared in a data folder,
// as the station's buttons do, without windows. Every question is answered Yes; the marker label
// is the argument. The log lines the window would show are printed on standard output.
//
//   winorvex-boxcmd [--data-dir DIR] [--lang en|fr] sync|times|marker LABEL|expert ID
//
// ID is an item of the expert menu: 1175 (DOWNLOAD), 1127 to 1139, 1223 (Power Off).
// Exit status: 0 the command ran (a box that failed is a log line), 1 bad arguments or the command
// could not run (another station holds the data folder, an empty marker), 2 no box connected or an
// unknown option.
#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/box_command_menu.h"
#include "app/box_commands.h"
#include "app/headless_prompt.h"
#include "app/station.h"
#include "common/program_info.h"
#include "common/station_files.h"
#include "reader/box_manager.h"

namespace winorvex::boxcmd {
namespace {

constexpr int kExitRan = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNoBox = 2;

// A command's loop waits at most for the side service of four boxes (connection and reply).
constexpr auto kCommandDeadline = std::chrono::seconds(60);
// Readers answer a Lite request within a few tenths of a second.
constexpr auto kReplyWait = std::chrono::seconds(2);
// A reader's whole memory replayed at its slowest.
constexpr auto kDownloadDeadline = std::chrono::minutes(10);

enum class Command { Sync, Times, Marker, Expert };

struct Options {
    tools::CommonOptions common;
    Command command = Command::Sync;
    std::string label;
    int expertItem = 0;
};

constexpr const char* kTool = "winorvex-boxcmd";

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: winorvex-boxcmd [--data-dir DIR] [--lang en|fr] sync|times|marker LABEL|expert ID\n\n"
        "Connects the boxes declared in the data folder and runs one box command:\n"
        "  sync          set the boxes' clocks from the computer's\n"
        "  times         show the boxes' clocks\n"
        "  marker LABEL  insert a marker into the ELITE boxes\n"
        "  expert ID     an expert command on box 1: 1175 DOWNLOAD, 1127-1139, 1223 Power Off\n"
        "  --data-dir DIR     data folder (settings, chip table, logfiles); else WINORVEX_DATA_DIR\n"
        "  --lang en|fr       language of the messages\n"
        "  --help, --version  this text, the program's version\n"
        "Exit status: 0 ran, 1 bad arguments or not run, 2 no box connected or an unknown option.\n",
        to);
}

bool Bad(const char* what, std::string_view value) {
    std::fprintf(stderr, "%s: bad argument %s %.*s\n", kTool, what, static_cast<int>(value.size()), value.data());
    return false;
}

bool ParseArguments(int argc, char** argv, Options& options, bool& unknownOption) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, 2) != "--") break;
        if (arg != "--data-dir" && arg != "--lang") {
            tools::ReportUnknownOption(kTool, arg);
            unknownOption = true;
            return false;
        }
        if (i + 1 >= argc) return Bad(argv[i], "");
        const std::string_view value = argv[++i];
        if (arg == "--data-dir") {
            if (value.empty()) return Bad(argv[i - 1], value);
            options.common.dataDir = value;
        } else if (arg == "--lang") {
            Language language;
            if (!ParseLanguageOption(argv[i], language)) return Bad(argv[i - 1], value);
            options.common.language = language;
        } else {
            return Bad(argv[i - 1], value);
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "%s: no command\n", kTool);
        return false;
    }
    const std::string_view command = argv[i++];
    const int rest = argc - i;
    if (command == "sync" && rest == 0) {
        options.command = Command::Sync;
    } else if (command == "times" && rest == 0) {
        options.command = Command::Times;
    } else if (command == "marker" && rest == 1) {
        options.command = Command::Marker;
        options.label = argv[i];
    } else if (command == "expert" && rest == 1) {
        options.command = Command::Expert;
        const std::string_view id = argv[i];
        int value = 0;
        for (const char c : id) {
            if (c < '0' || c > '9' || value > 100000) return Bad("expert", id);
            value = value * 10 + (c - '0');
        }
        if (id.empty() || FindExpertItem(value) == nullptr) return Bad("expert", id);
        options.expertItem = value;
    } else {
        std::fprintf(stderr, "%s: bad command %.*s\n", kTool, static_cast<int>(command.size()), command.data());
        return false;
    }
    return true;
}

// Nobody to ask: every question is answered Yes (the command was asked for on purpose); the text
// answer is the marker label. Everything is logged as the headless station logs it.
class AnswerYesPrompt final : public OperatorPrompt {
public:
    explicit AnswerYesPrompt(std::optional<std::string> text) : inner_(std::move(text)) {}
    bool AskYesNo(std::string_view text, bool) override { return inner_.AskYesNo(text, true); }
    void Warn(std::string_view text) override { inner_.Warn(text); }
    void Inform(std::string_view text) override { inner_.Inform(text); }
    std::optional<std::string> AskText(const TextQuestion& question) override { return inner_.AskText(question); }

private:
    HeadlessPrompt inner_;
};

// Runs the event loop until done() or the deadline.
void RunUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool StartCommand(const Options& options, BoxCommands& commands) {
    switch (options.command) {
        case Command::Sync:
            return commands.SynchroniseClocks();
        case Command::Times:
            return commands.ShowBoxTimes();
        case Command::Marker:
            return commands.InsertEliteMarker();
        case Command::Expert:
            return commands.RunExpertItem(options.expertItem);
    }
    return false;
}

int Run(const Options& options, QCoreApplication&) {
    AnswerYesPrompt prompt(options.command == Command::Marker ? std::optional<std::string>(options.label)
                                                              : std::nullopt);
    StationServices services;
    services.prompt = &prompt;
    StationOptions stationOptions;
    stationOptions.headless = true;
    Station station(services, stationOptions);
    // A running station holds the readers' one connection: taking it over would cut its reads.
    if (station.Start() == StartOutcome::AlreadyRunning) return kExitFailed;
    station.InitialiseWindow();
    station.ConnectAllBoxes();
    if (!station.BoxCommandsEnabled()) {
        station.RunExitProcedure(false);
        return kExitNoBox;
    }

    int status = kExitFailed;
    {
        BoxCommands commands(station);
        if (StartCommand(options, commands)) {
            status = kExitRan;
            RunUntil([&] { return !commands.Busy(); }, kCommandDeadline);
            if (commands.LiteRequestsSent() > 0) RunUntil([] { return false; }, kReplyWait);
            if (options.command == Command::Expert && options.expertItem == kMenuDownload) {
                COrvexBox& box = station.Boxes().Box(1);
                RunUntil([&] { return !box.IsDownloading(); }, kDownloadDeadline);
            }
        }
    }
    station.RunExitProcedure(false);
    return status;
}

}  // namespace
}  // namespace winorvex::boxcmd

int main(int argc, char** argv) {
    using namespace winorvex::boxcmd;
    if (winorvex::tools::AnswerHelpOrVersion(argc, argv, kTool, PrintUsage)) return 0;
    std::signal(SIGPIPE, SIG_IGN);
    Options options;
    bool unknownOption = false;
    if (!ParseArguments(argc, argv, options, unknownOption)) {
        PrintUsage(stderr);
        return unknownOption ? winorvex::tools::kExitUsageError : kExitFailed;
    }
    if (!winorvex::tools::ApplyCommonOptions(options.common, kTool)) return kExitFailed;
    QCoreApplication app(argc, argv);
    return Run(options, app);
}
