#include "reader/serial_comm_helper.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <utility>

#include "core/log.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

using Clock = std::chrono::steady_clock;

// While bytes are being dropped the log gets one line per this period, not one per pass.
constexpr auto kOverflowReportPeriod = std::chrono::seconds(1);

const char* OpenStepText(SerialOpenStep step) {
    switch (step) {
        case SerialOpenStep::kLineSettings:
            return "Erreur GetCommState pour le port %s : %s";
        case SerialOpenStep::kTimeouts:
            return "Erreur setting time-outs pour le port %s : %s";
        case SerialOpenStep::kOpen:
        case SerialOpenStep::kNone:
            break;
    }
    return "Erreur de connexion au port %s : %s";
}

void ReportOverflow(const std::string& portName, std::uint64_t dropped) {
    // The plural mark goes once per word that takes it; English needs only the first.
    const char* plural = dropped > 1 ? "s" : "";
    LogF(0,
         Tr("## Port %s : débordement du tampon série, %llu octet%s perdu%s",
            "## Port %s : serial buffer overflow, %llu byte%s dropped"),
         portName.c_str(), static_cast<unsigned long long>(dropped), plural, plural);
}

}  // namespace

CSerialCommHelper::~CSerialCommHelper() {
    Shutdown();
}

bool CSerialCommHelper::Init(const std::string& portName, int baudRate, SerialParity parity, SerialStopBits stopBits,
                             int dataBits, std::string& error) {
    std::lock_guard lock(lifecycleMutex_);
    ShutdownLocked();
    error.clear();
    try {
        auto port = std::make_shared<SerialPort>();
        SerialOpenStep step = SerialOpenStep::kNone;
        int code = 0;
        const SerialLineSettings settings{baudRate, parity, stopBits, dataBits};
        if (!port->Open(portName, settings, step, code)) {
            error = Format(OpenStepText(step), portName.c_str(), SystemErrorText(code).c_str());
            return false;
        }
        UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!wake.IsOpen()) {
            error = Format(OpenStepText(SerialOpenStep::kOpen), portName.c_str(), SystemErrorText(errno).c_str());
            return false;
        }
        buffer_.Clear();
        linkLost_.store(false);
        received_.store(0);
        state_.store(kOpen);
        std::shared_ptr<const SerialPort> shared = std::move(port);
        thread_ = std::thread(&CSerialCommHelper::ReaderLoop, this, shared, wake.Get(), portName);
        port_ = std::move(shared);
        wake_ = std::move(wake);
        connected_.store(true);
        return true;
    } catch (const std::exception&) {
        // Only thread creation or memory can throw here; nothing of this attempt stays open.
        state_.store(kIdle);
        error = Format("Exception catched for Port %s", portName.c_str());
        return false;
    }
}

void CSerialCommHelper::Start() {
    if (state_.load() != kIdle) state_.store(kStarted);
}

void CSerialCommHelper::Stop() {
    if (state_.load() != kIdle) state_.store(kStopped);
    buffer_.Wake();
}

void CSerialCommHelper::Shutdown() {
    std::lock_guard lock(lifecycleMutex_);
    ShutdownLocked();
}

void CSerialCommHelper::ShutdownLocked() {
    connected_.store(false);
    if (thread_.joinable()) {
        if (wake_.IsOpen()) (void)::eventfd_write(wake_.Get(), 1);
        thread_.join();
    }
    port_.reset();
    wake_.Reset();
    state_.store(kIdle);
    buffer_.Clear();
    buffer_.Wake();
}

int CSerialCommHelper::WriteText(std::string_view text) {
    if (state_.load() != kStarted) return -1;
    std::shared_ptr<const SerialPort> port;
    {
        std::lock_guard lock(lifecycleMutex_);
        port = port_;
    }
    if (!port) return -1;
    const auto zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    if (text.empty()) return 0;
    // Without the lifecycle lock: a slow write must not hold up a Shutdown, and our reference
    // keeps the descriptor from being closed (and reused) under us.
    const ssize_t written = port->WriteAll(text.data(), text.size(), kWriteTimeout);
    return written == static_cast<ssize_t>(text.size()) ? 0 : -1;
}

int CSerialCommHelper::ReadUntil(char* destination, std::size_t limit, char delimiter,
                                 std::chrono::milliseconds timeout) {
    destination[0] = '\0';
    if (state_.load() != kStarted) return kReadNotStarted;
    const std::size_t taken = buffer_.TakeUntil(delimiter, destination, limit, Clock::now() + timeout,
                                                [this] { return state_.load() != kStarted || linkLost_.load(); });
    if (taken > 0) return static_cast<int>(taken);
    if (state_.load() != kStarted) return kReadNotStarted;
    if (linkLost_.load()) return kReadLinkLost;
    return 0;
}

bool CSerialCommHelper::WaitForData(std::chrono::milliseconds timeout) {
    return buffer_.WaitForUnread(Clock::now() + timeout);
}

void CSerialCommHelper::ReaderLoop(std::shared_ptr<const SerialPort> port, int wakeFd, std::string portName) {
    std::array<char, kReadChunk> chunk{};
    std::uint64_t unreported = 0;  // dropped bytes not yet in the log
    Clock::time_point nextReport = Clock::now();

    for (;;) {
        int waitMs = -1;
        if (unreported > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextReport - Clock::now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {port->Fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, waitMs);
        if (ready < 0 && errno != EINTR) {
            LogF(0, Tr("## Port %s : attente impossible %s", "## Port %s : cannot wait %s"), portName.c_str(),
                 SystemErrorText(errno).c_str());
            linkLost_.store(true);
            break;
        }
        if (unreported > 0 && Clock::now() >= nextReport) {
            ReportOverflow(portName, unreported);
            unreported = 0;
            nextReport = Clock::now() + kOverflowReportPeriod;
        }
        if (ready <= 0) continue;
        if (fds[0].revents != 0) break;  // Shutdown
        const short events = fds[1].revents;
        if (events == 0) continue;

        const ssize_t n = port->Read(chunk.data(), chunk.size());
        const int readError = n < 0 ? errno : 0;
        if (n > 0) {
            if (state_.load() == kStarted) {
                const std::size_t dropped = buffer_.Append(chunk.data(), static_cast<std::size_t>(n));
                if (dropped > 0) {
                    if (unreported == 0 && Clock::now() >= nextReport) {
                        ReportOverflow(portName, dropped);
                        nextReport = Clock::now() + kOverflowReportPeriod;
                    } else {
                        unreported += dropped;
                    }
                }
            }
        }
        // Received before Start or after Stop: nobody asked for it.
        if (state_.load() != kStarted) buffer_.Clear();
        if (n > 0) {
            // Counted once kept or discarded, so that whoever waits for the count sees the outcome.
            received_.fetch_add(static_cast<std::uint64_t>(n));
            continue;
        }

        // Nothing read although the port was signalled: with blocking reads off, only a hang-up
        // (zero bytes) or an error gets here. EAGAIN without hang-up was a spurious wake-up.
        const bool hungUp = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if (n < 0 && (readError == EAGAIN || readError == EWOULDBLOCK) && !hungUp) continue;
        if (n < 0 && readError != EAGAIN && readError != EWOULDBLOCK) {
            LogF(20, Tr("## Port %s : erreur de lecture %s", "## Port %s : read error %s"), portName.c_str(),
                 SystemErrorText(readError).c_str());
        } else {
            LogF(20, Tr("## Port %s : périphérique déconnecté", "## Port %s : device disconnected"), portName.c_str());
        }
        linkLost_.store(true);
        break;
    }
    if (unreported > 0) ReportOverflow(portName, unreported);
    // A taker waiting for a line must learn at once that none will come.
    buffer_.Wake();
}

}  // namespace winorvex
