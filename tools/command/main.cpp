// winorvex-command: sends one command to a running station's command service and prints its answer.
//
//   winorvex-command [--service NAME] [--data-dir DIR] COMMAND
//
// Exit status: 0 with the answer on standard output; 1 when the station closed without an answer
// ("no answer" on standard error); 2 when no station listens, or for a usage error.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/command_paths.h"
#include "common/program_info.h"
#include "core/folders.h"
#include "core/settings.h"
#include "core/unique_fd.h"

namespace {

using namespace winorvex;

constexpr int kAnswerTimeoutMs = 30000;
constexpr std::size_t kMaxAnswer = 4096;

constexpr const char* kTool = "winorvex-command";

void PrintUsage(std::FILE* to) {
    std::fputs(
        "usage: winorvex-command [--service NAME] [--data-dir DIR] COMMAND\n\n"
        "Sends one command line to a running station's command service and prints its answer, for\n"
        "example StartAcquisition, ExportTo(path), ClearAcquisitions, SetDirectConnection(1),\n"
        "GetDirectConnection, PopFront.\n"
        "  --service NAME     the station's service name; else GOrvexDdeName of the data folder\n"
        "  --data-dir DIR     data folder whose settings name the service; else WINORVEX_DATA_DIR\n"
        "  --help, --version  this text, the program's version\n"
        "Exit status: 0 answered, 1 no answer, 2 no station listens or usage error.\n",
        to);
}

int Usage() {
    PrintUsage(stderr);
    return tools::kExitUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    if (tools::AnswerHelpOrVersion(argc, argv, kTool, PrintUsage)) return 0;
    std::string service;
    std::string command;
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--service" && i + 1 < argc) {
            service = argv[++i];
        } else if (arg == "--data-dir" && i + 1 < argc) {
            SetDataFolderOverride(argv[++i]);
        } else if (!haveCommand && !arg.starts_with("--")) {
            command = arg;
            haveCommand = true;
        } else if (arg.starts_with("--") && arg != "--service" && arg != "--data-dir") {
            tools::ReportUnknownOption(kTool, arg);
            return Usage();
        } else {
            return Usage();
        }
    }
    if (!haveCommand || command.find('\n') != std::string::npos) return Usage();
    if (service.empty()) {
        const std::string folder = GetDataFolder();
        service =
            folder.empty() ? "ORVEX" : ReadSettingText("Settings", "GOrvexDdeName", "ORVEX", folder + "/WinORVEX.ini");
    }
    if (!IsUsableServiceName(service)) {
        std::fprintf(stderr, "winorvex-command: unusable service name %s\n", service.c_str());
        return 2;
    }

    const std::string path = CommandServicePath(service);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "winorvex-command: %s\n", SocketPathTooLongText(path).c_str());
        return 2;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsOpen() || ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "winorvex-command: no station listens on %s\n", path.c_str());
        return 2;
    }
    const std::string request = command + "\n";
    if (!WriteAll(fd.Get(), request.data(), request.size())) {
        std::fprintf(stderr, "winorvex-command: cannot send the command to %s\n", path.c_str());
        return 2;
    }

    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    char buffer[1024];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            std::fputs("winorvex-command: no answer in time\n", stderr);
            return 1;
        }
        pollfd wait{fd.Get(), POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() > kMaxAnswer) break;
    }
    const std::size_t lf = answer.find('\n');
    if (lf == std::string::npos) {
        std::fputs("no answer\n", stderr);
        return 1;
    }
    answer.resize(lf);
    std::printf("%s\n", answer.c_str());
    return 0;
}
