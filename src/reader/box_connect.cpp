#include "reader/box_connect.h"

#include <string>

#include "core/log.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "reader/orvex_box.h"

namespace winorvex {

bool ConnectBox(COrvexBox& box) {
    CComBox* transport = box.Transport();
    if (transport == nullptr || !transport->HasAddress()) return false;

    std::string error;
    const bool connected = transport->Connect(error);
    std::string detectorId;
    std::string host;
    int port = 0;
    transport->GetParameters(detectorId, host, port);
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
