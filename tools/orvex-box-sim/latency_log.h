#pragma once
// "seq send_ns" per read: the read's sequence number (also carried in its reader fields) and the
// steady-clock time, in nanoseconds, of the write that handed it to the link. The steady clock is
// the system's monotonic clock, so another process on the same machine can compare its own
// receive times with these.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace winorvex::sim {

class LatencyLog {
public:
    bool Open(const std::string& path, std::string* error);
    bool enabled() const { return file_ != nullptr; }
    void Stamp(uint64_t first_seq, uint64_t end_seq, int64_t send_ns);
    void Flush();

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> file_;
};

int64_t SteadyNowNs();

}  // namespace winorvex::sim
