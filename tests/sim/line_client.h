#pragma once
// A loopback TCP client for the simulator tests: sends text, reads lines with deadlines.
#include <chrono>
#include <string>
#include <vector>

namespace winorvex::sim::test {

class LineClient {
public:
    LineClient() = default;
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool Connect(int port, std::chrono::milliseconds timeout = std::chrono::seconds(2));
    bool connected() const { return fd_ >= 0; }
    void Close();
    bool Send(const std::string& text);

    // The next line without its line feed (a CR stays); false on time-out or when the peer closed.
    bool ReadLine(std::string* line, std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Lines until one starts with `prefix` (returned in *line); the skipped ones go to *skipped.
    bool ReadUntil(const std::string& prefix, std::string* line, std::vector<std::string>* skipped = nullptr,
                   std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // True once the peer has closed the connection (after reading what was left), within the time.
    bool WaitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Everything that arrives until the connection closes or the time passes.
    std::string ReadAll(std::chrono::milliseconds timeout);
    // Whether nothing at all arrives for `quiet`.
    bool SilentFor(std::chrono::milliseconds quiet);

private:
    bool Fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
};

// "ab..." command frame with its checksum and line end, built independently of the simulator.
std::string CommandFrame(const std::string& head_and_data);

// One request on a fresh connection, the whole reply until the server closes.
std::string SideRequest(int port, const std::string& request);

// Checks a received reader line (without line feed) as the station would: prefix, lowercase
// checksum over the characters after the prefix, optional FS/LS after an "aa" line's checksum.
bool HasValidChecksum(std::string line);

}  // namespace winorvex::sim::test
