#include "ftp/curl_ftp_session.h"

#include <mutex>

namespace winorvex::ftp_detail {

namespace {

void EnsureCurlGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

constexpr long kMaxPollMs = 10;

// Commands a client may send before it is logged in; any other one means the login went through.
bool IsLoginCommand(std::string_view verb) {
    return verb == "USER" || verb == "PASS" || verb == "ACCT" || verb == "AUTH" || verb == "PBSZ" || verb == "PROT";
}

void KeepPrintable(std::string& text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
}

}  // namespace

CurlFtpSession::CurlFtpSession(const FtpConnectParams& params) : params_(params) {
    EnsureCurlGlobalInit();
    curl_ = curl_easy_init();
    // The multi handle holds the open connection between this session's transfers.
    multi_ = curl_multi_init();
    if (curl_ != nullptr) ApplyBaseOptions();
}

void CurlFtpSession::ApplyBaseOptions() {
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_);
    // Credentials go through options, never through the URL (which curl may show in its texts).
    if (!params_.user.empty()) {
        curl_easy_setopt(curl_, CURLOPT_USERNAME, params_.user.c_str());
        curl_easy_setopt(curl_, CURLOPT_PASSWORD, params_.password.c_str());
    }
    if (!params_.passive) curl_easy_setopt(curl_, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(curl_, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, params_.timeouts.connectTimeoutMs);
    curl_easy_setopt(curl_, CURLOPT_ACCEPTTIMEOUT_MS, params_.timeouts.connectTimeoutMs);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, params_.timeouts.lowSpeedLimitBytesPerS);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, params_.timeouts.lowSpeedTimeS);
    curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT, params_.timeouts.lowSpeedTimeS);
    // The debug stream is the only place curl shows the commands it sends and the replies.
    curl_easy_setopt(curl_, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, &CurlFtpSession::OnDebug);
    curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, &CurlFtpSession::OnProgress);
    curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, this);
    // Nothing a server sends lands on standard output unless a transfer asks for it.
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &CurlFtpSession::Discard);
}

std::size_t CurlFtpSession::Discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

bool CurlFtpSession::Serves(const FtpConnectParams& params) const {
    return curl_ != nullptr && params.site == params_.site && params.user == params_.user &&
           params.password == params_.password && params.passive == params_.passive &&
           params.timeouts.connectTimeoutMs == params_.timeouts.connectTimeoutMs &&
           params.timeouts.lowSpeedTimeS == params_.timeouts.lowSpeedTimeS &&
           params.timeouts.lowSpeedLimitBytesPerS == params_.timeouts.lowSpeedLimitBytesPerS &&
           params.abortFlag == params_.abortFlag;
}

void CurlFtpSession::PrepareNextTransfer() {
    if (curl_ == nullptr) return;
    // Resets every option but keeps the open connection for the next job.
    curl_easy_reset(curl_);
    quote_.reset();
    preQuote_.reset();
    postQuote_.reset();
    observer_ = nullptr;
    ApplyBaseOptions();
}

CurlFtpSession::~CurlFtpSession() {
    if (curl_ != nullptr) curl_easy_cleanup(curl_);
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

CurlFtpSession::Slist CurlFtpSession::MakeList(const std::vector<std::string>& commands) {
    curl_slist* list = nullptr;
    for (const std::string& command : commands) {
        curl_slist* grown = curl_slist_append(list, command.c_str());
        if (grown == nullptr) break;
        list = grown;
    }
    return Slist(list);
}

void CurlFtpSession::SetCommands(std::vector<std::string> beforeFolder, std::vector<std::string> beforeTransfer,
                                 std::vector<std::string> afterTransfer) {
    quote_ = MakeList(beforeFolder);
    preQuote_ = MakeList(beforeTransfer);
    postQuote_ = MakeList(afterTransfer);
    curl_easy_setopt(curl_, CURLOPT_QUOTE, quote_.get());
    curl_easy_setopt(curl_, CURLOPT_PREQUOTE, preQuote_.get());
    curl_easy_setopt(curl_, CURLOPT_POSTQUOTE, postQuote_.get());
}

void CurlFtpSession::ResetTracking() {
    errorBuffer_[0] = '\0';
    // On a kept connection the first command is past the login; on a new one the login comes first.
    loggedIn_ = false;
    cwdSent_ = false;
    lastCommand_.clear();
    lastCommandReply_ = 0;
    closing_ = false;
}

CURLcode CurlFtpSession::Perform(const std::string& url) {
    if (curl_ == nullptr || multi_ == nullptr) return CURLE_FAILED_INIT;
    ResetTracking();
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    if (curl_multi_add_handle(multi_, curl_) != CURLM_OK) return CURLE_FAILED_INIT;
    // Nothing counts as done until curl says so.
    CURLcode result = CURLE_FAILED_INIT;
    while (true) {
        int running = 0;
        const CURLMcode step = curl_multi_perform(multi_, &running);
        bool done = false;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl_) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || step != CURLM_OK || running == 0) break;
        // After a quick reply libcurl may go on to the data connection without arming a timer, and
        // a poll on its own timeout would then sit a whole second per transfer: look again soon.
        curl_multi_poll(multi_, nullptr, 0, kMaxPollMs, nullptr);
    }
    curl_multi_remove_handle(multi_, curl_);
    return result;
}

long CurlFtpSession::LastReplyCode() const {
    long code = 0;
    if (curl_ != nullptr) curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

bool CurlFtpSession::Aborted() const {
    return params_.abortFlag != nullptr && params_.abortFlag->load();
}

std::string CurlFtpSession::Describe(CURLcode code, std::size_t maxLength) const {
    std::string text = errorBuffer_[0] != '\0' ? std::string(errorBuffer_) : std::string(curl_easy_strerror(code));
    const long reply = LastReplyCode();
    if (!lastCommand_.empty() && reply >= 400) {
        text += " (" + lastCommand_ + " : " + std::to_string(reply) + ")";
    }
    KeepPrintable(text);
    if (text.size() > maxLength) text.resize(maxLength);
    return text;
}

FtpFailurePoint CurlFtpSession::FailurePoint() const {
    if (!loggedIn_) return FtpFailurePoint::Login;
    if (lastCommand_ == "CWD") return FtpFailurePoint::ChangeFolder;
    if (lastCommand_ == "PWD") return cwdSent_ ? FtpFailurePoint::CurrentFolder2 : FtpFailurePoint::CurrentFolder1;
    return FtpFailurePoint::Other;
}

int CurlFtpSession::OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
    auto* session = static_cast<CurlFtpSession*>(self);
    std::string_view line(data, size);
    if (type == CURLINFO_HEADER_IN) {
        session->NoteReplyLine(line);
        return 0;
    }
    if (type != CURLINFO_HEADER_OUT) return 0;
    const auto verbEnd = line.find_first_of(" \r\n");
    const std::string_view verb = line.substr(0, verbEnd);
    // Closing commands come after the failure they would hide.
    if (verb == "QUIT" || verb == "ABOR") {
        session->closing_ = true;
        return 0;
    }
    session->closing_ = false;
    session->lastCommandReply_ = 0;
    session->lastCommand_.assign(verb);
    if (!IsLoginCommand(verb)) session->loggedIn_ = true;
    if (verb == "CWD") session->cwdSent_ = true;
    if (session->observer_) session->observer_(verb);
    return 0;
}

void CurlFtpSession::NoteReplyLine(std::string_view line) {
    // "ddd text" ends a reply; "ddd-text" and indented lines continue a multi-line one.
    if (closing_ || line.size() < 3) return;
    for (std::size_t i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '\r' && line[3] != '\n') return;
    lastCommandReply_ = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

int CurlFtpSession::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CurlFtpSession*>(self)->Aborted() ? 1 : 0;
}

std::string EncodeUrlSegment(std::string_view segment) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(segment.size() * 3);
    for (const char c : segment) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                                byte == '~';
        if (unreserved) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0f]);
        }
    }
    return out;
}

std::string FolderUrl(std::string_view site, std::string_view folder) {
    std::string url = "ftp://";
    url.append(site).append("/");
    if (!folder.empty() && folder.front() == '/') url.append("%2F");
    std::size_t start = 0;
    bool any = false;
    while (start <= folder.size()) {
        auto end = folder.find('/', start);
        if (end == std::string_view::npos) end = folder.size();
        if (end > start) {
            if (any) url.push_back('/');
            url.append(EncodeUrlSegment(folder.substr(start, end - start)));
            any = true;
        }
        start = end + 1;
    }
    if (url.back() != '/') url.push_back('/');
    return url;
}

bool IsUsableSite(std::string_view site) {
    if (site.empty()) return false;
    for (const char c : site) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) return false;
        if (c == '/' || c == '\\' || c == '?' || c == '#' || c == '@' || c == '%') return false;
    }
    return true;
}

std::string SiteForText(std::string_view site) {
    const auto at = site.rfind('@');
    std::string text(at == std::string_view::npos ? site : site.substr(at + 1));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == ".") return false;
    if (name.find("..") != std::string_view::npos) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '/' || c == '\\') return false;
    }
    return true;
}

}  // namespace winorvex::ftp_detail

namespace winorvex {

FtpConnectionCache::FtpConnectionCache() = default;
FtpConnectionCache::~FtpConnectionCache() = default;

ftp_detail::CurlFtpSession& FtpConnectionCache::Acquire(const ftp_detail::FtpConnectParams& params) {
    if (session_ && session_->Serves(params)) {
        session_->PrepareNextTransfer();
    } else {
        session_.reset();
        session_ = std::make_unique<ftp_detail::CurlFtpSession>(params);
    }
    return *session_;
}

void FtpConnectionCache::Clear() {
    session_.reset();
}

}  // namespace winorvex
