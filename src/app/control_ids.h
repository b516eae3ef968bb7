#pragma once
// The numbers of the main window's controls and of the station's timers. A balloon names the
// control it points at by number, because the station that raises it has no widgets: the window
// maps the number back to its widget (MainWindow::WidgetForControl).
namespace winorvex {

// Implicitly an int: balloon requests carry the number through a Qt signal.
enum ControlId : int {
    kControlQuit = 2,
    kControlDetectionsExtended = 1000,  // detections pane in extended status mode
    kControlConnectToggle = 1001,       // hidden twin of the connect-to-boxes button
    kControlLog = 1002,
    kControlDirectConnection = 1003,
    kControlConfiguration = 1005,
    kControlDetections = 1006,  // detections pane otherwise
    kControlExportAll = 1007,
    kControlForgetAll = 1008,
    kControlResults = 1010,
    kControlSyncClocks = 1013,  // or the marker insertion in extended status mode
    kControlRecordedCount = 1014,
    kControlShowClocks = 1016,
    kControlImport = 1017,
    kControlInsertDetection = 1018,
    kControlRunnerName = 1029,
    kControlRunnerRank = 1030,
    kControlRunnerTime = 1031,
    kControlLogDetections = 1037,
    kControlLogLevel = 1042,
    kControlConnectBoxes = 1113,
    kControlBoxStatus1 = 1127,  // boxes 1 to 4 follow in order
    kControlBoxStatus4 = 1130,
    kControlDayOffset = 1223,
    kControlDayOffsetIcon = 1224,
    kControlScroll = 1248,
};

// The station's timers.
enum TimerId : int {
    kTimerVersionCheck = 8583,    // one shot: an incompatible results program is let go
    kTimerStatusRefresh = 17732,  // one shot: the box status pictures and buttons
    kTimerOpenConfiguration = 22662,
    kTimerDayOffset = 33861,
    kTimerPing = 34137,
    kTimerInformation = 34146,  // one shot: the information requests after the link came up
    kTimerExportCheck = 34966,
};

}  // namespace winorvex
