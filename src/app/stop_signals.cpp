#include "app/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace winorvex {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void BlockStopSignals() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A peer that vanishes mid-write is an error return, never the end of the station.
    ::signal(SIGPIPE, SIG_IGN);
}

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    const sigset_t set = StopSet();
    fd_ = UniqueFd(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_.IsOpen()) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_.Get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StopSignals::Read);
}

void StopSignals::Read() {
    signalfd_siginfo info{};
    while (::read(fd_.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        emit stopRequested(static_cast<int>(info.ssi_signo));
    }
}

}  // namespace winorvex
