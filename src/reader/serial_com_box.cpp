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

bool CSerialComBox::IsSerialHost(const std::string& host) {
    if (StartsWith(host, kDevicePrefix)) return true;
    // Only a port name: "COM" (any case) followed by digits alone. A DNS name that merely holds the
    // letters ("reader.example.com", "ELITECOMPACT") is a TCP reader.
    if (host.size() <= 3 || UpperCase(host.substr(0, 3)) != "COM") return false;
    return std::all_of(host.begin() + 3, host.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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
    openMarker_.store(0);
    return true;
}

bool CSerialComBox::Close() {
    if (IsConnected()) {
        Stop();
        Shutdown();
    }
    // Cleared even when the port is already shut: a stop that lands between the port opening and
    // the marker being set would otherwise leave the box "active" with no port behind it.
    openMarker_.store(0);
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

std::string CSerialComBox::GetDescription() const {
    std::lock_guard lock(parametersMutex_);
    return Format("[%s:%d %s]", HostTail(portName_).c_str(), speed_, DetectorId().c_str());
}

std::string CSerialComBox::GetFileTag() const {
    std::lock_guard lock(parametersMutex_);
    // A device path would make the tag a path of folders that do not exist.
    std::string tail = HostTail(portName_);
    const auto slash = tail.rfind('/');
    if (slash != std::string::npos) tail.erase(0, slash + 1);
    return Format("%s-%d-%s", tail.c_str(), speed_, DetectorId().c_str());
}

int CSerialComBox::Write(const char* data, int length) {
    if (data == nullptr || length < 0) return -1;
    return WriteText(std::string_view(data, static_cast<std::size_t>(length))) == 0 ? length : -1;
}

bool CSerialComBox::HasAddress() const {
    std::lock_guard lock(parametersMutex_);
    return speed_ != 0;
}

bool CSerialComBox::IsConfigured() const {
    std::lock_guard lock(parametersMutex_);
    return speed_ != 0 && !portName_.empty();
}

bool CSerialComBox::IsActive() const {
    return openMarker_.load() != 0 || IsReconnecting();
}

bool CSerialComBox::IsOpen() const {
    return IsConnected();
}

bool CSerialComBox::Open(const std::string& detectorId, const std::string& host, int port, std::string& error) {
    SetParameters(detectorId, host, port);
    return Connect(error);
}

bool CSerialComBox::Connect(std::string& error) {
    std::string portName;
    {
        std::lock_guard lock(parametersMutex_);
        portName = portName_;
    }
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
    openMarker_.store(kOpenMarker);
    SetClosedOnRequest(false);
    return true;
}

void CSerialComBox::SetParameters(const std::string& detectorId, const std::string& host, int port) {
    SetDetectorId(detectorId);
    std::lock_guard lock(parametersMutex_);
    portName_ = host;
    speed_ = port;
}

void CSerialComBox::GetParameters(std::string& detectorId, std::string& host, int& port) const {
    detectorId = DetectorId();
    std::lock_guard lock(parametersMutex_);
    host = portName_;
    port = speed_;
}

void CSerialComBox::SetHandle(int handle) {
    openMarker_.store(handle);
}

void CSerialComBox::GetHandle(int& handle) const {
    handle = openMarker_.load();
}

}  // namespace winorvex
