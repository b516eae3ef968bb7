// The whole worker path on loopback: simulated readers stream tag reads over TCP to box workers
// that decode, filter, record (result list and detection file) each one. Reports
//  - sustained reads/s for one box and for four boxes at once, checking that every read sent was
//    handled (recorded + ignored + invalid == sent);
//  - the latency from the reader's write to the record, at a steady 2 000 reads/s (p50, p99);
//  - the raw limit: the same bytes copied from a socket to a file by a trivial reader.
//
//   loopback_bench [--reads N] [--chips N] [--latency-reads N] [--latency-rate R] [--check-ms N]
//                  [--folder DIR]
// --check-ms sets GOrvexReadMsDelta (default 1); --folder is where the detection file goes (a
// fresh folder under /tmp by default).
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chips/chip_table.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/record_detection.h"
#include "detections/result_list.h"
#include "latency_log.h"
#include "platform/tcp_socket.h"
#include "reader/box_connect.h"
#include "reader/box_worker.h"
#include "reader/orvex_box.h"
#include "simulator.h"

namespace winorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Config {
    std::uint64_t reads = 1'000'000;
    std::uint32_t chips = 10'000;
    std::uint64_t latencyReads = 10'000;
    double latencyRate = 2000;
    int checkMs = 1;
    std::string folder = "/tmp";
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::unique_ptr<sim::Simulator> StartReader(const Config& config, std::uint64_t count, double rate,
                                            const std::string& latencyLog = {}) {
    sim::Options options;
    options.model = sim::Model::kLite;
    options.port = 0;
    options.rate = rate;
    options.count = count;
    options.chip_count = config.chips;
    options.start_paused = true;
    options.latency_log = latencyLog;
    options.quiet = true;
    auto reader = std::make_unique<sim::Simulator>(options);
    std::string error;
    if (!reader->Start(&error)) {
        std::fprintf(stderr, "cannot start a simulated reader: %s\n", error.c_str());
        std::exit(1);
    }
    return reader;
}

std::unique_ptr<COrvexBox> ConnectedBox(int number, int port) {
    auto box = std::make_unique<COrvexBox>();
    box->SetBoxNumber(number);
    box->SetAddress(BoxAddress{std::to_string(number), "127.0.0.1", port});
    if (!ConnectBox(*box)) {
        std::fprintf(stderr, "box %d cannot connect\n", number);
        std::exit(1);
    }
    return box;
}

// Streams `reads` to each of `boxes` boxes at once; prints reads/s and the loss check. Returns the
// reads/s of all boxes together, 0 when a read was lost.
double Throughput(const Config& config, int boxes) {
    ClearResults();
    std::vector<std::unique_ptr<sim::Simulator>> readers;
    std::vector<std::unique_ptr<COrvexBox>> slots;
    std::vector<std::unique_ptr<BoxWorker>> workers;
    NullDetectionOutputs outputs;
    for (int i = 0; i < boxes; ++i) {
        readers.push_back(StartReader(config, config.reads, 0));
        slots.push_back(ConnectedBox(i + 1, readers.back()->port()));
        BoxWorkerServices services;
        services.outputs = &outputs;
        workers.push_back(std::make_unique<BoxWorker>(*slots.back(), services));
    }

    const auto start = Clock::now();
    for (auto& reader : readers) reader->Resume();
    std::vector<Clock::time_point> done(static_cast<std::size_t>(boxes));
    std::vector<std::uint64_t> progress(static_cast<std::size_t>(boxes), 0);
    auto lastProgress = Clock::now();
    for (int finished = 0; finished < boxes;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished = 0;
        for (std::size_t i = 0; i < workers.size(); ++i) {
            const std::uint64_t handled = workers[i]->Counts().tagReads;
            if (handled != progress[i]) lastProgress = Clock::now();
            if (handled >= config.reads && progress[i] < config.reads) done[i] = Clock::now();
            progress[i] = handled;
            finished += handled >= config.reads ? 1 : 0;
        }
        if (Clock::now() - lastProgress > std::chrono::seconds(10)) break;  // a read went missing
    }

    bool complete = true;
    double slowest = 0;
    for (std::size_t i = 0; i < workers.size(); ++i) {
        const DetectionCounters counts = workers[i]->Counts();
        const std::uint64_t sent = readers[i]->Stats()->engine.reads_sent;
        const std::uint64_t handled = counts.recorded + counts.ignored + counts.invalid;
        const bool whole = counts.tagReads == sent && handled == sent && sent == config.reads;
        complete = complete && whole;
        const double seconds = whole ? Seconds(done[i] - start) : 0;
        slowest = std::max(slowest, seconds);
        std::printf("  box %zu: sent %llu, handled %llu (recorded %llu, ignored %llu, invalid %llu)%s, %.0f reads/s\n",
                    i + 1, static_cast<unsigned long long>(sent), static_cast<unsigned long long>(handled),
                    static_cast<unsigned long long>(counts.recorded), static_cast<unsigned long long>(counts.ignored),
                    static_cast<unsigned long long>(counts.invalid), whole ? "" : "  LOST READS",
                    whole ? static_cast<double>(config.reads) / seconds : 0.0);
    }
    if (complete) {
        std::printf("  %d box%s: %.0f reads/s in all over %.2f s\n", boxes, boxes > 1 ? "es" : "",
                    static_cast<double>(config.reads) * boxes / slowest, slowest);
    }
    workers.clear();  // disconnects and joins
    ClearResults();
    return complete ? static_cast<double>(config.reads) * boxes / slowest : 0;
}

// The same bytes as a one-box run, copied from the socket into a file by a reader that does nothing
// else: the ceiling for a box worker.
double RawReader(const Config& config, const std::string& folder) {
    auto reader = StartReader(config, config.reads, 0);
    TcpSocket socket;
    if (TcpSocket::Connect("127.0.0.1", reader->port(), 2, socket) != ConnectStatus::kOk) return 0;
    const std::string path = folder + "/raw.txt";
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return 0;
    std::vector<char> buffer(64 * 1024);
    std::uint64_t lines = 0;
    const auto start = Clock::now();
    reader->Resume();
    while (lines < config.reads) {
        const ssize_t n = socket.Receive(buffer.data(), buffer.size());
        if (n <= 0) break;
        if (::write(out, buffer.data(), static_cast<std::size_t>(n)) != n) break;
        for (const char* p = buffer.data();
             (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(buffer.data() + n - p)))) !=
             nullptr;
             ++p) {
            ++lines;
        }
    }
    const double seconds = Seconds(Clock::now() - start);
    ::close(out);
    return lines == config.reads ? static_cast<double>(lines) / seconds : 0;
}

// Stamps each record (in list order) when it is forwarded, which happens under the list's lock
// right after its detection-file line is written.
class StampingOutputs final : public DetectionOutputs {
public:
    explicit StampingOutputs(std::size_t capacity) : stamps_(capacity) {}
    bool IsDirectConnected() override { return true; }
    void SendDirectLine(std::string_view) override {
        const std::size_t n = count_.fetch_add(1);
        if (n < stamps_.size()) stamps_[n] = sim::SteadyNowNs();
    }
    void AddToDetectionsPane(std::string_view, std::uint32_t, const CChrono&) override {}
    const std::vector<std::int64_t>& Stamps() const { return stamps_; }

private:
    std::vector<std::int64_t> stamps_;
    std::atomic<std::size_t> count_{0};
};

bool Latency(const Config& config, const std::string& folder) {
    ClearResults();
    const std::string logPath = folder + "/latency.log";
    auto reader = StartReader(config, config.latencyReads, config.latencyRate, logPath);
    auto box = ConnectedBox(1, reader->port());
    StampingOutputs outputs(config.latencyReads);
    BoxWorkerServices services;
    services.outputs = &outputs;
    auto worker = std::make_unique<BoxWorker>(*box, services);
    reader->Resume();
    const auto deadline = Clock::now() + std::chrono::seconds(10) +
                          std::chrono::duration<double>(static_cast<double>(config.latencyReads) / config.latencyRate);
    while (worker->Counts().tagReads < config.latencyReads && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const DetectionCounters counts = worker->Counts();
    worker.reset();
    reader->Stop();  // flushes the latency log
    // Reads are mapped to records by their order, so every one of them must have been recorded.
    if (counts.recorded != config.latencyReads) {
        std::printf("  latency: %llu of %llu reads recorded, cannot match them\n",
                    static_cast<unsigned long long>(counts.recorded),
                    static_cast<unsigned long long>(config.latencyReads));
        return false;
    }
    std::vector<double> micros;
    std::ifstream log(logPath);
    std::uint64_t seq = 0;
    std::int64_t sentNs = 0;
    while (log >> seq >> sentNs) {
        if (seq < config.latencyReads) micros.push_back(static_cast<double>(outputs.Stamps()[seq] - sentNs) / 1000.0);
    }
    if (micros.size() != config.latencyReads) {
        std::printf("  latency: %zu send times for %llu reads\n", micros.size(),
                    static_cast<unsigned long long>(config.latencyReads));
        return false;
    }
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) {
        return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
    };
    std::printf("  %llu reads at %.0f reads/s: send to record p50 %.0f us, p99 %.0f us, max %.0f us\n",
                static_cast<unsigned long long>(config.latencyReads), config.latencyRate, at(0.5), at(0.99),
                micros.back());
    ClearResults();
    return true;
}

bool ParseArguments(int argc, char** argv, Config& config) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--folder") {
            config.folder = argv[i + 1];
            continue;
        }
        const double value = std::strtod(argv[i + 1], nullptr);
        if (name == "--check-ms" && value >= 0 && value <= 20) {
            config.checkMs = static_cast<int>(value);
            continue;
        }
        if (value <= 0) return false;
        if (name == "--reads") {
            config.reads = static_cast<std::uint64_t>(value);
        } else if (name == "--chips") {
            config.chips = static_cast<std::uint32_t>(value);
        } else if (name == "--latency-reads") {
            config.latencyReads = static_cast<std::uint64_t>(value);
        } else if (name == "--latency-rate") {
            config.latencyRate = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

int Run(const Config& config) {
    std::string folderTemplate = config.folder + "/winorvex-loopback-XXXXXX";
    if (::mkdtemp(folderTemplate.data()) == nullptr) return 1;
    const std::string folder = folderTemplate;

    // A station as the operator runs it: chips translated through a table, the default filters,
    // the log file at its default level, every record written to the detection file.
    SetLanguage(Language::English);
    SetSettingsFilePath(folder + "/WinORVEX.ini");
    SetLogFilePath(folder + "/WinORVEX.log");
    ComputeRaceDays();
    Settings().readMsDelta = config.checkMs;
    {
        std::ofstream table(folder + "/OrvexTable.dtb");
        for (std::uint32_t n = 1; n <= config.chips; ++n) {
            char line[64];
            std::snprintf(line, sizeof line, "%u 0580%08X\r\n", 1000 + n, n);
            table << line;
        }
    }
    ReadChipTableFile(folder + "/OrvexTable.dtb");
    OpenDetectionFile(folder + "/detections.dat");

    std::printf("loopback: %llu reads per box, %u chips, check-ms %d, detection file in %s\n",
                static_cast<unsigned long long>(config.reads), config.chips, config.checkMs, folder.c_str());
    std::printf("raw reader (socket to file):\n");
    const double raw = RawReader(config, folder);
    std::printf("  %.0f reads/s\n", raw);
    std::printf("one box:\n");
    const double one = Throughput(config, 1);
    if (raw > 0) std::printf("  %.1f %% of the raw reader\n", 100.0 * one / raw);
    std::printf("four boxes at once:\n");
    const double four = Throughput(config, 4);
    std::printf("latency:\n");
    const bool ok = Latency(config, folder) && one > 0 && four > 0;

    CloseDetectionFile();
    SetLogFilePath("");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace winorvex::bench

int main(int argc, char** argv) {
    winorvex::bench::Config config;
    if (!winorvex::bench::ParseArguments(argc, argv, config)) {
        std::fputs(
            "usage: loopback_bench [--reads N] [--chips N] [--latency-reads N] [--latency-rate R] [--check-ms N] "
            "[--folder DIR]\n",
            stderr);
        return 2;
    }
    return winorvex::bench::Run(config);
}
