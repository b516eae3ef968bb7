#include "reader/box_connect.h"

#include <string>

#include "core/log.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "reader/orvex_box.h"

namespace winorvex {

bool ConnectBox(COrvexBox& box) {
    if (!box.HasAddress()) return false;

    std::string error;
    const bool connected = box.ConnectTransport(error);
    const BoxAddress address = box.Address();
    const std::string& detectorId = address.detectorId;
    const std::string& host = address.host;
    const int port = address.port;
    if (connected) {
        LogF(
            20,
            Tr("+ Boîtier %d initialisé sur %s:%d. Id. Détecteur %s", "+ Box %d initialized on %s:%d. Detector Id. %s"),
            box.BoxNumber(), host.c_str(), port, detectorId.c_str());
        return true;
    }
    ShowAlert(Format(Tr("## %s : Erreur de connexion sur %s:%d. Id. Détecteur %s : %s",
                        "## %s : Cannot connect on %s:%d. DetectorId %s : %s"),
                     box.GetLabel().c_str(), host.c_str(), port, detectorId.c_str(), error.c_str()),
              nullptr);
    return false;
}

}  // namespace winorvex
