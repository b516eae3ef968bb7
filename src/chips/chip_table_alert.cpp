#include "chips/chip_table_alert.h"

#include "chips/chip_table.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/texts.h"

namespace winorvex {

std::string EveryReadRefusedAlertText() {
    if (Settings().sendNumbers.load(std::memory_order_relaxed) == 0) return {};
    if (ChipTableCount() != 0) return {};
    return Tr("aucune table de correspondance des puces : toutes les lectures seront refusées",
              "no chip translation table: every read will be refused");
}

bool AlertIfEveryReadRefused(StationEventSink* events) {
    const std::string text = EveryReadRefusedAlertText();
    if (text.empty()) return false;
    if (events != nullptr) {
        events->OnAlert(AlertEvent{text, true});
    } else {
        ShowAlert(text, nullptr);
    }
    return true;
}

}  // namespace winorvex
