#include "ftp/ftp_job_log.h"

#include "core/text_format.h"
#include "ftp/ftp_job.h"

namespace winorvex {

std::optional<std::string> FtpJobLogLine(const FtpJobStateEvent& event) {
    switch (event.state) {
        case kFtpStateStarted:
            return Format("++ Démarrage transfert FTP [%s]", event.remoteName.c_str());
        case kFtpStateDone:
            return Format("++ Transfert FTP terminé [%s]", event.remoteName.c_str());
        case kFtpStateFailed:
            return Format("++ Erreur transfert FTP [%s] : %s", event.remoteName.c_str(), event.errorText.c_str());
        default:
            return std::nullopt;
    }
}

}  // namespace winorvex
