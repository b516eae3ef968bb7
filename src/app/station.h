#pragma once
// The station: the one composition root of the running program. It owns the four box slots and
// their workers, the event sink the workers post to, the panes' models, the timers and the
// single-instance lock, and runs the start-up and exit procedures. Windows observe it through
// its signals and getters and drive it through its command slots; the headless program drives
// the very same object.
//
// Threads: a Station lives on the Qt main thread and every method runs there. Workers reach it
// only through the event sink, which posts (queued) and never waits.
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_dispatch.h"
#include "app/control_ids.h"
#include "app/single_instance.h"
#include "app/station_services.h"
#include "reader/box_status.h"
#include "results_link/link_state_reaction.h"

namespace winorvex {

class BoxManager;
class CommandService;
class DetectionForwarder;
class DirectConnection;
class ExportUploader;
class FtpQueue;
class PeriodicExport;
class ResultsListModel;
class ResultsPaneModel;
class SpeechChooser;
class SteadyMonotonicClock;
struct ImportDialogMemory;
class ServicePresenceLocks;
class DetectionsListModel;
class LogListModel;
class QtStationEventSink;
class StationOutputs;
struct DetectionOutputs;

struct StationOptions {
    bool headless = false;        // no windows: boxes connected at start, log lines on standard output
    bool connectAtStart = false;  // ConnectAllBoxes once the window initialisation is done
    bool directAtStart = false;   // the direct-connection button down once initialised
};

enum class StartOutcome {
    Ready,           // go on with the main window
    AlreadyRunning,  // another station holds the lock: message shown, the process ends
};

// The entries of a box's status-picture menu.
struct BoxMenuState {
    bool show = false;  // false: the box is not configured, no menu
    bool connectEnabled = false;
    bool disconnectEnabled = false;
};

class Station : public QObject, private StationCommands {
    Q_OBJECT

public:
    static constexpr int kBoxCount = 4;
    // The log-level list: its items and the level each stands for.
    static constexpr std::array<int, 5> kLogLevelItems{0, 25, 50, 75, 100};

    Station(StationServices services, StationOptions options, QObject* parent = nullptr);
    // Stops every worker and timer (the exit procedure does it in order; this is the safety net).
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Process start-up: time locale, settings file and paths, start-up keys written back, race
    // days, sound switches, single instance (bypassed while Ctrl is held), SoftwareLocation.
    StartOutcome Start();
    // The main window's initialisation without its widgets: display keys, the command service,
    // box slots, banner, detection file, chip table, log-level item, day-offset label, timers.
    // When the command service cannot start (its name held by another station, a socket path
    // too long) the station still records, with an alert saying so; only a headless station
    // refuses to run then: its message was shown and false returned, nothing else done.
    bool InitialiseWindow();
    // The command service's socket (empty when the service does not run).
    std::string CommandSocketPath() const;

    // ---- what the windows show ---------------------------------------------------------
    BoxStatus StatusOf(int boxNumber) const;
    QString TipOf(int boxNumber) const;
    bool ConnectButtonDown() const { return connectButtonDown_; }
    bool BoxCommandsEnabled() const { return boxCommandsEnabled_; }
    QString RecordedCountText() const { return recordedCountText_; }
    // Hours shown in the "+%dh" label; 0: the label and its icon are hidden.
    int DayOffsetHours() const { return dayOffsetHours_; }
    static QString DayOffsetText(int hours);
    bool ExtendedStatusMode() const { return extendedStatus_; }
    bool LogDetections() const;
    bool ScrollDetections() const;
    // Index in kLogLevelItems of the item the list shows.
    int LogLevelItemIndex() const { return logLevelItem_; }
    static QStringList LogLevelItemTexts();
    static QString VersionText();
    QString RunnerName() const { return runnerName_; }
    QString RunnerRank() const { return runnerRank_; }
    QString RunnerTime() const { return runnerTime_; }
    BoxMenuState BoxMenuFor(int boxNumber) const;
    bool HasActiveDetections() const;

    DetectionsListModel& Detections() { return *detections_; }
    LogListModel& LogLines() { return *logLines_; }
    BoxManager& Boxes() { return *boxes_; }
    StationEventSink& Events();
    OperatorPrompt& Prompt() { return *services_.prompt; }
    // Null when silent.
    SoundPlayer* Sounds() { return services_.sounds; }
    const StationServices& Services() const { return services_; }
    // What a recorded detection is handed to besides the list and the file (forwarding, pane).
    DetectionOutputs& Outputs();
    bool Headless() const { return options_.headless; }

    // ---- the subsystems the dialogs work with --------------------------------------------
    FtpQueue& FtpJobs() { return *ftp_; }
    // Uploads of an export through the FTP queue.
    ExportUploader* Uploader();
    PeriodicExport& PeriodicExports() { return *periodic_; }
    // What the import dialog remembers between openings.
    ImportDialogMemory& ImportMemory() { return *importMemory_; }
    DirectConnection& Link() { return *link_; }
    const ResultsPaneModel& ResultsPane() const { return *resultsPane_; }
    ResultsListModel& Results() { return *resultsList_; }
    // The direct-connection button is down (the link is wanted) and its image.
    bool DirectButtonDown() const { return directWanted_; }
    int DirectButtonImage() const { return directImage_; }
    // Brings the day-offset label up to date at once (after the configuration changed the days).
    void RefreshDayOffset() { TrackDayOffset(); }
    bool Exiting() const { return exiting_; }

public slots:
    // ---- commands ------------------------------------------------------------------------
    // The connect-to-boxes button after the operator changed its state to `down`.
    void ToggleBoxesButton(bool down);
    void ConnectToggle();
    void ConnectAllBoxes();
    void BoxMenuConnect(int boxNumber);
    void BoxMenuDisconnect(int boxNumber);
    void ForgetAllDetections();
    void ExportAllDetections();
    void ClearLogWindow();
    void ClearDetectionsPane();
    void ClearResultsPane();
    void ChooseLogLevelItem(int index);
    // The direct-connection button after the operator changed its state to `down`.
    void DirectConnectionButton(bool down);
    void SetLogDetections(bool on);
    void SetScrollDetections(bool on);
    // Remove (or restore) the records behind these pane rows, after the question.
    void RemoveOrRestoreRows(bool remove, const std::vector<int>& rows);
    // The exit procedure; with Ctrl held no sound and no question. askOperator false: no question
    // (headless stop on a signal). Returns true once the station has shut down.
    bool RunExitProcedure(bool askOperator = true);
    // Developer entries of the background menu: n is 1 or 2.
    void LoadTestResults(int n);
    void SaveTestResults(int n);

    void ShowAlert(const QString& text, bool withMessageBox);
    void ShowBalloon(const QString& title, const QString& text, int anchorControl);
    void RefreshStatus();
    void ScheduleStatusRefresh();

    // ---- from the event sink (station thread) --------------------------------------------
    void HandleBoxConnectionEvent(int boxNumber, bool unexpected);
    void HandleRecordedCountChanged();
    void HandleAlert(const QString& text, bool withMessageBox);
    void HandleDirectLinkState(const DirectLinkStateEvent& event);
    void HandleDirectLine(const DirectLineEvent& event);
    void HandleFtpJobState(const FtpJobStateEvent& event);

signals:
    void statusChanged();
    void dayOffsetChanged(int hours);
    void runnerDisplayChanged();
    // A balloon tip pointing at the control with this number, for 4 s.
    void balloonRequested(const QString& title, const QString& text, int anchorControl);
    // The detections pane wants this row at the top (scrolling on, or after a purge).
    void detectionsTopLineChanged(int row);
    void logLevelItemChanged(int index);
    // The exit procedure finished: the process may end.
    void finished();
    // Another program asked for the window to come to the front.
    void popFrontRequested();
    void directConnectionWantedChanged(bool wanted);
    // The direct-connection button's state or image changed.
    void directButtonChanged();
    // A results pane item was added (or the pane was emptied).
    void resultsPaneChanged();

private:
    // The commands of the command service.
    bool ExportAllTo(const std::string& path) override;
    bool StartAcquisition() override;
    void ClearAcquisitions() override;
    void SetDirectConnectionWanted(bool wanted) override;
    bool DirectConnectionWanted() const override { return directWanted_; }
    void PopFront() override;

    void TrackDayOffset();
    void DrainPanes();
    void StartTimers();
    void StopTimers();
    void Speak(std::string_view text);
    bool CtrlHeld() const;
    void PrintLogLines();
    void StartDirectLink();
    void SendInformationRequests();
    void StopForIncompatibleVersion();
    void RunPeriodicExportCheck();

    StationServices services_;
    StationOptions options_;
    SingleInstanceLock instance_;
    std::string detectionFile_;
    bool extendedStatus_ = false;
    bool initialised_ = false;
    bool exiting_ = false;
    bool voice_ = false;         // Scroll Lock was on at initialisation and an engine exists
    bool directWanted_ = false;  // the direct-connection button is down
    int directImage_ = static_cast<int>(winorvex::DirectButtonImage::Off);
    // Headless: the link is wanted again after a loss (nobody can press the button there).
    bool directRewanted_ = false;
    bool directStoppedByVersion_ = false;
    // The link last started: what an older (stopped) link still reports is not about it.
    std::uint64_t directGeneration_ = 0;

    std::array<BoxStatus, kBoxCount> status_{};
    std::array<QString, kBoxCount> tips_{};
    bool connectButtonDown_ = false;
    bool boxCommandsEnabled_ = false;
    QString recordedCountText_;
    int dayOffsetHours_ = 0;
    int logLevelItem_ = 1;
    QString runnerName_;
    QString runnerRank_;
    QString runnerTime_;

    QTimer dayOffsetTimer_;      // kTimerDayOffset
    QTimer statusRefreshTimer_;  // kTimerStatusRefresh
    QTimer paneTimer_;           // drains the panes' queues a few times a second
    QTimer pingTimer_;           // kTimerPing
    QTimer informationTimer_;    // kTimerInformation
    QTimer versionTimer_;        // kTimerVersionCheck
    QTimer exportTimer_;         // kTimerExportCheck
    QTimer directRetryTimer_;    // headless: the link wanted again after a loss
    bool countRefreshPending_ = false;

    std::unique_ptr<DetectionsListModel> detections_;
    std::unique_ptr<LogListModel> logLines_;
    // Declared before the box manager: the workers it joins post here until they end.
    std::unique_ptr<QtStationEventSink> sink_;
    std::unique_ptr<DetectionForwarder> forwarder_;  // outlives the link and the workers
    std::unique_ptr<DirectConnection> link_;
    std::unique_ptr<StationOutputs> outputs_;
    std::unique_ptr<FtpQueue> ftp_;
    std::unique_ptr<ExportUploader> uploader_;
    std::unique_ptr<SteadyMonotonicClock> clock_;
    std::unique_ptr<PeriodicExport> periodic_;
    std::unique_ptr<ImportDialogMemory> importMemory_;
    std::unique_ptr<ResultsPaneModel> resultsPane_;
    std::unique_ptr<SpeechChooser> speech_;
    std::unique_ptr<ResultsListModel> resultsList_;
    std::unique_ptr<BoxManager> boxes_;
    std::unique_ptr<ServicePresenceLocks> presence_;
    std::unique_ptr<CommandService> commands_;
};

}  // namespace winorvex
