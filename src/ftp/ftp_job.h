#pragma once
// One FTP transfer. A job is filled on the thread that makes it, then either handed to the FTP
// queue (which owns it from then on and runs it on its thread) or run directly by its maker; in
// both cases one thread at a time touches it. State changes go to the reporter as copied values.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "core/station_events.h"
#include "ftp/ftp_servers.h"
#include "ftp/ftp_timeouts.h"

namespace winorvex {

class FtpConnectionCache;
namespace ftp_detail {
class CurlFtpSession;
struct FtpConnectParams;
struct RenameEnd;
}  // namespace ftp_detail

inline constexpr int kFtpStateCreated = 0;
inline constexpr int kFtpStateStarted = 1;
inline constexpr int kFtpStateTransferring = 2;
inline constexpr int kFtpStateDone = 3;
inline constexpr int kFtpStateFailed = 6;

// Results of UploadFile and DownloadFile.
inline constexpr int kFtpResultOk = 0;
inline constexpr int kFtpResultFailed = 1;        // described by errorText
inline constexpr int kFtpResultNoLocalFile = -1;  // upload only
inline constexpr int kFtpResultNoConnection = -2;
inline constexpr int kFtpResultNoFolder = -3;

// Upload temporary name suffix: the file shows under its final name only when complete.
inline constexpr const char* kFtpLockSuffix = ".lock";

class CFtpJob {
public:
    using StateReporter = std::function<void(const FtpJobStateEvent&)>;

    // upload: 1 upload, 0 download. Reads "FtpSettings" BPutInPassiveMode / BGetInPassiveMode.
    explicit CFtpJob(int upload);
    virtual ~CFtpJob() = default;

    void SetServer(const CFtpServer& server);
    void SetServerTexts(const std::string& label, const std::string& site, const std::string& user,
                        const std::string& password, const std::string& directory);
    // Sets localPath, binaryLocalFile = 1 and fileSize (0 when the file cannot be examined).
    void SetLocalFile(const std::string& path);
    void SetRemoteName(const std::string& name);

    // Run on the calling thread. 0 success, 1 failure (errorText), -1 local file missing or
    // unreadable (upload), -2 no connection, -3 remote folder not entered.
    int UploadFile();
    int DownloadFile();

    // Who hears of each state change; empty: nobody. Called on the thread running the job.
    void SetStateReporter(StateReporter reporter) { reporter_ = std::move(reporter); }
    // When set and raised by another thread, a running transfer ends soon as failed.
    void SetAbortFlag(const std::atomic<bool>* abortFlag) { abortFlag_ = abortFlag; }
    void SetTimeouts(const FtpTimeouts& timeouts) { timeouts_ = timeouts; }
    // When set, the job uses (and leaves open) the cache's connection to the same server.
    void SetConnectionCache(FtpConnectionCache* cache) { connections_ = cache; }
    const FtpTimeouts& Timeouts() const { return timeouts_; }

    // The job's state as the value reports carry.
    FtpJobStateEvent StateEvent() const;

    std::string localPath;
    std::string remoteName;   // a plain file name inside `directory`
    int binaryLocalFile = 1;  // no difference between binary and text reads on this system
    std::string label;
    std::string site;
    std::string user;
    std::string password;
    std::string directory;  // leading "/": from the server's root; else from the login folder
    std::int64_t fileSize = 0;
    // Download: fewer bytes than this is a failure, and the local file is left as it was (a file
    // that grows on the server may give more). 0: no check.
    std::int64_t minimumDownloadSize = 0;
    std::int64_t bytesDone = 0;
    std::string errorText;
    int state = kFtpStateCreated;
    int upload = 1;
    std::uint32_t startTick = 0;
    int putPassive = 1;
    int getPassive = 1;

private:
    void SetState(int newState);
    int Fail(int result, std::string text);
    // Once the server holds the whole file under the temporary name and the rename after it
    // ended as `end` says, other than done.
    int PlaceUpload(ftp_detail::CurlFtpSession& session, const ftp_detail::FtpConnectParams& params,
                    ftp_detail::RenameEnd end, const std::string& folderUrl, const std::string& lockName);

    StateReporter reporter_;
    const std::atomic<bool>* abortFlag_ = nullptr;
    FtpTimeouts timeouts_;
    FtpConnectionCache* connections_ = nullptr;
};

// Milliseconds of a steady clock, wrapping at 32 bits.
std::uint32_t FtpTickCount();

}  // namespace winorvex
