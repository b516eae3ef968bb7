#include "latency_log.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace winorvex::sim {

int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool LatencyLog::Open(const std::string& path, std::string* error) {
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) {
        *error = "cannot open latency log " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void LatencyLog::Stamp(uint64_t first_seq, uint64_t end_seq, int64_t send_ns) {
    if (!file_) return;
    for (uint64_t seq = first_seq; seq < end_seq; ++seq) {
        std::fprintf(file_.get(), "%llu %lld\n", static_cast<unsigned long long>(seq), static_cast<long long>(send_ns));
    }
}

void LatencyLog::Flush() {
    if (file_) std::fflush(file_.get());
}

}  // namespace winorvex::sim
