// winorvex-results-sim: plays the results program's detection receiver on loopback.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/program_info.h"
#include "common/stdin_control.h"
#include "core/unique_fd.h"
#include "options.h"
#include "results_sim.h"

namespace {

using winorvex::results_sim::ResultsSimulator;

// Feeds standard input's lines to the control language; false once standard input is closed.
bool ServeStdin(ResultsSimulator& simulator, std::string& pending) {
    return winorvex::tools::ServeStdinLines(pending, 1 << 20,
                                            [&](const std::string& line) { return simulator.Execute(line); });
}

}  // namespace

int main(int argc, char** argv) {
    // "--version A,B,C,D" is the simulated program's own version; alone it asks for this one's.
    const auto usage = [](std::FILE* to) { std::fputs(winorvex::results_sim::UsageText().c_str(), to); };
    if (winorvex::tools::AnswerHelpOrVersion(argc, argv, "winorvex-results-sim", usage, true)) return 0;
    winorvex::results_sim::Options options;
    bool help = false;
    bool stdinControl = false;
    std::string error;
    if (!winorvex::results_sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, help,
                                             stdinControl, error)) {
        std::fprintf(stderr, "winorvex-results-sim: %s (--help lists the options)\n", error.c_str());
        return 2;
    }
    if (help) {
        std::printf("%s", winorvex::results_sim::UsageText().c_str());
        return 0;
    }
    // Blocked before any thread starts, so the signals are taken only through the descriptor.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    winorvex::UniqueFd signalFd(::signalfd(-1, &signals, SFD_CLOEXEC));
    if (!signalFd.IsOpen()) {
        std::perror("winorvex-results-sim: signalfd");
        return 1;
    }
    ResultsSimulator simulator(options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "winorvex-results-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.ReadyLine().c_str());
    std::fflush(stdout);

    bool stdinOpen = stdinControl;
    std::string pending;
    while (!simulator.quit_requested()) {
        pollfd fds[2] = {{signalFd.Get(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, stdinOpen ? 2 : 1, 100);
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) break;
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) stdinOpen = ServeStdin(simulator, pending);
    }
    simulator.Stop();
    const auto counts = simulator.GetCounts();
    std::printf("results-sim done detections=%llu distinct=%llu duplicates=%llu\n",
                static_cast<unsigned long long>(counts.detections), static_cast<unsigned long long>(counts.distinct),
                static_cast<unsigned long long>(counts.duplicates));
    return 0;
}
