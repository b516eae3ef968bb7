// winorvex-acquire: a station without windows. Connects the boxes declared in the settings of a
// data folder and records their reads, as the station does, until SIGINT / SIGTERM or a number of
// seconds. Each recorded detection's detection-file line goes to standard output; the lines the
// log window would show go to standard error. A lost box is reconnected as the station does it.
//
//   winorvex-acquire [--data-dir DIR] [--seconds N] [--today YYYYMMDD] [--lang fr|en]
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/startup.h"
#include "common/program_info.h"
#include "common/station_files.h"
#include "core/log.h"
#include "core/station_events.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/record_detection.h"
#include "reader/box_manager.h"

namespace winorvex::acquire {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoBox = 1;
constexpr int kExitUsage = 2;

struct Options {
    tools::CommonOptions common;
    std::optional<int> seconds;
};

constexpr const char* kTool = "winorvex-acquire";

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: winorvex-acquire [--data-dir DIR] [--seconds N] [--today YYYYMMDD] [--lang fr|en]\n\n"
        "Connects the boxes declared in the data folder's WinORVEX.ini and records their reads until\n"
        "SIGINT / SIGTERM (or N seconds). Recorded detections are printed on standard output as\n"
        "detection-file lines; log window lines go to standard error.\n"
        "  --data-dir DIR     data folder (settings, chip table, logfiles); else WINORVEX_DATA_DIR\n"
        "  --seconds N        stop after N seconds\n"
        "  --today YYYYMMDD   pins today's date for the race days\n"
        "  --lang fr|en       language of the messages\n"
        "  --help, --version  this text, the program's version\n"
        "Exit status: 0 recorded until stopped, 1 no box connected or no data folder, 2 usage error.\n",
        to);
}

std::optional<int> ParseNumber(std::string_view text, int min, int max) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max) return std::nullopt;
    return value;
}

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg != "--data-dir" && arg != "--seconds" && arg != "--today" && arg != "--lang") {
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
        } else if (arg == "--seconds") {
            options.seconds = ParseNumber(value, 1, 7 * 86400);
            good = options.seconds.has_value();
        } else if (arg == "--today") {
            options.common.today = tools::ParseDateArgument(value);
            good = options.common.today.has_value();
        } else if (arg == "--lang") {
            Language language;
            good = ParseLanguageOption(argv[i], language);
            if (good) options.common.language = language;
        } else {
            good = false;
        }
        if (!good) {
            std::fprintf(stderr, "%s: bad argument %s %s\n", kTool, argv[i - 1], argv[i]);
            return false;
        }
    }
    return true;
}

// The station's event loop stand-in: workers post here, the main thread handles.
class EventQueue final : public NullStationEventSink {
public:
    void OnBoxConnectionEvent(int boxNumber, bool unexpected) override {
        {
            std::lock_guard lock(mutex_);
            pending_.emplace_back(boxNumber, unexpected);
        }
        wake_.notify_one();
    }

    // Waits at most `timeout` for events, then hands every queued one to the manager.
    void Dispatch(BoxManager& manager, std::chrono::milliseconds timeout) {
        std::deque<std::pair<int, bool>> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, timeout, [this] { return !pending_.empty(); });
            batch.swap(pending_);
        }
        for (const auto& [box, unexpected] : batch) manager.OnBoxConnectionEvent(box, unexpected);
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<int, bool>> pending_;
};

// No one to ask: every question takes its default answer; alerts are already in the log.
class HeadlessPrompt final : public OperatorPrompt {
public:
    bool AskYesNo(std::string_view, bool defaultYes) override { return defaultYes; }
    void Warn(std::string_view) override {}
    void Inform(std::string_view) override {}
};

// Prints the lines appended to the detection file since it was opened.
class DetectionFileTail {
public:
    explicit DetectionFileTail(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ >= 0) ::lseek(fd_, 0, SEEK_END);
    }
    ~DetectionFileTail() {
        if (fd_ >= 0) ::close(fd_);
    }
    DetectionFileTail(const DetectionFileTail&) = delete;
    DetectionFileTail& operator=(const DetectionFileTail&) = delete;

    void Print() {
        if (fd_ < 0) return;
        char buffer[16384];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t lf; (lf = pending_.find('\n', start)) != std::string::npos; start = lf + 1) {
                std::size_t end = lf;
                if (end > start && pending_[end - 1] == '\r') --end;
                std::fwrite(pending_.data() + start, 1, end - start, stdout);
                std::fputc('\n', stdout);
            }
            pending_.erase(0, start);
        }
        std::fflush(stdout);
    }

private:
    int fd_;
    std::string pending_;
};

int Run(const Options& options) {
    if (!tools::ApplyCommonOptions(options.common, kTool)) return kExitNoBox;

    // Blocked before any worker exists, so that only the main thread takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const std::string detectionFile = OpenStationFiles();
    DetectionFileTail tail(detectionFile);

    EventQueue events;
    HeadlessPrompt prompt;
    NullDetectionOutputs outputs;  // no results program, no sound, no pane
    BoxManagerServices services;
    services.events = &events;
    services.outputs = &outputs;
    services.prompt = &prompt;
    // The status picture of each box, as a line whenever it changes.
    std::array<BoxStatus, BoxManager::kSlotCount> shown{};
    services.statusChanged = [&shown](int box, BoxStatus status, const std::string& tip) {
        BoxStatus& last = shown[static_cast<std::size_t>(box - 1)];
        if (status == last) return;
        last = status;
        std::string line = tip;
        for (char& c : line) c = c == '\n' ? ' ' : c;
        Log(0, "* " + line);
    };
    BoxManager manager(std::move(services));
    manager.LoadAllSlots();
    if (manager.ConnectAllBoxes() != ConnectAllOutcome::Connected) {
        tools::DrainLogToStderr();
        CloseDetectionFile();
        return kExitNoBox;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        options.seconds ? Clock::now() + std::chrono::seconds(*options.seconds) : Clock::time_point::max();
    const timespec noWait{0, 0};
    while (Clock::now() < deadline && sigtimedwait(&stopSignals, nullptr, &noWait) < 0) {
        events.Dispatch(manager, std::chrono::milliseconds(100));
        tools::DrainLogToStderr();
        tail.Print();
    }

    manager.StopAllBoxThreads();
    events.Dispatch(manager, std::chrono::milliseconds(0));
    tail.Print();
    tools::DrainLogToStderr();
    std::fprintf(stderr, "%s %s\n", Tr("Détections enregistrées dans", "Detections recorded in"),
                 detectionFile.c_str());
    return kExitOk;
}

}  // namespace
}  // namespace winorvex::acquire

int main(int argc, char** argv) {
    using namespace winorvex;
    if (tools::AnswerHelpOrVersion(argc, argv, acquire::kTool, acquire::PrintUsage)) return 0;
    winorvex::acquire::Options options;
    if (!winorvex::acquire::ParseArguments(argc, argv, options)) {
        winorvex::acquire::PrintUsage(stderr);
        return winorvex::acquire::kExitUsage;
    }
    return winorvex::acquire::Run(options);
}
