#include "ftp/ftp_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

#include "core/file_utils.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "core/unique_fd.h"
#include "ftp/curl_ftp_session.h"
#include "ftp/ftp_list_parse.h"

namespace winorvex {

using ftp_detail::CurlFtpSession;
using ftp_detail::FtpConnectParams;
using ftp_detail::FtpFailurePoint;

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::size_t kUploadDescriptionMax = 254;
constexpr std::size_t kDownloadDescriptionMax = 1024;

// A name as it may appear in an error text: control characters shown as "?".
std::string Printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return out;
}

std::string RefusedNameText(const std::string& name) {
    return Format(Tr("Nom de fichier distant refusé : %s", "Remote file name refused: %s"), Printable(name).c_str());
}

// The number the folder texts carry: the server's refusal when there is one, else curl's code.
long FolderErrorNumber(const CurlFtpSession& session, CURLcode code) {
    const long reply = session.LastReplyCode();
    return reply >= 400 ? reply : static_cast<long>(code);
}

// The folder-step text for a failure, or empty when the failure was not in those steps.
std::string FolderStepText(const CurlFtpSession& session, CURLcode code, bool folderGiven) {
    if (!folderGiven) return {};
    const long number = FolderErrorNumber(session, code);
    const auto n = static_cast<int>(number);
    const auto x = static_cast<unsigned>(number);
    switch (session.FailurePoint()) {
        case FtpFailurePoint::CurrentFolder1:
            return Format("GetCurrentDirectory (1) Error: %d (0x%X)", n, x);
        case FtpFailurePoint::ChangeFolder:
            return Format("SetCurrentDirectory Error: %d (0x%X)", n, x);
        case FtpFailurePoint::CurrentFolder2:
            return Format("GetCurrentDirectory (2) Error: %d (0x%X)", n, x);
        default:
            return {};
    }
}

const char* CutShortText() {
    return Tr("Transfert interrompu", "Transfer cut short");
}

struct UploadSource {
    int fd = -1;
    CFtpJob* job = nullptr;
    bool readError = false;
};

std::size_t ReadLocalFile(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* source = static_cast<UploadSource*>(user);
    while (true) {
        const ssize_t n = ::read(source->fd, buffer, size * count);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            source->readError = true;
            return CURL_READFUNC_ABORT;
        }
        source->job->bytesDone += n;
        return static_cast<std::size_t>(n);
    }
}

struct DownloadTarget {
    int fd = -1;
    CFtpJob* job = nullptr;
    bool writeError = false;
};

std::size_t WriteLocalFile(char* data, std::size_t size, std::size_t count, void* user) {
    auto* target = static_cast<DownloadTarget*>(user);
    const std::size_t length = size * count;
    if (!WriteAll(target->fd, data, length)) {
        target->writeError = true;
        return 0;
    }
    target->job->bytesDone += static_cast<std::int64_t>(length);
    return length;
}

// Sends commands in the folder, with no transfer.
CURLcode RunInFolder(CurlFtpSession& session, const std::string& folderUrl, std::vector<std::string> commands) {
    session.SetCommands({}, {}, std::move(commands));
    curl_easy_setopt(session.Handle(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(session.Handle(), CURLOPT_NOBODY, 1L);
    return session.Perform(folderUrl);
}

// Removes the temporary file of an upload that did not reach its end; nothing more can be done
// when that fails.
void RemoveLockFile(CurlFtpSession& session, const std::string& folderUrl, const std::string& lockName) {
    RunInFolder(session, folderUrl, {"*DELE " + lockName});
}

constexpr std::int64_t kRemoteMissing = -1;  // the server says there is no such file
constexpr std::int64_t kRemoteUnknown = -2;  // no answer, or none that gives a size

std::int64_t RemoteSize(CurlFtpSession& session, const std::string& fileUrl) {
    session.SetCommands({}, {}, {});
    curl_easy_setopt(session.Handle(), CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(session.Handle(), CURLOPT_NOBODY, 1L);
    const CURLcode code = session.Perform(fileUrl);
    if (code == CURLE_REMOTE_FILE_NOT_FOUND && session.LastCommand() == "SIZE") return kRemoteMissing;
    curl_off_t length = -1;
    if (code != CURLE_OK ||
        curl_easy_getinfo(session.Handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0) {
        return kRemoteUnknown;
    }
    return static_cast<std::int64_t>(length);
}

// A folder listing beyond this is not worth reading to find two names.
constexpr std::size_t kLookListingMaxBytes = 16u << 20;

std::size_t AppendText(char* data, std::size_t size, std::size_t count, void* user) {
    auto* text = static_cast<std::string*>(user);
    const std::size_t length = size * count;
    if (text->size() + length > kLookListingMaxBytes) return 0;
    text->append(data, length);
    return length;
}

struct RemoteSizes {
    std::int64_t lock = kRemoteUnknown;
    std::int64_t final = kRemoteUnknown;
};

// What the server holds under both names: by SIZE, else (a server that gives no size) from a
// listing of the folder.
RemoteSizes LookAtNames(CurlFtpSession& session, const std::string& folderUrl, const std::string& lockName,
                        const std::string& finalName) {
    RemoteSizes sizes;
    sizes.lock = RemoteSize(session, folderUrl + ftp_detail::EncodeUrlSegment(lockName));
    if (sizes.lock != kRemoteUnknown)
        sizes.final = RemoteSize(session, folderUrl + ftp_detail::EncodeUrlSegment(finalName));
    if (sizes.lock != kRemoteUnknown && sizes.final != kRemoteUnknown) return sizes;
    session.PrepareNextTransfer();
    std::string listing;
    curl_easy_setopt(session.Handle(), CURLOPT_WRITEFUNCTION, &AppendText);
    curl_easy_setopt(session.Handle(), CURLOPT_WRITEDATA, &listing);
    const CURLcode code = session.Perform(folderUrl);
    session.PrepareNextTransfer();
    if (code != CURLE_OK) return {};
    sizes = {kRemoteMissing, kRemoteMissing};
    std::size_t start = 0;
    while (start < listing.size()) {
        auto end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        const auto entry = ParseFtpListLine(std::string_view(listing).substr(start, end - start));
        start = end + 1;
        if (!entry || entry->directory) continue;
        if (entry->name == lockName) sizes.lock = entry->size;
        if (entry->name == finalName) sizes.final = entry->size;
    }
    return sizes;
}

}  // namespace

// How the rename that puts an upload under its final name ended.
struct ftp_detail::RenameEnd {
    enum class Kind { Done, Refused, Unanswered } kind = Kind::Unanswered;
    std::string verb;  // the refused command
    long reply = 0;
};

namespace {

using ftp_detail::RenameEnd;

RenameEnd EndOfRename(const CurlFtpSession& session, CURLcode code) {
    if (code == CURLE_OK) return {RenameEnd::Kind::Done, {}, 0};
    const std::string& verb = session.LastCommand();
    const long reply = session.LastCommandReply();
    if ((verb == "RNFR" || verb == "RNTO") && reply >= 400) return {RenameEnd::Kind::Refused, verb, reply};
    // Anything else (a dropped connection, no reply in time, no new login) leaves the server's
    // side unknown.
    return {};
}

}  // namespace

std::uint32_t FtpTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

CFtpJob::CFtpJob(int uploadDirection) : upload(uploadDirection) {
    putPassive = ReadSettingInt("FtpSettings", "BPutInPassiveMode", 1);
    getPassive = ReadSettingInt("FtpSettings", "BGetInPassiveMode", 1);
}

void CFtpJob::SetServer(const CFtpServer& server) {
    SetServerTexts(server.label, server.site, server.user, server.password, server.directory);
}

void CFtpJob::SetServerTexts(const std::string& serverLabel, const std::string& serverSite,
                             const std::string& serverUser, const std::string& serverPassword,
                             const std::string& serverDirectory) {
    label = serverLabel;
    site = serverSite;
    user = serverUser;
    password = serverPassword;
    directory = serverDirectory;
}

void CFtpJob::SetLocalFile(const std::string& path) {
    localPath = path;
    binaryLocalFile = 1;
    fileSize = static_cast<std::int64_t>(FileSizeOf(path));
}

void CFtpJob::SetRemoteName(const std::string& name) {
    remoteName = name;
}

FtpJobStateEvent CFtpJob::StateEvent() const {
    FtpJobStateEvent event;
    event.state = state;
    event.label = label;
    event.remoteName = remoteName;
    event.errorText = errorText;
    event.upload = upload != 0;
    return event;
}

void CFtpJob::SetState(int newState) {
    state = newState;
    if (reporter_) reporter_(StateEvent());
}

int CFtpJob::Fail(int result, std::string text) {
    // A connection that saw a failure is not worth keeping for the next job.
    if (connections_ != nullptr) connections_->Clear();
    errorText = std::move(text);
    SetState(kFtpStateFailed);
    return result;
}

int CFtpJob::UploadFile() {
    startTick = FtpTickCount();
    errorText.clear();
    bytesDone = 0;
    SetState(kFtpStateStarted);

    if (!ftp_detail::IsPlainFileName(remoteName)) return Fail(kFtpResultFailed, RefusedNameText(remoteName));
    // The local file is opened before any connection: a file gone since queueing costs no login.
    UniqueFd local(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!local.IsOpen() || ::fstat(local.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Fail(kFtpResultNoLocalFile,
                    Format(Tr("Erreur d'ouverture du fichier %s", "Can't open sourceFile %s"), localPath.c_str()));
    }
    const std::string connectText =
        Format(Tr("Erreur de connexion au site %s", "Can't connect to site %s"), ftp_detail::SiteForText(site).c_str());
    if (!ftp_detail::IsUsableSite(site)) return Fail(kFtpResultNoConnection, connectText);

    std::string folder = directory;
    TrimChars(folder, kWhiteSpace);
    FtpConnectParams params{site, user, password, putPassive != 0, timeouts_, abortFlag_};
    std::optional<CurlFtpSession> ownSession;
    CurlFtpSession& session = connections_ != nullptr ? connections_->Acquire(params) : ownSession.emplace(params);
    if (!session.IsValid()) return Fail(kFtpResultFailed, "curl_easy_init failed");

    const std::string lockName = remoteName + kFtpLockSuffix;
    const std::string folderUrl = ftp_detail::FolderUrl(site, folder);
    std::vector<std::string> beforeFolder;
    std::vector<std::string> beforeTransfer;
    if (!folder.empty()) {
        beforeFolder.emplace_back("PWD");
        beforeTransfer.emplace_back("PWD");
    }
    // A stale temporary file of an earlier upload may be read-only for STOR but still deletable.
    beforeTransfer.push_back("*DELE " + lockName);
    // The old file stays under the final name until the new one replaces it whole.
    session.SetCommands(beforeFolder, beforeTransfer, {"RNFR " + lockName, "RNTO " + remoteName});
    bool transferStarted = false;
    bool stored = false;  // the server took the whole file under the temporary name
    session.SetCommandObserver([&](std::string_view verb) {
        if (verb == "STOR" && !transferStarted) {
            transferStarted = true;
            SetState(kFtpStateTransferring);
        }
        // The commands after the transfer are sent only once the server has confirmed it.
        if (verb == "RNFR") stored = true;
    });
    UploadSource source{local.Get(), this, false};
    CURL* curl = session.Handle();
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadLocalFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
    const CURLcode code = session.Perform(folderUrl + ftp_detail::EncodeUrlSegment(lockName));

    if (code == CURLE_OK) {
        SetState(kFtpStateDone);
        return kFtpResultOk;
    }
    if (stored && !source.readError && !session.Aborted()) {
        session.SetCommandObserver({});
        return PlaceUpload(session, params, EndOfRename(session, code), folderUrl, lockName);
    }

    session.SetCommandObserver({});
    int result = kFtpResultFailed;
    std::string text;
    if (source.readError) {
        text = Format(Tr("Erreur de lecture du fichier %s", "Can't read sourceFile %s"), localPath.c_str());
    } else if (session.Aborted()) {
        text = CutShortText();
    } else if (session.FailurePoint() == FtpFailurePoint::Login) {
        result = kFtpResultNoConnection;
        text = connectText;
    } else if (std::string folderText = FolderStepText(session, code, !folder.empty()); !folderText.empty()) {
        result = kFtpResultNoFolder;
        text = std::move(folderText);
    } else {
        text = session.Describe(code, kUploadDescriptionMax);
    }
    if (transferStarted && !session.Aborted()) RemoveLockFile(session, folderUrl, lockName);
    return Fail(result, std::move(text));
}

int CFtpJob::PlaceUpload(CurlFtpSession& session, const FtpConnectParams& params, RenameEnd end,
                         const std::string& folderUrl, const std::string& lockName) {
    const std::vector<std::string> rename = {"RNFR " + lockName, "RNTO " + remoteName};
    const std::vector<std::string> replace = {"*DELE " + remoteName, "RNFR " + lockName, "RNTO " + remoteName};
    const std::string shownLock = Printable(lockName);
    const std::string shownName = Printable(remoteName);
    CurlFtpSession* current = &session;
    std::optional<CurlFtpSession> fresh;
    bool replacing = false;
    bool retried = false;
    // At most one replacement and one retry: the loop ends within a few rounds.
    while (true) {
        if (current->Aborted()) return Fail(kFtpResultFailed, CutShortText());
        if (end.kind == RenameEnd::Kind::Done) {
            // The kept connection may be the one that dropped.
            if (fresh && connections_ != nullptr) connections_->Clear();
            SetState(kFtpStateDone);
            return kFtpResultOk;
        }
        if (end.kind == RenameEnd::Kind::Refused) {
            if (end.verb == "RNTO" && end.reply >= 500 && end.reply < 600 && !replacing) {
                // Some servers refuse to rename onto an existing name. Only such a refusal, said
                // in so many words, lets the old file go before the new one takes its name.
                replacing = true;
                LogF(10,
                     Tr("## FTP %s : renommage de %s refusé (%ld), ancien fichier supprimé pour un second essai",
                        "## FTP %s: rename to %s refused (%ld), old file deleted for a second try"),
                     ftp_detail::SiteForText(site).c_str(), shownName.c_str(), end.reply);
                end = EndOfRename(*current, RunInFolder(*current, folderUrl, replace));
                continue;
            }
            // The new data stays under the temporary name; an upload that follows replaces it.
            if (end.verb == "RNTO") {
                return Fail(kFtpResultFailed,
                            Format(Tr("Renommage refusé (RNTO %s : %ld), fichier envoyé conservé sous %s",
                                      "Rename refused (RNTO %s: %ld), uploaded file kept as %s"),
                                   shownName.c_str(), end.reply, shownLock.c_str()));
            }
            return Fail(kFtpResultFailed, Format(Tr("Renommage refusé (%s %s : %ld)", "Rename refused (%s %s: %ld)"),
                                                 end.verb.c_str(), shownLock.c_str(), end.reply));
        }
        // No answer: the server may have renamed or not. Look, on a new connection, before
        // anything else: acting on a guess could delete the new file.
        fresh.reset();
        current = &fresh.emplace(params);
        const RemoteSizes sizes = LookAtNames(*current, folderUrl, lockName, remoteName);
        const std::int64_t lockSize = sizes.lock;
        if (lockSize == kRemoteMissing && sizes.final == bytesDone) {
            end = {RenameEnd::Kind::Done, {}, 0};
            continue;
        }
        if (current->Aborted()) continue;
        if (lockSize != bytesDone || retried) {
            return Fail(kFtpResultFailed,
                        lockSize == bytesDone
                            ? Format(Tr("Renommage sans réponse (RNTO %s), fichier envoyé conservé sous %s",
                                        "Rename not answered (RNTO %s), uploaded file kept as %s"),
                                     shownName.c_str(), shownLock.c_str())
                            : Format(Tr("Renommage sans réponse (RNTO %s)", "Rename not answered (RNTO %s)"),
                                     shownName.c_str()));
        }
        // The whole new file is still under the temporary name: the rename never happened.
        retried = true;
        end = EndOfRename(*current, RunInFolder(*current, folderUrl, replacing ? replace : rename));
    }
}

int CFtpJob::DownloadFile() {
    startTick = FtpTickCount();
    errorText.clear();
    bytesDone = 0;
    SetState(kFtpStateStarted);

    if (!ftp_detail::IsPlainFileName(remoteName)) return Fail(kFtpResultFailed, RefusedNameText(remoteName));
    const std::string connectText = Format("Can't connect to site %s", ftp_detail::SiteForText(site).c_str());
    if (!ftp_detail::IsUsableSite(site)) return Fail(kFtpResultNoConnection, connectText);

    // Fetched beside the final file and renamed into place, so an old copy survives a failure and
    // no half file is ever seen under the final name.
    std::string temp = localPath + ".part-XXXXXX";
    UniqueFd fd(::mkstemp(temp.data()));
    if (!fd.IsOpen()) return Fail(kFtpResultFailed, "M$ FtpGetFile failed");
    ::fchmod(fd.Get(), 0644);

    FtpConnectParams params{site, user, password, getPassive != 0, timeouts_, abortFlag_};
    std::optional<CurlFtpSession> ownSession;
    CurlFtpSession& session = connections_ != nullptr ? connections_->Acquire(params) : ownSession.emplace(params);
    if (!session.IsValid()) {
        ::unlink(temp.c_str());
        return Fail(kFtpResultFailed, "curl_easy_init failed");
    }
    if (!directory.empty()) session.SetCommands({"PWD"}, {"PWD"}, {});
    bool transferStarted = false;
    session.SetCommandObserver([&](std::string_view verb) {
        if ((verb == "SIZE" || verb == "RETR") && !transferStarted) {
            transferStarted = true;
            SetState(kFtpStateTransferring);
        }
    });
    DownloadTarget target{fd.Get(), this, false};
    curl_easy_setopt(session.Handle(), CURLOPT_WRITEFUNCTION, &WriteLocalFile);
    curl_easy_setopt(session.Handle(), CURLOPT_WRITEDATA, &target);
    const CURLcode code =
        session.Perform(ftp_detail::FolderUrl(site, directory) + ftp_detail::EncodeUrlSegment(remoteName));
    session.SetCommandObserver({});

    if (code == CURLE_OK) {
        const bool closed = fd.Close();
        if (closed && bytesDone < minimumDownloadSize) {
            ::unlink(temp.c_str());
            return Fail(kFtpResultFailed,
                        Format("Download incomplete: %lld bytes received, %lld listed",
                               static_cast<long long>(bytesDone), static_cast<long long>(minimumDownloadSize)));
        }
        if (closed && ::rename(temp.c_str(), localPath.c_str()) == 0) {
            SetState(kFtpStateDone);
            return kFtpResultOk;
        }
        ::unlink(temp.c_str());
        return Fail(kFtpResultFailed, "M$ FtpGetFile failed");
    }
    fd.Close();
    ::unlink(temp.c_str());
    if (session.Aborted()) return Fail(kFtpResultFailed, CutShortText());
    if (target.writeError) return Fail(kFtpResultFailed, "M$ FtpGetFile failed");
    if (session.FailurePoint() == FtpFailurePoint::Login) return Fail(kFtpResultNoConnection, connectText);
    if (std::string folderText = FolderStepText(session, code, !directory.empty()); !folderText.empty()) {
        return Fail(kFtpResultNoFolder, std::move(folderText));
    }
    if (code == CURLE_REMOTE_FILE_NOT_FOUND) {
        return Fail(kFtpResultFailed,
                    Tr("Erreur non documentée Microsoft. Cause possible : fichier distant inexistant.",
                       "Unknown extended error. Possible cause: remote file does not exist."));
    }
    return Fail(kFtpResultFailed, session.Describe(code, kDownloadDescriptionMax));
}

}  // namespace winorvex
