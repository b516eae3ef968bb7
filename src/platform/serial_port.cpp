#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/text_format.h"

namespace winorvex {

namespace {

struct BaudEntry {
    int rate;
    speed_t code;
};

constexpr BaudEntry kBaudRates[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool BaudCode(int rate, speed_t& code) {
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

tcflag_t DataBitsFlag(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Raw bytes both ways: no line editing, no translation, no software or hardware flow control,
// the modem-control lines ignored (CLOCAL) so that a reader without carrier detect still talks.
bool ApplyLineSettings(int fd, const SerialLineSettings& settings, speed_t speed) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= DataBitsFlag(settings.dataBits) | CLOCAL | CREAD;
    if (settings.parity != SerialParity::kNone) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (settings.parity == SerialParity::kOdd) tio.c_cflag |= PARODD;
    }
    if (settings.stopBits == SerialStopBits::kTwo) tio.c_cflag |= CSTOPB;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A read returns as soon as one byte is there; with O_NONBLOCK an empty queue gives EAGAIN, so a
// zero-length read always means that the device hung up.
bool ApplyReadTimeouts(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

SerialPort::~SerialPort() {
    Close();
}

SerialPort::SerialPort(SerialPort&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool SerialPort::Open(const std::string& path, const SerialLineSettings& settings, SerialOpenStep& step,
                      int& errorCode) {
    Close();
    step = SerialOpenStep::kNone;
    errorCode = 0;
    const auto fail = [&](SerialOpenStep failed, int code) {
        step = failed;
        errorCode = code;
        Close();
        return false;
    };

    speed_t speed = B9600;
    if (!BaudCode(settings.baudRate, speed)) return fail(SerialOpenStep::kLineSettings, EINVAL);

    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return fail(SerialOpenStep::kOpen, errno);
    // Two programs reading one port would each get half of the lines. flock() guards against
    // every cooperating program; TIOCEXCL also refuses further opens by anyone but root.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        return fail(SerialOpenStep::kOpen, code == EWOULDBLOCK ? EBUSY : code);
    }
    if (!::isatty(fd_)) return fail(SerialOpenStep::kLineSettings, ENOTTY);
    (void)::ioctl(fd_, TIOCEXCL);

    if (!ApplyLineSettings(fd_, settings, speed)) return fail(SerialOpenStep::kLineSettings, errno);
    if (!ApplyReadTimeouts(fd_)) return fail(SerialOpenStep::kTimeouts, errno);

    // Readers power their interface from DTR on some cables. A pseudo-terminal has no modem lines
    // and refuses the request: that is no failure.
    int dtr = TIOCM_DTR;
    (void)::ioctl(fd_, TIOCMBIS, &dtr);
    // Whatever the device queued before we opened it belongs to nobody.
    (void)::tcflush(fd_, TCIFLUSH);
    return true;
}

void SerialPort::Close() {
    if (fd_ < 0) return;
    // The exclusive mode would otherwise outlive us on a device node that stays open elsewhere.
    (void)::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

ssize_t SerialPort::Read(char* buffer, std::size_t capacity) const {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, capacity);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

ssize_t SerialPort::WriteAll(const char* data, std::size_t length, std::chrono::milliseconds timeout) const {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::size_t written = 0;
    while (written < length) {
        const ssize_t n = ::write(fd_, data + written, length - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return written > 0 ? static_cast<ssize_t>(written) : -1;
        }
        // Output queue full: wait for room, never past the deadline.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
    }
    return static_cast<ssize_t>(written);
}

std::string SystemErrorText(int code) {
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* message = ::strerror_r(code, buffer, sizeof buffer);
    std::string text = message != nullptr ? message : "";
    while (!text.empty() && std::isalnum(static_cast<unsigned char>(text.back())) == 0) text.pop_back();
    return Format("[#%d]= \"%s\"", code, text.c_str());
}

}  // namespace winorvex
