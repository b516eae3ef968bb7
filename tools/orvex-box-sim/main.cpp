// orvex-box-sim: plays an ELITE or a Lite chip reader on loopback.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/program_info.h"
#include "common/stdin_control.h"
#include "pty_link.h"
#include "simulator.h"
#include "socket_util.h"

namespace {

using winorvex::sim::Options;
using winorvex::sim::Simulator;
using winorvex::sim::UniqueFd;

// Feeds standard input's lines to the control language; false once standard input is closed.
bool ServeStdin(Simulator& simulator, std::string& pending) {
    return winorvex::tools::ServeStdinLines(pending, 4096,
                                            [&](const std::string& line) { return simulator.Execute(line); });
}

}  // namespace

int main(int argc, char** argv) {
    const auto usage = [](std::FILE* to) { std::fputs(winorvex::sim::UsageText().c_str(), to); };
    if (winorvex::tools::AnswerHelpOrVersion(argc, argv, "orvex-box-sim", usage)) return 0;
    Options options;
    bool help = false;
    std::string error;
    if (!winorvex::sim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &help, &error)) {
        std::fprintf(stderr, "orvex-box-sim: %s (--help lists the options)\n", error.c_str());
        return 2;
    }
    if (help) {
        std::printf("%s", winorvex::sim::UsageText().c_str());
        return 0;
    }

    // Blocked before any thread starts, so every thread inherits the mask and the signals are
    // taken only through the signal descriptor below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    UniqueFd signal_fd(::signalfd(-1, &signals, SFD_CLOEXEC));
    if (!signal_fd.valid()) {
        std::perror("orvex-box-sim: signalfd");
        return 1;
    }

    Simulator simulator(options);
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "orvex-box-sim: %s\n", error.c_str());
        return 1;
    }
    std::string ready = simulator.ReadyLine();
    winorvex::sim::PtyLink serial([&options](const std::string& text) {
        if (!options.quiet) std::fprintf(stderr, "orvex-box-sim: %s\n", text.c_str());
    });
    if (options.serial) {
        if (!serial.Open(simulator.port(), &error)) {
            std::fprintf(stderr, "orvex-box-sim: %s\n", error.c_str());
            return 1;
        }
        ready = winorvex::sim::SerialReadyLine(ready, serial.slave_path());
    }
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);

    bool stdin_open = options.stdin_control;
    std::string pending;
    while (!simulator.quit_requested()) {
        pollfd fds[2] = {{signal_fd.get(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = ::poll(fds, stdin_open ? 2 : 1, 100);
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) break;
        if (stdin_open && (fds[1].revents & (POLLIN | POLLHUP))) stdin_open = ServeStdin(simulator, pending);
    }
    serial.Stop();
    simulator.Stop();
    return 0;
}
