#include "reader/box_address.h"

#include <algorithm>
#include <cctype>

#include "core/text_format.h"

namespace winorvex {

namespace {

// Text after the last '.', or the whole text without '.'.
std::string HostTail(const std::string& host) {
    const auto dot = host.rfind('.');
    return dot == std::string::npos ? host : host.substr(dot + 1);
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool BoxAddress::IsSerialHost(const std::string& host) {
    if (host.rfind("/dev/", 0) == 0) return true;
    // Only a port name: "COM" (any case) followed by digits alone. A DNS name that merely holds the
    // letters ("reader.example.com", "ELITECOMPACT") is a TCP reader.
    if (host.size() <= 3 || UpperCase(host.substr(0, 3)) != "COM") return false;
    return std::all_of(host.begin() + 3, host.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string BoxAddress::Description() const {
    return Format("[%s:%d %s]", HostTail(host).c_str(), port, detectorId.c_str());
}

std::string BoxAddress::FileTag() const {
    std::string tail = HostTail(host);
    // A device path would make the tag a path of folders that do not exist.
    if (IsSerial()) {
        const auto slash = tail.rfind('/');
        if (slash != std::string::npos) tail.erase(0, slash + 1);
    }
    return Format("%s-%d-%s", tail.c_str(), port, detectorId.c_str());
}

}  // namespace winorvex
