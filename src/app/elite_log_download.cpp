#include "app/elite_log_download.h"

#include "core/log.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "ftp/ftp_job.h"
#include "import/remote_file_name.h"
#include "platform/tcp_socket.h"

namespace winorvex {

bool IsDetectionLogFile(const std::string& name) {
    return name.starts_with("tty") || name.starts_with("FS");
}

std::string EliteFtpSite(const DeclaredBox& box) {
    if (box.ftpPort <= 0 || box.ftpPort == 21) return box.host;
    return box.host + ":" + std::to_string(box.ftpPort);
}

std::string EliteFileLine(const CFtpFileDesc& file) {
    return Format(Tr("Fichier [%s] : %lld octets", "File [%s] : %lld bytes"), file.name.c_str(),
                  static_cast<long long>(file.size));
}

EliteListing ListEliteLogs(const DeclaredBox& box, bool onlyDetectionFiles, const FtpTimeouts& timeouts,
                           const std::atomic<bool>* abort) {
    EliteListing listing;
    // Only ELITE readers answer on the side port; a Lite reader (or a serial line) would only make
    // the listing wait for its FTP time-out.
    bool elite = false;
    if (!box.serial) {
        TcpSocket probe;
        elite = TcpSocket::Connect(box.host, box.sidePort, kEliteProbeSeconds, probe) == ConnectStatus::kOk;
    }
    if (!elite) {
        listing.outcome = EliteListing::Outcome::NoSideService;
        listing.message = Tr("Erreur de connexion. Boîtier Lite ?", "Connexion error. Is it really an Elite box ?");
        return listing;
    }

    std::vector<CFtpFileDesc> all;
    std::string error;
    const int result = ListRemoteFiles(EliteFtpSite(box), "", "", "", "*.log", all, error, timeouts, abort);
    if (result != 0) {
        LogF(0, "## %s : %s", box.text.c_str(), error.c_str());
        listing.outcome = EliteListing::Outcome::ListingFailed;
        listing.message = Tr("Erreur de connexion au boitier...", "Cannot connect to box...");
        return listing;
    }
    listing.outcome = EliteListing::Outcome::Listed;
    for (CFtpFileDesc& file : all) {
        if (onlyDetectionFiles && !IsDetectionLogFile(file.name)) continue;
        listing.files.push_back(std::move(file));
    }
    return listing;
}

EliteDownload DownloadEliteLog(const DeclaredBox& box, const CFtpFileDesc& file, const std::string& folder,
                               const std::atomic<bool>* abort, const FtpTimeouts& timeouts) {
    EliteDownload outcome;
    const std::string name = PlainRemoteFileName(file.name);
    if (name.empty()) {
        outcome.error = Format("Unusable remote file name [%s]", file.name.c_str());
        return outcome;
    }
    const std::string finalPath = folder + "/" + box.fileTag + "_" + name;

    CFtpJob job(0);
    job.SetServerTexts(box.text, EliteFtpSite(box), "", "", "");
    job.localPath = finalPath;
    job.SetRemoteName(name);
    job.minimumDownloadSize = file.size;
    job.SetAbortFlag(abort);
    job.SetTimeouts(timeouts);
    if (job.DownloadFile() != kFtpResultOk) {
        outcome.error = job.errorText;
        return outcome;
    }
    outcome.ok = true;
    outcome.path = finalPath;
    outcome.detector = box.detectorId;
    return outcome;
}

}  // namespace winorvex
