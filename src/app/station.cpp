#include "app/station.h"

#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/command_service.h"
#include "app/detections_list_model.h"
#include "app/log_list_model.h"
#include "app/qt_event_sink.h"
#include "app/results_list_model.h"
#include "app/startup.h"
#include "app/station_outputs.h"
#include "chips/chip_table.h"
#include "chips/chip_table_alert.h"
#include "core/chrono.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "detections/detection_store.h"
#include "detections/detections_pane.h"
#include "detections/result_list.h"
#include "export/ftp_export_uploader.h"
#include "export/periodic_export.h"
#include "ftp/ftp_job_log.h"
#include "ftp/ftp_queue.h"
#include "import/import_dialog_model.h"
#include "reader/box_manager.h"
#include "reader/com_box.h"
#include "results_link/detection_forwarder.h"
#include "results_link/direct_connection.h"
#include "results_link/link_state_reaction.h"
#include "results_link/results_line.h"
#include "results_link/results_messages.h"
#include "results_link/results_pane.h"

namespace winorvex {

namespace {

constexpr int kDayOffsetPeriodMs = 500;     // timer 33861
constexpr int kStatusRefreshDelayMs = 500;  // timer 17732
constexpr int kPaneDrainPeriodMs = 200;
// The most log lines one drain hands to the window: a flood is shown over several drains.
constexpr std::size_t kLogLinesPerDrain = 4000;

QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

Station::Station(StationServices services, StationOptions options, QObject* parent)
    : QObject(parent),
      services_(services),
      options_(options),
      detections_(std::make_unique<DetectionsListModel>()),
      logLines_(std::make_unique<LogListModel>()),
      sink_(std::make_unique<QtStationEventSink>(*this)),
      forwarder_(std::make_unique<DetectionForwarder>()),
      link_(std::make_unique<DirectConnection>(*sink_, DirectLinkTuning{}, forwarder_.get())),
      outputs_(std::make_unique<StationOutputs>(*link_, *forwarder_)),
      ftp_(std::make_unique<FtpQueue>(*sink_)),
      uploader_(std::make_unique<FtpExportUploader>(*ftp_)),
      clock_(std::make_unique<SteadyMonotonicClock>()),
      periodic_(std::make_unique<PeriodicExport>(*clock_, uploader_.get())),
      importMemory_(std::make_unique<ImportDialogMemory>()),
      resultsPane_(std::make_unique<ResultsPaneModel>()),
      speech_(std::make_unique<SpeechChooser>()),
      resultsList_(std::make_unique<ResultsListModel>(*resultsPane_)),
      presence_(std::make_unique<ServicePresenceLocks>()) {
    BoxManagerServices boxServices;
    boxServices.events = sink_.get();
    boxServices.outputs = outputs_.get();
    boxServices.sounds = services_.sounds;
    boxServices.prompt = services_.prompt;
    boxServices.statusChanged = [this](int box, BoxStatus status, const std::string& tip) {
        if (box < 1 || box > kBoxCount) return;
        status_[static_cast<std::size_t>(box - 1)] = status;
        tips_[static_cast<std::size_t>(box - 1)] = QString::fromStdString(tip);
    };
    boxServices.scheduleStatusRefresh = [this] { ScheduleStatusRefresh(); };
    boxes_ = std::make_unique<BoxManager>(std::move(boxServices));

    dayOffsetTimer_.setInterval(kDayOffsetPeriodMs);
    connect(&dayOffsetTimer_, &QTimer::timeout, this, &Station::TrackDayOffset);
    statusRefreshTimer_.setSingleShot(true);
    statusRefreshTimer_.setInterval(kStatusRefreshDelayMs);
    connect(&statusRefreshTimer_, &QTimer::timeout, this, &Station::RefreshStatus);
    paneTimer_.setInterval(kPaneDrainPeriodMs);
    connect(&paneTimer_, &QTimer::timeout, this, &Station::DrainPanes);
    connect(this, &Station::resultsPaneChanged, resultsList_.get(), &ResultsListModel::Refresh);
    pingTimer_.setInterval(kPingIntervalMs);
    connect(&pingTimer_, &QTimer::timeout, this, [this] {
        if (link_->IsDirectConnected()) link_->SendDirectLine(kPingRequest);
    });
    informationTimer_.setSingleShot(true);
    informationTimer_.setInterval(kInformationRequestDelayMs);
    connect(&informationTimer_, &QTimer::timeout, this, &Station::SendInformationRequests);
    versionTimer_.setSingleShot(true);
    versionTimer_.setInterval(kIncompatibleVersionStopDelayMs);
    connect(&versionTimer_, &QTimer::timeout, this, &Station::StopForIncompatibleVersion);
    // Re-armed after each check, so a slow export never queues checks behind it.
    exportTimer_.setSingleShot(true);
    exportTimer_.setInterval(1000);
    connect(&exportTimer_, &QTimer::timeout, this, &Station::RunPeriodicExportCheck);
    directRetryTimer_.setSingleShot(true);
    connect(&directRetryTimer_, &QTimer::timeout, this, [this] {
        if (directWanted_ && !exiting_) StartDirectLink();
    });
}

Station::~Station() {
    commands_.reset();
    StopTimers();
    // Joins every worker before the sink and the models they post to go away.
    boxes_.reset();
    SetDetectionFileAlerts(nullptr, nullptr);
    link_->StopDirectConnection();
}

ExportUploader* Station::Uploader() {
    return uploader_.get();
}

StationEventSink& Station::Events() {
    return *sink_;
}

DetectionOutputs& Station::Outputs() {
    return *outputs_;
}

bool Station::CtrlHeld() const {
    return services_.keyboard != nullptr && services_.keyboard->CtrlHeld();
}

StartOutcome Station::Start() {
    detectionFile_ = PrepareProcess().detectionFile;
    std::string error;
    // Other programs learn from these that a station offering the command service is loaded.
    if (!presence_->Take(error)) LogToFileText("Command service presence locks: " + error);
    if (!instance_.Acquire(GetDataFolder(), error)) {
        // Ctrl held at this moment runs a second station on purpose.
        if (!CtrlHeld()) {
            if (services_.prompt != nullptr) services_.prompt->Warn(AlreadyRunningText());
            LogToFileText(std::string("Second instance refused: ") + error);
            return StartOutcome::AlreadyRunning;
        }
    }
    WriteSoftwareLocation();
    ftp_->StartFtpThread();
    return StartOutcome::Ready;
}

std::string Station::CommandSocketPath() const {
    return commands_ ? commands_->SocketPath() : std::string();
}

bool Station::InitialiseWindow() {
    SetLogWindowAttached(true);
    voice_ = services_.speaker != nullptr && services_.speaker->Available() && services_.keyboard != nullptr &&
             services_.keyboard->ScrollLockOn();
    ReadWindowSettings();
    extendedStatus_ = IsExtendedStatusMode();
    detections_->SetMarkRemoved(extendedStatus_);
    detections_->Pane().SetScrollEnabled(ScrollDetections());
    runnerName_.clear();
    runnerRank_.clear();
    runnerTime_.clear();

    commands_ = std::make_unique<CommandService>(static_cast<StationCommands&>(*this));
    std::string commandFailure;
    if (!commands_->Start(Settings().DdeName(), commandFailure)) {
        commands_.reset();
        // Without windows nobody would see that the results program cannot drive this station.
        if (options_.headless) {
            services_.prompt->Warn(commandFailure);
            return false;
        }
    }

    RefreshStatus();
    boxes_->LoadAllSlots();
    LogStartBanner(detectionFile_);
    SetDetectionFileAlerts(sink_.get(), services_.sounds);
    OpenDetectionFile(detectionFile_);
    LoadStationChipTable();
    AlertIfEveryReadRefused(sink_.get());
    outputs_->SetKeepWhileDisconnected(ReadSettingBool(keys::kDirectConnection, "BResendWhileDisconnected", false));
    WriteSettingBool(keys::kDirectConnection, "BResendWhileDisconnected", outputs_->KeepWhileDisconnected());
    const int unanswered = std::max(0, ReadSettingInt(keys::kDirectConnection, "UnansweredAlarmSeconds", 30));
    WriteSettingInt(keys::kDirectConnection, "UnansweredAlarmSeconds", unanswered);
    link_->SetUnansweredAlarm(std::chrono::seconds(unanswered));

    logLevelItem_ = 1;
    for (std::size_t i = 0; i < kLogLevelItems.size(); ++i) {
        if (kLogLevelItems[i] == LogWindowLevel()) {
            logLevelItem_ = static_cast<int>(i);
            break;
        }
    }
    emit logLevelItemChanged(logLevelItem_);
    TrackDayOffset();
    StartTimers();
    RefreshStatus();
    initialised_ = true;
    if (commands_) {
        commands_->SetReady(true);
    } else {
        // Shown once the station records: the operator may leave the box open for a while.
        const std::string alert = commandFailure + "\n" +
                                  Tr("La station enregistre sans son service de commandes : le programme de "
                                     "résultats ne peut pas la piloter.",
                                     "The station records without its command service: the results program "
                                     "cannot drive it.");
        std::string line = alert;
        std::replace(line.begin(), line.end(), '\n', ' ');
        winorvex::ShowAlert(line, nullptr);
        services_.prompt->Warn(alert);
    }
    if (options_.connectAtStart) ConnectAllBoxes();
    if (options_.directAtStart) DirectConnectionButton(true);
    return true;
}

void Station::StartTimers() {
    dayOffsetTimer_.start();
    exportTimer_.start();
    paneTimer_.start();
    pingTimer_.start();
}

void Station::StopTimers() {
    dayOffsetTimer_.stop();
    statusRefreshTimer_.stop();
    paneTimer_.stop();
    pingTimer_.stop();
    informationTimer_.stop();
    versionTimer_.stop();
    exportTimer_.stop();
    directRetryTimer_.stop();
}

void Station::RunPeriodicExportCheck() {
    if (exiting_) return;
    periodic_->RunPeriodicExportCheck();
    exportTimer_.start();
}

// ---- what the windows show -------------------------------------------------------------------

BoxStatus Station::StatusOf(int boxNumber) const {
    if (boxNumber < 1 || boxNumber > kBoxCount) return BoxStatus::Undefined;
    return status_[static_cast<std::size_t>(boxNumber - 1)];
}

QString Station::TipOf(int boxNumber) const {
    if (boxNumber < 1 || boxNumber > kBoxCount) return {};
    return tips_[static_cast<std::size_t>(boxNumber - 1)];
}

QString Station::DayOffsetText(int hours) {
    return QString::fromStdString(Format("+%dh", hours));
}

bool Station::LogDetections() const {
    return Settings().logDetections.load() != 0;
}

bool Station::ScrollDetections() const {
    return Settings().scrollDetections.load() != 0;
}

QStringList Station::LogLevelItemTexts() {
    return {Q("  0    [Minimum]"), Q(Tr(" 25   [Faible]", " 25   [Low]")), Q(Tr(" 50   [Moyen]", " 50   [Medium]")),
            Q(Tr(" 75   [Fort]", " 75   [High]")), Q("100  [Maximum]")};
}

QString Station::VersionText() {
    return Q(kVersionText);
}

BoxMenuState Station::BoxMenuFor(int boxNumber) const {
    BoxMenuState state;
    if (boxNumber < 1 || boxNumber > kBoxCount) return state;
    const COrvexBox& box = boxes_->Box(boxNumber);
    if (!box.IsConfigured()) return state;
    state.show = true;
    state.connectEnabled = !box.IsActive();
    state.disconnectEnabled = box.IsActive();
    return state;
}

bool Station::HasActiveDetections() const {
    return CountActiveResults() > 0;
}

// ---- status ----------------------------------------------------------------------------------

void Station::RefreshStatus() {
    boxes_->RefreshAllStatus();
    bool anyOpen = false;
    for (int n = 1; n <= kBoxCount; ++n) {
        const CComBox* transport = boxes_->Box(n).Transport();
        anyOpen = anyOpen || (transport != nullptr && transport->IsOpen());
    }
    connectButtonDown_ = anyOpen;
    boxCommandsEnabled_ = anyOpen;
    recordedCountText_ = QString::fromStdString(winorvex::RecordedCountText());
    countRefreshPending_ = false;
    emit statusChanged();
}

void Station::ScheduleStatusRefresh() {
    statusRefreshTimer_.start(kStatusRefreshDelayMs);
}

void Station::TrackDayOffset() {
    const int hours = winorvex::TrackDayOffset() * 24;
    if (hours == dayOffsetHours_) return;
    dayOffsetHours_ = hours;
    emit dayOffsetChanged(hours);
}

void Station::HandleBoxConnectionEvent(int boxNumber, bool unexpected) {
    if (exiting_) return;
    boxes_->OnBoxConnectionEvent(boxNumber, unexpected);
    ScheduleStatusRefresh();
}

void Station::HandleRecordedCountChanged() {
    // Shown with the next drain of the panes, so a burst costs one refresh.
    countRefreshPending_ = true;
}

void Station::HandleAlert(const QString& text, bool withMessageBox) {
    ShowAlert(text, withMessageBox);
}

void Station::ShowAlert(const QString& text, bool withMessageBox) {
    winorvex::ShowAlert(text.toStdString(), withMessageBox ? services_.prompt : nullptr);
}

void Station::ShowBalloon(const QString& title, const QString& text, int anchorControl) {
    if (services_.sounds != nullptr) services_.sounds->Play(StationSound::Warning);
    if (options_.headless) {
        Log(0, "+ " + title.toStdString() + " : " + text.toStdString());
        return;
    }
    emit balloonRequested(title, text, anchorControl);
}

// ---- panes -----------------------------------------------------------------------------------

void Station::PrintLogLines() {
    for (const LogEntry& entry : DrainLogWindowQueue()) {
        std::fprintf(stdout, "%s %s\n", entry.stamp.c_str(), entry.text.c_str());
    }
    std::fflush(stdout);
}

void Station::DrainPanes() {
    if (options_.headless) {
        PrintLogLines();
        // Nobody looks at the pane: its lines are let go (the records are in the list and file).
        ClearDetectionsPaneQueue();
    } else {
        logLines_->Append(DrainLogWindowQueue(kLogLinesPerDrain));
        const std::size_t before = detections_->Pane().Size();
        if (detections_->DrainQueue() > 0 || detections_->Pane().Size() < before) {
            if (ScrollDetections()) emit detectionsTopLineChanged(static_cast<int>(detections_->Pane().TopLine()));
        }
    }
    if (countRefreshPending_) RefreshStatus();
}

// ---- commands --------------------------------------------------------------------------------

void Station::Speak(std::string_view text) {
    if (voice_ && services_.speaker != nullptr) services_.speaker->SpeakText(text);
}

void Station::ToggleBoxesButton(bool down) {
    if (!down) {
        const bool sure = services_.prompt->AskYesNo(Tr("Etes vous certain de vouloir vous déconnecter des boîtiers ?",
                                                        "Are you sure you want to disconnect from the boxes?"),
                                                     true);
        if (!sure) {
            connectButtonDown_ = true;
            emit statusChanged();
            return;
        }
    }
    ConnectToggle();
}

void Station::ConnectToggle() {
    Speak(Tr("say parti. mon kiki", "Let us go"));
    ConnectAllBoxes();
}

void Station::ConnectAllBoxes() {
    StartAcquisition();
}

void Station::BoxMenuConnect(int boxNumber) {
    if (!BoxMenuFor(boxNumber).connectEnabled) return;
    // The transport is closed: the new worker goes through its reconnection procedure.
    boxes_->StartBoxThread(boxNumber);
    ScheduleStatusRefresh();
}

void Station::BoxMenuDisconnect(int boxNumber) {
    if (!BoxMenuFor(boxNumber).disconnectEnabled) return;
    const CComBox* transport = boxes_->Box(boxNumber).Transport();
    if (transport->IsOpen()) {
        const bool sure = services_.prompt->AskYesNo(Tr("Etes vous certain de vouloir vous déconnecter de ce boîtier ?",
                                                        "Are you sure you want to disconnect from this box?"),
                                                     true);
        if (sure && transport->IsOpen()) boxes_->StopBoxThread(boxNumber);
    } else {
        // Reconnecting: stopped at once, nothing to lose.
        boxes_->StopBoxThread(boxNumber);
    }
    ScheduleStatusRefresh();
}

void Station::ForgetAllDetections() {
    if (RequestForgetAllDetections(*services_.prompt, sink_.get(), services_.sounds)) {
        detections_->Clear();
        RefreshStatus();
    }
}

void Station::ExportAllDetections() {
    if (CountActiveResults() == 0) return;
    winorvex::ExportAllDetections(Settings().ExportFile(), services_.sounds);
}

void Station::ClearLogWindow() {
    logLines_->Clear();
    speech_->Forget();
    if (services_.sounds != nullptr) services_.sounds->Play(StationSound::Completion);
}

void Station::ClearDetectionsPane() {
    detections_->Clear();
    speech_->Forget();
    if (services_.sounds != nullptr) services_.sounds->Play(StationSound::Completion);
}

void Station::ClearResultsPane() {
    resultsPane_->Clear();
    emit resultsPaneChanged();
    speech_->Forget();
    if (services_.sounds != nullptr) services_.sounds->Play(StationSound::Completion);
}

void Station::ChooseLogLevelItem(int index) {
    if (index < 0 || index >= static_cast<int>(kLogLevelItems.size())) return;
    const int level = kLogLevelItems[static_cast<std::size_t>(index)];
    logLevelItem_ = index;
    LogF(0, "+ Log level set to %d", level);
    SetLogWindowLevel(level);
    WriteSettingInt(keys::kSettings, "LogWinLevel", level);
}

void Station::SetLogDetections(bool on) {
    Settings().logDetections.store(on ? 1 : 0);
    WriteSettingBool(keys::kSettings, "BLogDetections", on);
}

void Station::SetScrollDetections(bool on) {
    Settings().scrollDetections.store(on ? 1 : 0);
    WriteSettingBool(keys::kSettings, "BScrollDetections", on);
    detections_->Pane().SetScrollEnabled(on);
    if (on) emit detectionsTopLineChanged(static_cast<int>(detections_->Pane().TopLine()));
}

void Station::RemoveOrRestoreRows(bool remove, const std::vector<int>& rows) {
    const std::vector<std::uint32_t> serials = detections_->SerialsOf(rows);
    if (RemoveOrRestoreSelection(remove, serials, *services_.prompt, sink_.get()) > 0) {
        detections_->RefreshMarks();
        RefreshStatus();
    }
}

bool Station::RunExitProcedure(bool askOperator) {
    if (exiting_) return true;
    if (askOperator && !CtrlHeld()) {
        if (Settings().beepWhenQuit.load() && services_.sounds != nullptr) services_.sounds->Play(StationSound::Quit);
        const bool sure = services_.prompt->AskYesNo(Tr("Souhaitez vraiment quitter le module d'acquisition ?",
                                                        "Do you really want to exit the acquisition module ?"),
                                                     true);
        if (!sure) return false;
    }
    exiting_ = true;
    // The waiting transfers are dropped; the running one is let finish, bounded by its time-outs.
    ftp_->StopFtpTransfers();
    StopTimers();
    boxes_->StopAllBoxThreads();
    statusRefreshTimer_.stop();
    ClearChipTable();
    if (CountActiveResults() > 0) ClearResults();
    Log(0, "+ Sortie du module d'acquisition...");
    Log(0, "------------------------ Sortie WinORVEX");
    if (options_.headless) PrintLogLines();
    instance_.Release();
    emit finished();
    return true;
}

}  // namespace winorvex
