#pragma once
// Where a reader slot's transport connects, and the names derived from it. For a TCP reader the
// host is a host name or address and the port a TCP port; for a serial reader the host is the
// port name ("COM3" or a device path) and the port value the speed. The detector identifier only
// appears in descriptions and file tags; it is never sent.
#include <cstddef>
#include <string>

namespace winorvex {

struct BoxAddress {
    static constexpr const char* kDefaultDetectorId = "31";
    static constexpr const char* kDefaultHost = "localhost";
    static constexpr int kDefaultPort = 10000;
    // Longer TCP host names are cut; port names are kept whole.
    static constexpr std::size_t kMaxHostLength = 255;

    std::string detectorId = kDefaultDetectorId;
    std::string host = kDefaultHost;
    int port = kDefaultPort;

    // A port (or speed) is set.
    bool HasAddress() const { return port != 0; }
    bool IsConfigured() const { return port != 0 && !host.empty(); }
    // The host text calls for the serial transport: "COM" in any case followed by digits only, or
    // a device path. A TCP host name that merely contains the letters (telecom.example,
    // ELITECOMPACT) stays TCP.
    bool IsSerial() const { return IsSerialHost(host); }
    static bool IsSerialHost(const std::string& host);

    // "[%s:%d %s]": the host after its last '.', the port, the detector identifier, e.g.
    // "[50:10000 31]".
    std::string Description() const;
    // "%s-%d-%s" with the same values, e.g. "50-10000-31"; a device path keeps only its last
    // component, since the tag names files.
    std::string FileTag() const;

    friend bool operator==(const BoxAddress&, const BoxAddress&) = default;
};

}  // namespace winorvex
