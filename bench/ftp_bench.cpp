// FTP transfers against the pyftpdlib test server on 127.0.0.1: queued small uploads per second,
// one large streamed upload (throughput and peak memory), and the delay from QueueFtpJob on an
// idle queue to the job's start. Prints one line per figure.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/station_events.h"
#include "ftp/ftp_job.h"
#include "ftp/ftp_queue.h"
#include "ftp/pyftpd_server.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace winorvex;

namespace {

class TimingSink : public NullStationEventSink {
public:
    void OnFtpJobState(const FtpJobStateEvent& event) override {
        std::lock_guard lock(mutex_);
        if (event.state == kFtpStateStarted) lastStart_ = Clock::now();
        if (event.state == kFtpStateDone || event.state == kFtpStateFailed) {
            ++finished_;
            if (event.state == kFtpStateFailed) ++failed_;
            changed_.notify_all();
        }
    }
    bool WaitFinished(int count, std::chrono::seconds deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return finished_ >= count; });
    }
    Clock::time_point LastStart() {
        std::lock_guard lock(mutex_);
        return lastStart_;
    }
    int Failed() {
        std::lock_guard lock(mutex_);
        return failed_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int finished_ = 0;
    int failed_ = 0;
    Clock::time_point lastStart_;
};

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

std::unique_ptr<CFtpJob> Job(const test::PyFtpServer& server, const std::string& localPath, const std::string& name) {
    auto job = std::make_unique<CFtpJob>(1);
    job->SetServerTexts("Bench", server.Site(), "tester", "secret", "");
    job->SetLocalFile(localPath);
    job->SetRemoteName(name);
    return job;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
    ::unsetenv("ftp_proxy");
    ::unsetenv("FTP_PROXY");
    ::unsetenv("all_proxy");
    ::unsetenv("ALL_PROXY");
    const fs::path scratch = fs::temp_directory_path() / ("winorvex-ftp-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch / "root");
    fs::create_directories(scratch / "local");
    test::PyFtpServer server;
    std::string whyNot;
    if (!server.Start((scratch / "root").string(), {}, whyNot)) {
        std::fprintf(stderr, "ftp_bench: %s\n", whyNot.c_str());
        fs::remove_all(scratch);
        return 1;
    }

    // 1 000 queued uploads of 1 KiB.
    {
        const std::string small = (scratch / "local" / "small.txt").string();
        std::ofstream(small, std::ios::binary) << std::string(1024, 's');
        TimingSink sink;
        FtpQueue queue(sink);
        constexpr int kJobs = 1000;
        for (int i = 0; i < kJobs; ++i) queue.QueueFtpJob(Job(server, small, "small-" + std::to_string(i) + ".txt"));
        const auto start = Clock::now();
        queue.StartFtpThread();
        if (!sink.WaitFinished(kJobs, std::chrono::seconds(600))) std::printf("small uploads: not all finished\n");
        const double s = Seconds(Clock::now() - start);
        std::printf("1000 uploads of 1 KiB: %.2f s, %.0f jobs/s, %d failed\n", s, kJobs / s, sink.Failed());
        int arrived = 0;
        for (const auto& entry : fs::directory_iterator(scratch / "root")) {
            arrived += entry.path().filename().string().rfind("small-", 0) == 0 && entry.file_size() == 1024 ? 1 : 0;
        }
        std::printf("small uploads on the server, 1 KiB each: %d\n", arrived);
    }

    // Delay from QueueFtpJob on an idle queue to the job's start.
    {
        const std::string small = (scratch / "local" / "small.txt").string();
        TimingSink sink;
        FtpQueue queue(sink);
        queue.StartFtpThread();
        std::vector<double> delaysUs;
        for (int i = 0; i < 50; ++i) {
            const auto queued = Clock::now();
            queue.QueueFtpJob(Job(server, small, "idle-" + std::to_string(i) + ".txt"));
            sink.WaitFinished(i + 1, std::chrono::seconds(30));
            delaysUs.push_back(std::chrono::duration<double, std::micro>(sink.LastStart() - queued).count());
        }
        std::sort(delaysUs.begin(), delaysUs.end());
        std::printf("idle queue to job start (50 jobs): median %.0f us, max %.0f us\n", delaysUs[delaysUs.size() / 2],
                    delaysUs.back());
    }

    // One 200 MiB upload, streamed.
    {
        const std::string big = (scratch / "local" / "big.bin").string();
        {
            std::ofstream out(big, std::ios::binary);
            const std::string block(1 << 20, 'b');
            for (int i = 0; i < 200; ++i) out << block;
        }
        const long rssBefore = PeakRssKiB();
        auto job = Job(server, big, "big.bin");
        const auto start = Clock::now();
        const int result = job->UploadFile();
        const double s = Seconds(Clock::now() - start);
        const long rssAfter = PeakRssKiB();
        std::error_code ec;
        const auto arrived = fs::file_size(scratch / "root" / "big.bin", ec);
        std::printf("200 MiB upload arrived whole: %s (%llu bytes)\n", arrived == (200u << 20) ? "yes" : "NO",
                    static_cast<unsigned long long>(arrived));
        std::printf(
            "one 200 MiB upload: result %d, %.2f s, %.1f MB/s (MiB/s %.1f), peak RSS %ld KiB before, %ld KiB after\n",
            result, s, 200.0 * 1.048576 / s, 200.0 / s, rssBefore, rssAfter);
    }

    server.Stop();
    fs::remove_all(scratch);
    return 0;
}
