#pragma once
// One FTP connection over libcurl for one job (internal to ftp/). It keeps what the job needs to
// tell its failures apart: whether the login went through, the last command sent (its verb only:
// the argument of PASS is never kept) and the server's last reply code.
//
// Owned and used by one thread at a time.
#include <curl/curl.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftp_timeouts.h"

namespace winorvex::ftp_detail {

struct FtpConnectParams {
    std::string site;
    std::string user;      // empty: anonymous
    std::string password;  // never put into a URL, a log line or an error text
    bool passive = true;
    FtpTimeouts timeouts;
    const std::atomic<bool>* abortFlag = nullptr;  // set from another thread: the transfer ends soon
};

// Where a failed perform stopped.
enum class FtpFailurePoint {
    Login,           // before or during the login: no connection
    CurrentFolder1,  // PWD before changing folder
    ChangeFolder,    // CWD
    CurrentFolder2,  // PWD after changing folder
    Other,           // transfer, rename, delete ...
};

class CurlFtpSession {
public:
    explicit CurlFtpSession(const FtpConnectParams& params);
    ~CurlFtpSession();
    CurlFtpSession(const CurlFtpSession&) = delete;
    CurlFtpSession& operator=(const CurlFtpSession&) = delete;

    bool IsValid() const { return curl_ != nullptr && multi_ != nullptr; }
    // True when a job with these parameters may use this session (and its open connection).
    bool Serves(const FtpConnectParams& params) const;
    // Forgets the last transfer's options and commands; the connection stays open.
    void PrepareNextTransfer();
    CURL* Handle() const { return curl_; }

    // Commands around the transfer: before changing folder, after it (just before the transfer),
    // after the transfer. A leading "*" lets a command fail without failing the perform.
    void SetCommands(std::vector<std::string> beforeFolder, std::vector<std::string> beforeTransfer,
                     std::vector<std::string> afterTransfer);
    CURLcode Perform(const std::string& url);
    // Called with the verb of every command sent (on the performing thread).
    void SetCommandObserver(std::function<void(std::string_view verb)> observer) { observer_ = std::move(observer); }

    bool LoggedIn() const { return loggedIn_; }
    bool FolderChanged() const { return cwdSent_; }
    const std::string& LastCommand() const { return lastCommand_; }
    long LastReplyCode() const;
    // The server's final reply to the last command sent; 0 when none came (the connection dropped
    // or the wait ran out), which says nothing of whether the server carried the command out.
    long LastCommandReply() const { return lastCommandReply_; }
    bool Aborted() const;
    // curl's own description of the failure (its error buffer, else the code's text), with the
    // failing command and the server's reply code when there is one; at most maxLength characters.
    std::string Describe(CURLcode code, std::size_t maxLength) const;
    FtpFailurePoint FailurePoint() const;

private:
    static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self);
    void NoteReplyLine(std::string_view line);
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    void ResetTracking();
    void ApplyBaseOptions();
    static std::size_t Discard(char*, std::size_t size, std::size_t count, void*);

    struct SlistDeleter {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };
    using Slist = std::unique_ptr<curl_slist, SlistDeleter>;
    static Slist MakeList(const std::vector<std::string>& commands);

    FtpConnectParams params_;
    CURL* curl_ = nullptr;
    CURLM* multi_ = nullptr;
    Slist quote_, preQuote_, postQuote_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
    bool loggedIn_ = false;
    bool cwdSent_ = false;
    std::string lastCommand_;
    long lastCommandReply_ = 0;
    bool closing_ = false;  // QUIT or ABOR sent: their replies answer no tracked command
    std::function<void(std::string_view)> observer_;
};

// Encodes one path segment for a URL (every byte outside the unreserved set).
std::string EncodeUrlSegment(std::string_view segment);
// "ftp://site/" followed by the folder's segments, each encoded, and a "/". A folder with a leading
// "/" is taken from the server's root ("%2F"), any other from the login folder.
std::string FolderUrl(std::string_view site, std::string_view folder);
// A host name or address, optionally ":port" or an [IPv6] form; nothing that could change the URL.
bool IsUsableSite(std::string_view site);
// The site as error texts show it: nothing before an "@" (a user and password typed into it),
// control characters as "?".
std::string SiteForText(std::string_view site);
// One plain file name: not empty, no "/", "\", no ".." or "." alone, no control character.
bool IsPlainFileName(std::string_view name);

}  // namespace winorvex::ftp_detail

namespace winorvex {

// Keeps the last job's FTP session open for the next job to the same server, so a run of queued
// uploads logs in once. Owned by the thread that runs the jobs.
class FtpConnectionCache {
public:
    FtpConnectionCache();
    ~FtpConnectionCache();
    FtpConnectionCache(const FtpConnectionCache&) = delete;
    FtpConnectionCache& operator=(const FtpConnectionCache&) = delete;

    // The kept session when it serves these parameters (made ready for a new transfer), else a new one.
    ftp_detail::CurlFtpSession& Acquire(const ftp_detail::FtpConnectParams& params);
    // Closes the kept connection (QUIT).
    void Clear();

private:
    std::unique_ptr<ftp_detail::CurlFtpSession> session_;
};

}  // namespace winorvex
