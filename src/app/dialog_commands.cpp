#include "app/dialog_commands.h"

#include <QTimer>

#include "app/station.h"
#include "chips/chip_table.h"
#include "core/chrono.h"
#include "core/log.h"
#include "core/station_events.h"

namespace winorvex {

bool InsertManualDetection(Station& station, const InsertDialogRunner& runDialog) {
    if (ChipTableCount() == 0) {
        station.Prompt().Warn(NoChipTableText());
        return false;
    }
    InsertTimeForm form = OpenInsertTimeForm(ManualDetectorChoices(station.Boxes()), CChrono(CChrono::kNowAbs));
    if (!runDialog || !runDialog(form)) return false;
    RecordManualDetection(form, station.Outputs(), station.Sounds());
    station.RefreshStatus();
    return true;
}

bool RunConfiguration(Station& station, const ConfigDialogRunner& runDialog) {
    ConfigForm form = OpenConfigForm(station.Boxes());
    const bool confirmed = runDialog && runDialog(form);
    if (confirmed) WriteConfigurationSettings(station.Boxes());
    station.RefreshStatus();
    return confirmed;
}

void ScheduleStartupConfiguration(Station& station, std::function<void()> open) {
    if (station.Headless() || !open) return;
    QTimer::singleShot(kStartupConfigurationDelayMs, &station, [&station, open = std::move(open)] {
        if (!station.Exiting()) open();
    });
}

bool ReloadChipTableForOperator(OperatorPrompt& prompt) {
    std::string message;
    const bool loaded = LoadChipTable("OrvexTable.dtb", message);
    Log(0, message);
    if (loaded) {
        prompt.Inform(message);
    } else {
        prompt.Warn(message);
    }
    return loaded;
}

}  // namespace winorvex
