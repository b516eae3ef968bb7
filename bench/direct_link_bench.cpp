// The direct connection to the results program on loopback, against the simulated results
// program (which answers every detection with a runner record):
//  - the cost of SendDirectLine for a box worker (it runs under the result list's lock);
//  - the sustained rate of detections through the link with their answers back, checking that
//    the results program received each one exactly once.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "core/station_events.h"
#include "results_link/direct_connection.h"
#include "results_link/results_line.h"
#include "results_sim.h"

namespace winorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Counts the answers; decodes each as the station would, so the answer path is measured too.
class CountingSink : public NullStationEventSink {
public:
    void OnDirectLinkState(const DirectLinkStateEvent& event) override {
        std::lock_guard lock(mutex_);
        if (event.state == DirectLinkState::Connected) connected_ = true;
        changed_.notify_all();
    }
    void OnDirectLine(const DirectLineEvent& event) override {
        const ResultsLineOutcome outcome = DecodeResultsLine(event.line);
        std::lock_guard lock(mutex_);
        ++lines_;
        if (outcome.kind != ResultsLineKind::RunnerRecord) ++undecoded_;
        changed_.notify_all();
    }
    bool WaitConnected() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return connected_; });
    }
    bool WaitLines(std::uint64_t count, std::chrono::seconds deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return lines_ >= count; });
    }
    std::uint64_t Undecoded() {
        std::lock_guard lock(mutex_);
        return undecoded_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = false;
    std::uint64_t lines_ = 0;
    std::uint64_t undecoded_ = 0;
};

struct Rig {
    results_sim::Options options;
    std::unique_ptr<results_sim::ResultsSimulator> sim;
    CountingSink sink;
    std::unique_ptr<DirectConnection> link;

    bool Start() {
        options.port = 0;
        options.quiet = true;
        options.generatedRunners = 5000;
        sim = std::make_unique<results_sim::ResultsSimulator>(options);
        std::string error;
        if (!sim->Start(error)) return false;
        link = std::make_unique<DirectConnection>(sink);
        link->StartDirectConnection("127.0.0.1", sim->port(), 1);
        return sink.WaitConnected();
    }
};

std::string DetectionLine(std::uint64_t i) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "AddRixClock(1\tARR\t%llu\t1\t%02llu:%02llu:%02llu.%02llu)",
                  static_cast<unsigned long long>(i % 5000 + 1), static_cast<unsigned long long>(i / 360000 % 24),
                  static_cast<unsigned long long>(i / 6000 % 60), static_cast<unsigned long long>(i / 100 % 60),
                  static_cast<unsigned long long>(i % 100));
    return buffer;
}

// One call as a box worker makes it, the link writing and the simulator answering meanwhile.
void BM_SendDirectLine(benchmark::State& state) {
    Rig rig;
    if (!rig.Start()) {
        state.SkipWithError("no link");
        return;
    }
    const std::string line = DetectionLine(1);
    std::uint64_t refused = 0;
    for (auto _ : state) {
        if (!rig.link->SendDirectLine(line)) ++refused;
    }
    state.counters["refused"] = static_cast<double>(refused);
}
BENCHMARK(BM_SendDirectLine)->Iterations(50000);

// Detections through the link and their answers back, decoded; every one counted once.
void BM_RoundTrip(benchmark::State& state) {
    const auto count = static_cast<std::uint64_t>(state.range(0));
    for (auto _ : state) {
        Rig rig;
        if (!rig.Start()) {
            state.SkipWithError("no link");
            return;
        }
        const auto start = Clock::now();
        for (std::uint64_t i = 0; i < count; ++i) {
            while (!rig.link->SendDirectLine(DetectionLine(i))) std::this_thread::yield();
        }
        if (!rig.sink.WaitLines(count, std::chrono::seconds(120))) {
            state.SkipWithError("answers missing");
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const results_sim::Counts counts = rig.sim->GetCounts();
        if (counts.detections != count || counts.distinct != count || counts.duplicates != 0 ||
            rig.sink.Undecoded() != 0) {
            state.SkipWithError("a detection was lost, duplicated or not decoded");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["detections_per_s"] = static_cast<double>(count) / seconds;
    }
}
BENCHMARK(BM_RoundTrip)->Arg(100000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace winorvex::bench

BENCHMARK_MAIN();
