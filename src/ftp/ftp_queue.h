#pragma once
// The background FTP transfers: jobs run one at a time, first in first out, on the queue's own
// thread. Each state change of a running job is posted to the station's sink as a copied value;
// the thread never waits for the station. A failed job is reported and dropped, never retried.
//
// Threads: any thread may queue; the station calls Start/Stop. The queue's lock is held only to add
// or take a job, never during a transfer.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/station_events.h"
#include "ftp/ftp_job.h"

namespace winorvex {

class FtpQueue {
public:
    explicit FtpQueue(StationEventSink& sink);
    // Drops waiting jobs, cuts a running transfer short, joins the thread.
    ~FtpQueue();
    FtpQueue(const FtpQueue&) = delete;
    FtpQueue& operator=(const FtpQueue&) = delete;

    void StartFtpThread();
    // The queue owns the job from now on. A job for the same local file, server, folder and remote
    // name as one still waiting takes that one's place (a periodic export never piles up copies,
    // two labels for one site and folder send the file once). The replaced job ends with its
    // replacement: the replacement's end report names it in replacedLabels, so whoever waits for
    // the replaced job's end is not left waiting.
    // Returns false (the job is dropped, with a log line) once StopFtpTransfers has been called.
    bool QueueFtpJob(std::unique_ptr<CFtpJob> job);
    // At exit: drops every waiting job (logged by name), lets a running transfer finish without
    // reporting anything more, then ends the thread.
    void StopFtpTransfers();

    bool IsBusy() const { return busy_.load(); }
    std::size_t WaitingJobs() const;

private:
    void Run();
    void Report(const FtpJobStateEvent& event);
    void StopThread(bool cutShort);

    StationEventSink& sink_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    struct Waiting {
        std::unique_ptr<CFtpJob> job;
        std::vector<std::string> replacedLabels;  // of the jobs it took the place of, oldest first
    };
    std::deque<Waiting> waiting_;
    bool stopping_ = false;
    std::atomic<bool> busy_{false};
    std::mutex reportMutex_;  // a report and the mute never cross: nothing is posted after a stop
    std::atomic<bool> muted_{false};
    std::atomic<bool> cutShort_{false};
    std::thread thread_;  // last: started after, joined before, everything above
};

}  // namespace winorvex
