#include "tool_uploader.h"

#include "export/ftp_export_uploader.h"
#include "ftp/ftp_queue.h"

namespace winorvex::exporttool {

namespace {

// The tool's own FTP thread, and what it reports, behind the export's uploader.
class ToolUploader final : public ExportUploader {
public:
    ToolUploader() : queue_(watcher_), uploader_(queue_, &watcher_) { queue_.StartFtpThread(); }

    int LoadServers(std::string& errorText) override { return uploader_.LoadServers(errorText); }
    bool HasServer(std::string_view label) const override { return uploader_.HasServer(label); }
    bool QueueUpload(std::string_view label, const std::string& localPath, const std::string& remoteName,
                     std::string& errorText) override {
        return uploader_.QueueUpload(label, localPath, remoteName, errorText);
    }
    bool WaitForUploads(std::chrono::milliseconds deadline, std::vector<UploadOutcome>& outcomes) override {
        return uploader_.WaitForUploads(deadline, outcomes);
    }

private:
    UploadWatcher watcher_;
    FtpQueue queue_;  // after the watcher it reports to; joined before it goes
    FtpExportUploader uploader_;
};

}  // namespace

std::unique_ptr<ExportUploader> MakeToolUploader() {
    return std::make_unique<ToolUploader>();
}

}  // namespace winorvex::exporttool
