#pragma once
// The export's uploads over the FTP queue: the server list from "FtpServers.dat", one upload job
// per file and server on the queue's thread. A tool that must know how the uploads ended gives
// an UploadWatcher, which the queue's state reports reach.
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "core/station_events.h"
#include "export/export_uploader.h"
#include "ftp/ftp_servers.h"

namespace winorvex {

class FtpQueue;

// Collects the end of every upload the queue reports (any thread).
class UploadWatcher : public NullStationEventSink {
public:
    void OnFtpJobState(const FtpJobStateEvent& event) override;
    // Waits until `count` uploads ended or the deadline; the ended ones, in the order they ended.
    bool WaitForEnded(std::size_t count, std::chrono::milliseconds deadline, std::vector<UploadOutcome>& outcomes);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<UploadOutcome> ended_;
};

class FtpExportUploader final : public ExportUploader {
public:
    // watcher: the sink the queue reports to, when the caller waits for the uploads (tools).
    explicit FtpExportUploader(FtpQueue& queue, UploadWatcher* watcher = nullptr) : queue_(queue), watcher_(watcher) {}

    int LoadServers(std::string& errorText) override;
    bool HasServer(std::string_view label) const override;
    bool QueueUpload(std::string_view label, const std::string& localPath, const std::string& remoteName,
                     std::string& errorText) override;
    bool WaitForUploads(std::chrono::milliseconds deadline, std::vector<UploadOutcome>& outcomes) override;

private:
    FtpQueue& queue_;
    UploadWatcher* watcher_;
    std::vector<CFtpServer> servers_;
    std::size_t queued_ = 0;
};

}  // namespace winorvex
