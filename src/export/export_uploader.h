#pragma once
// What an export needs of the FTP subsystem: the server list, a look-up by label, and the
// queueing of one upload. The station's implementation sits over ftp/ (LoadFtpServers,
// FindFtpServer, CFtpJob, QueueFtpJob); tests use a recording fake. Called on the thread that
// runs the export.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

// How one queued upload ended.
struct UploadOutcome {
    std::string label;
    std::string localPath;
    std::string remoteName;
    bool succeeded = false;
    std::string errorText;  // when it failed
};

class ExportUploader {
public:
    virtual ~ExportUploader() = default;

    // Reads the server list ("FtpServers.dat") afresh. Returns the number of servers read;
    // errorText says why when the list could not be read ("File does not exist").
    virtual int LoadServers(std::string& errorText) = 0;

    // True when the last loaded list has a server with this label, white space around the given
    // label ignored; the comparison is exact otherwise (case counts).
    virtual bool HasServer(std::string_view label) const = 0;

    // Queues the upload of localPath, stored on the server of this label as remoteName (a plain
    // file name). The job takes the server's values as they are now. False, with errorText,
    // when it could not be queued.
    virtual bool QueueUpload(std::string_view label, const std::string& localPath, const std::string& remoteName,
                             std::string& errorText) = 0;

    // For tools: waits until every upload queued through this object has ended, or the deadline.
    // outcomes receives the ended ones in queue order; true when all of them ended.
    virtual bool WaitForUploads(std::chrono::milliseconds deadline, std::vector<UploadOutcome>& outcomes) = 0;
};

// "FTP not available in this build": what an export reports while no uploader exists.
const char* FtpUnavailableText();

}  // namespace winorvex
