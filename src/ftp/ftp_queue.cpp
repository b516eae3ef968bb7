#include "ftp/ftp_queue.h"

#include <string>
#include <utility>

#include "core/log.h"
#include "core/texts.h"
#include "ftp/curl_ftp_session.h"

namespace winorvex {

namespace {

constexpr std::size_t kDroppedNamesShown = 20;

bool SameTransfer(const CFtpJob& a, const CFtpJob& b) {
    return a.upload == b.upload && a.localPath == b.localPath && a.remoteName == b.remoteName && a.site == b.site &&
           a.user == b.user && a.directory == b.directory;
}

}  // namespace

FtpQueue::FtpQueue(StationEventSink& sink) : sink_(sink) {}

FtpQueue::~FtpQueue() {
    StopThread(true);
}

void FtpQueue::StartFtpThread() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { Run(); });
}

bool FtpQueue::QueueFtpJob(std::unique_ptr<CFtpJob> job) {
    if (!job) return false;
    std::unique_ptr<CFtpJob> replaced;
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            for (Waiting& waiting : waiting_) {
                if (SameTransfer(*waiting.job, *job)) {
                    waiting.replacedLabels.push_back(waiting.job->label);
                    replaced = std::exchange(waiting.job, std::move(job));
                    break;
                }
            }
            if (job) waiting_.push_back(Waiting{std::move(job), {}});
        }
    }
    if (job) {
        LogF(0, Tr("## Transfert FTP [%s] non lancé : arrêt en cours", "## FTP transfer [%s] not started: stopping"),
             job->remoteName.c_str());
        return false;
    }
    wake_.notify_one();
    if (replaced) {
        LogF(20,
             Tr("+ Transfert FTP [%s] déjà en attente vers %s : remplacé par le plus récent",
                "+ FTP transfer [%s] already waiting for %s: replaced by the newer one"),
             replaced->remoteName.c_str(), replaced->label.c_str());
    }
    return true;
}

std::size_t FtpQueue::WaitingJobs() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

void FtpQueue::StopFtpTransfers() {
    StopThread(false);
}

void FtpQueue::StopThread(bool cutShort) {
    std::deque<Waiting> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(waiting_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (!dropped.empty()) {
        std::string names;
        for (std::size_t i = 0; i < dropped.size() && i < kDroppedNamesShown; ++i) {
            if (!names.empty()) names += ", ";
            names += dropped[i].job->remoteName + " [" + dropped[i].job->label + "]";
        }
        if (dropped.size() > kDroppedNamesShown) names += ", ...";
        const char* s = dropped.size() > 1 ? "s" : "";
        LogF(0, Tr("+ %d transfert%s FTP en attente abandonné%s : %s", "+ %d waiting FTP transfer%s dropped%s: %s"),
             static_cast<int>(dropped.size()), s, CurrentLanguage() == Language::French ? s : "", names.c_str());
    }
    {
        std::lock_guard lock(reportMutex_);
        muted_.store(true);
    }
    if (cutShort) cutShort_.store(true);
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return !busy_.load(); });
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void FtpQueue::Report(const FtpJobStateEvent& event) {
    std::lock_guard lock(reportMutex_);
    if (muted_.load()) return;
    sink_.OnFtpJobState(event);
}

void FtpQueue::Run() {
    FtpConnectionCache connections;
    while (true) {
        std::unique_ptr<CFtpJob> job;
        std::vector<std::string> replacedLabels;
        {
            std::unique_lock lock(mutex_);
            if (waiting_.empty() && !stopping_) {
                // Nothing more to send for now: no connection is held open while idle.
                lock.unlock();
                connections.Clear();
                lock.lock();
            }
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_) return;
            job = std::move(waiting_.front().job);
            replacedLabels = std::move(waiting_.front().replacedLabels);
            waiting_.pop_front();
            busy_.store(true);
        }
        job->SetStateReporter([this, replaced = std::move(replacedLabels)](const FtpJobStateEvent& event) {
            if (replaced.empty() || (event.state != kFtpStateDone && event.state != kFtpStateFailed)) {
                Report(event);
                return;
            }
            FtpJobStateEvent ended = event;
            ended.replacedLabels = replaced;
            Report(ended);
        });
        job->SetAbortFlag(&cutShort_);
        job->SetConnectionCache(&connections);
        if (job->upload != 0) {
            job->UploadFile();
        } else {
            job->DownloadFile();
        }
        job.reset();
        {
            std::lock_guard lock(mutex_);
            busy_.store(false);
        }
        idle_.notify_all();
    }
}

}  // namespace winorvex
