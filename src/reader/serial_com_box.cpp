#include "reader/serial_com_box.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <thread>

#include "core/text_format.h"
#include "platform/serial_port.h"

namespace winorvex {

namespace {

constexpr const char* kDevicePrefix = "/dev/";
constexpr std::size_t kMaxPortDigits = 4;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string CSerialComBox::DevicePathFor(const std::string& portName) {
    if (StartsWith(portName, kDevicePrefix)) return portName;
    if (portName.size() <= 3 || portName.size() > 3 + kMaxPortDigits) return std::string();
    if (UpperCase(portName.substr(0, 3)) != "COM") return std::string();
    int number = 0;
    for (std::size_t i = 3; i < portName.size(); ++i) {
        const char c = portName[i];
        if (c < '0' || c > '9') return std::string();
        number = number * 10 + (c - '0');
    }
    if (number < 1) return std::string();
    return Format("/dev/ttyS%d", number - 1);
}

CSerialComBox::~CSerialComBox() {
    Close();
}

bool CSerialComBox::Disconnect() {
    SetClosedOnRequest(true);
    Stop();
    Shutdown();
    return true;
}

bool CSerialComBox::Close() {
    if (IsConnected()) {
        Stop();
        Shutdown();
    }
    return true;
}

int CSerialComBox::ReadLine(char* buffer, int capacity) {
    if (buffer == nullptr || capacity < 2) return -1;
    if (!IsConnected()) return -1;
    buffer[0] = '\0';
    const auto limit = static_cast<std::size_t>(std::min(capacity, kLineBufferSize) - 1);
    for (;;) {
        // The wait ends as soon as a line is there, the port fails or is shut down; the slice only
        // bounds how long a stray closed-on-request flag can go unnoticed.
        const int taken = ReadUntil(buffer, limit, '\n', kReadSlice);
        if (taken > 0) return taken;
        if (IsClosedOnRequest()) return static_cast<int>(std::strlen(buffer));
        if (taken == kReadLinkLost) {
            Close();
            return -1;
        }
        if (!IsConnected()) return -1;
        // Open but reception stopped: nothing can arrive until it starts again; look again later.
        if (taken == kReadNotStarted) std::this_thread::sleep_for(kReadSlice);
    }
}

bool CSerialComBox::HasBufferedLine() const {
    return IsConnected() && HasWhole('\n', static_cast<std::size_t>(kLineBufferSize - 1));
}

int CSerialComBox::WaitReadable(int milliseconds) {
    if (!IsConnected() || IsLinkLost()) return -1;
    return WaitForData(std::chrono::milliseconds(std::max(milliseconds, 0))) ? 1 : 0;
}

int CSerialComBox::Write(const char* data, int length) {
    if (data == nullptr || length < 0) return -1;
    return WriteText(std::string_view(data, static_cast<std::size_t>(length))) == 0 ? length : -1;
}

bool CSerialComBox::IsOpen() const {
    return IsConnected();
}

bool CSerialComBox::Connect(const BoxAddress& address, std::string& error) {
    const std::string& portName = address.host;
    Close();
    const std::string device = DevicePathFor(portName);
    if (device.empty()) {
        // Not a port name at all (a TCP host that happens to contain "com"): never open it as a
        // file, say that there is no such device.
        error = Format("Erreur de connexion au port %s : %s", portName.c_str(), SystemErrorText(ENODEV).c_str());
        return false;
    }
    if (!Init(device, kBaudRate, SerialParity::kNone, SerialStopBits::kOne, 8, error)) return false;
    Start();
    SetClosedOnRequest(false);
    return true;
}

}  // namespace winorvex
