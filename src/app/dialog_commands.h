#pragma once
// The station's commands that go through an operator dialog: the manual insertion
// (kControlInsertDetection, F12), the configuration (kControlConfiguration, and once shortly after
// start), the chip table reload of the configuration. The dialog itself is handed in as a
// function, so the windowed station, the tests and any headless caller run the same decisions.
//
// Threads: the station thread.
#include <functional>

#include "app/config_model.h"
#include "app/manual_insertion.h"

namespace winorvex {

class OperatorPrompt;
class Station;

// Delay of the configuration opened by itself after the window initialisation (timer 22662).
inline constexpr int kStartupConfigurationDelayMs = 100;

// Runs the insertion form; true when the operator confirmed it (the form then holds the entry).
using InsertDialogRunner = std::function<bool(InsertTimeForm&)>;
// Runs the configuration form; true when its OK was accepted (ConfirmConfigForm succeeded).
using ConfigDialogRunner = std::function<bool(ConfigForm&)>;

// Refuses without a chip table, offers the configured boxes' detectors, runs the form and records
// the entry with RecordManualDetection through the station's outputs, then refreshes the status.
// True when a detection was recorded.
bool InsertManualDetection(Station& station, const InsertDialogRunner& runDialog);

// Runs the form; once confirmed the settings are written (WriteConfigurationSettings). Whatever
// the result the status is refreshed. True when confirmed.
bool RunConfiguration(Station& station, const ConfigDialogRunner& runDialog);

// Opens the configuration once, kStartupConfigurationDelayMs after this call, unless the station
// is headless or exiting by then.
void ScheduleStartupConfiguration(Station& station, std::function<void()> open);

// The configuration's reload button: "OrvexTable.dtb" loaded again; its message logged at level
// 0 and shown (information when loaded, warning otherwise). Returns the load's result.
bool ReloadChipTableForOperator(OperatorPrompt& prompt);

}  // namespace winorvex
