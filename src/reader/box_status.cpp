#include "reader/box_status.h"

#include "core/texts.h"
#include "reader/orvex_box.h"

namespace winorvex {

BoxStatus GetBoxStatus(const COrvexBox& box) {
    if (!box.IsConfigured()) return BoxStatus::Undefined;
    if (box.IsReconnecting()) return BoxStatus::Reconnecting;
    if (box.IsOpen()) return BoxStatus::Connected;
    return BoxStatus::NotConnected;
}

const char* BoxStatusText(BoxStatus status) {
    switch (status) {
        case BoxStatus::Undefined:
            return Tr("Boîtier non défini", "Box undefined");
        case BoxStatus::NotConnected:
            return Tr("Boîtier non connecté", "Box not connected");
        case BoxStatus::Reconnecting:
            return Tr("Reconnexion en cours...", "Reconnecting...");
        case BoxStatus::Connected:
            return Tr("Boîtier connecté", "Box connected");
    }
    return "";
}

std::string BoxStatusTip(const COrvexBox& box, BoxStatus status) {
    std::string tip = box.GetLabel();
    tip += '\n';
    tip += BoxStatusText(status);
    return tip;
}

}  // namespace winorvex
