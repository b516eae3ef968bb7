// The durable limit of the live path on this machine: connects to simulated readers on 127.0.0.1
// as the station's boxes do, and hands every line it receives to the kernel with one write() of its
// own, into one file shared by all connections (opened as the detection file is). Nothing else: no
// decoding, no filter, no list, no lock. bench/live_ratio.sh runs it beside winorvex-acquire.
//
//   line_sink_limit --out FILE --lines N PORT...
//
// One thread per port; each ends after N lines from its reader, when the reader closes, or after
// 10 s without a byte. Prints "lines=L seconds=S lines_per_s=R" (from the first connection attempt
// to the last line written) and exits 0 only when every connection brought its N lines.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/unique_fd.h"
#include "platform/tcp_socket.h"

namespace winorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kIdleMs = 10'000;
constexpr std::size_t kBufferBytes = 64 * 1024;

struct Sink {
    int port = 0;
    std::uint64_t lines = 0;
    Clock::time_point lastLine{};
    std::string error;
};

// Receives from one reader and writes each complete line (its CR LF included) with one write().
void Drain(Sink& sink, int out, std::uint64_t wanted) {
    TcpSocket socket;
    if (TcpSocket::Connect("127.0.0.1", sink.port, 5, socket) != ConnectStatus::kOk) {
        sink.error = "cannot connect";
        return;
    }
    std::vector<char> buffer(kBufferBytes);
    std::size_t held = 0;  // bytes of an unfinished line at the front of the buffer
    while (sink.lines < wanted) {
        if (held == buffer.size()) {
            sink.error = "a line longer than the buffer";
            return;
        }
        const ssize_t n = socket.ReceiveWithin(buffer.data() + held, buffer.size() - held, kIdleMs);
        if (n == TcpSocket::kTimedOut) {
            sink.error = "nothing received for 10 s";
            return;
        }
        if (n <= 0) {
            sink.error = n == 0 ? "the reader closed" : "receive failed";
            return;
        }
        const char* const end = buffer.data() + held + n;
        const char* start = buffer.data();
        for (const char* lf;
             sink.lines < wanted && (lf = static_cast<const char*>(
                                         std::memchr(start, '\n', static_cast<std::size_t>(end - start)))) != nullptr;
             start = lf + 1) {
            const auto length = static_cast<std::size_t>(lf + 1 - start);
            if (::write(out, start, length) != static_cast<ssize_t>(length)) {
                sink.error = std::string("write failed: ") + std::strerror(errno);
                return;
            }
            ++sink.lines;
        }
        held = static_cast<std::size_t>(end - start);
        std::memmove(buffer.data(), start, held);
        sink.lastLine = Clock::now();
    }
}

int Run(const std::string& path, std::uint64_t wanted, const std::vector<int>& ports) {
    const UniqueFd out(::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!out.IsOpen()) {
        std::fprintf(stderr, "line_sink_limit: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    std::vector<Sink> sinks(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) sinks[i].port = ports[i];
    const auto start = Clock::now();
    {
        std::vector<std::jthread> threads;
        for (Sink& sink : sinks) threads.emplace_back([&sink, &out, wanted] { Drain(sink, out.Get(), wanted); });
    }
    std::uint64_t lines = 0;
    Clock::time_point last = start;
    bool whole = true;
    for (const Sink& sink : sinks) {
        lines += sink.lines;
        last = std::max(last, sink.lastLine);
        if (sink.lines != wanted) {
            whole = false;
            std::fprintf(stderr, "line_sink_limit: port %d: %llu of %llu lines (%s)\n", sink.port,
                         static_cast<unsigned long long>(sink.lines), static_cast<unsigned long long>(wanted),
                         sink.error.c_str());
        }
    }
    const double seconds = std::chrono::duration<double>(last - start).count();
    std::printf("lines=%llu seconds=%.6f lines_per_s=%.0f\n", static_cast<unsigned long long>(lines), seconds,
                seconds > 0 ? static_cast<double>(lines) / seconds : 0.0);
    return whole ? 0 : 1;
}

}  // namespace
}  // namespace winorvex::bench

int main(int argc, char** argv) {
    std::string out;
    std::uint64_t lines = 0;
    std::vector<int> ports;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (arg == "--lines" && i + 1 < argc) {
            lines = std::strtoull(argv[++i], nullptr, 10);
        } else {
            const long port = std::strtol(argv[i], nullptr, 10);
            if (port <= 0 || port > 65535) {
                ports.clear();
                break;
            }
            ports.push_back(static_cast<int>(port));
        }
    }
    if (out.empty() || lines == 0 || ports.empty()) {
        std::fputs("usage: line_sink_limit --out FILE --lines N PORT...\n", stderr);
        return 2;
    }
    return winorvex::bench::Run(out, lines, ports);
}
