#include "export/ftp_export_uploader.h"

#include <memory>

#include "core/folders.h"
#include "ftp/ftp_job.h"
#include "ftp/ftp_queue.h"

namespace winorvex {

void UploadWatcher::OnFtpJobState(const FtpJobStateEvent& event) {
    if (event.state != kFtpStateDone && event.state != kFtpStateFailed) return;
    {
        std::lock_guard lock(mutex_);
        UploadOutcome outcome;
        outcome.remoteName = event.remoteName;
        outcome.succeeded = event.state == kFtpStateDone;
        outcome.errorText = event.errorText;
        // Uploads that this one replaced in the queue (another label for the same site and
        // folder) ended with it: each counts as ended, with this one's outcome, before it.
        for (const std::string& label : event.replacedLabels) {
            outcome.label = label;
            ended_.push_back(outcome);
        }
        outcome.label = event.label;
        ended_.push_back(std::move(outcome));
    }
    changed_.notify_all();
}

bool UploadWatcher::WaitForEnded(std::size_t count, std::chrono::milliseconds deadline,
                                 std::vector<UploadOutcome>& outcomes) {
    std::unique_lock lock(mutex_);
    const bool all = changed_.wait_for(lock, deadline, [&] { return ended_.size() >= count; });
    outcomes = ended_;
    return all;
}

int FtpExportUploader::LoadServers(std::string& errorText) {
    servers_.clear();
    LoadFtpServers(servers_, GetFtpServersFilePath(), errorText);
    return static_cast<int>(servers_.size());
}

bool FtpExportUploader::HasServer(std::string_view label) const {
    return FindFtpServer(servers_, label) != nullptr;
}

bool FtpExportUploader::QueueUpload(std::string_view label, const std::string& localPath, const std::string& remoteName,
                                    std::string& errorText) {
    const CFtpServer* server = FindFtpServer(servers_, label);
    if (server == nullptr) {
        errorText = "no FTP server [" + std::string(label) + "]";
        return false;
    }
    auto job = std::make_unique<CFtpJob>(1);
    job->SetServer(*server);
    job->SetLocalFile(localPath);
    job->SetRemoteName(remoteName);
    if (!queue_.QueueFtpJob(std::move(job))) {
        errorText = "the FTP transfers are stopped";
        return false;
    }
    ++queued_;
    return true;
}

bool FtpExportUploader::WaitForUploads(std::chrono::milliseconds deadline, std::vector<UploadOutcome>& outcomes) {
    if (watcher_ == nullptr) return false;
    return watcher_->WaitForEnded(queued_, deadline, outcomes);
}

}  // namespace winorvex
