#include "app/box_commands.h"

#include <unistd.h>

#include <QMetaObject>

#include "app/box_command_menu.h"
#include "app/marker_label.h"
#include "app/station.h"
#include "core/chrono.h"
#include "core/folders.h"
#include "core/local_time.h"
#include "core/log.h"
#include "core/texts.h"
#include "reader/box_manager.h"
#include "reader/com_box.h"
#include "reader/command_frame.h"
#include "reader/orvex_box.h"
#include "reader/side_channel.h"

namespace winorvex {

namespace {

constexpr int kSlotCount = BoxManager::kSlotCount;
constexpr int kExpertBox = 1;

// Configured and open: the only boxes the clock and marker commands talk to.
bool IsOpenBox(const COrvexBox& box) {
    return box.IsConfigured() && box.IsOpen();
}

void LogSendError(const std::string& label, const std::string& error) {
    LogF(0, Tr("## %s : Erreur envoi de commande : %s", "## %s : Error sending command: %s"), label.c_str(),
         error.c_str());
}

// A reader command of the expert menu. When the box cannot take it, nothing is sent and the reason
// is the one line of the failure; once sent, SendNamedCommand logs a failed write itself.
void SendExpertCommand(COrvexBox& box, int code, const char* name) {
    const bool ready = IsOpenBox(box);
    std::string error;
    if (!box.SendNamedCommand(code, name, error) && !ready) {
        LogF(0, "## %s : %s", box.GetLabel().c_str(), error.c_str());
    }
}

}  // namespace

BoxCommands::BoxCommands(Station& station, QObject* parent) : QObject(parent), station_(station) {}

BoxCommands::~BoxCommands() {
    cancel_.store(true);
    if (thread_.joinable()) thread_.join();
}

bool BoxCommands::ButtonsEnabled() const {
    return station_.BoxCommandsEnabled() && !busy_;
}

std::string BoxCommands::DownloadFilePath(const std::string& fileTag) {
    std::string folder = GetProgramFolder();
    // An installed program's folder is usually not the operator's to write: the log folder, which
    // always is, takes the file then.
    if (folder.empty() || ::access(folder.c_str(), W_OK) != 0) folder = GetLogFolder();
    return folder + "/" + fileTag + ".log";
}

bool BoxCommands::Launch(Work work) {
    if (busy_) return false;
    if (thread_.joinable()) thread_.join();
    busy_ = true;
    cancel_.store(false);
    liteRequests_.store(0);
    emit busyChanged(true);
    BoxManager& boxes = station_.Boxes();
    thread_ = std::thread([this, &boxes, work = std::move(work)] {
        work(boxes);
        // Dropped by Qt if this object is gone meanwhile (its destructor joined this thread).
        QMetaObject::invokeMethod(
            this, [this] { Finish(); }, Qt::QueuedConnection);
    });
    return true;
}

void BoxCommands::Finish() {
    if (thread_.joinable()) thread_.join();
    busy_ = false;
    emit busyChanged(false);
    emit commandFinished();
}

// ---- clocks ----------------------------------------------------------------------------------

bool BoxCommands::SynchroniseClocks() {
    if (busy_) return false;
    const bool sure = station_.Prompt().AskYesNo(
        Tr("Etes vous certain de vouloir synchroniser les boîtiers connectés ?\nCela provoque une mise à jour de leur "
           "horloge interne...",
           "Are you sure you want to synchronize connected ORVEX boxes ?\nThis will update their internal clock..."),
        true);
    if (!sure) return false;
    return Launch([this](BoxManager& boxes) { SynchroniseLoop(boxes); });
}

void BoxCommands::SynchroniseLoop(BoxManager& boxes) {
    for (int n = 1; n <= kSlotCount && !cancel_.load(); ++n) {
        COrvexBox& box = boxes.Box(n);
        if (!IsOpenBox(box)) continue;
        const std::string label = box.GetLabel();
        std::string error;
        if (box.SetClockElite(error) == kSideOk) {
            LogF(0, Tr("+ %s : Boîtier synchronisé (ELITE)", "+ %s : Box synchronized (ELITE)"), label.c_str());
            continue;
        }
        LogF(0, Tr("+ %s : Demande de synchronisation horloge (Lite)", "+ %s : Request for synchronization (Lite)"),
             label.c_str());
        // The reader keeps whole seconds: set at the start of one, it is off by a few milliseconds
        // instead of up to a second.
        const std::tm now = WaitForStartOfSecond();
        if (box.SendRawCommand(kCommandLiteClockSetting, LiteClockData(now), error)) {
            liteRequests_.fetch_add(1);
        } else {
            LogSendError(label, error);
        }
    }
}

bool BoxCommands::ShowBoxTimes() {
    return Launch([this](BoxManager& boxes) { BoxTimesLoop(boxes); });
}

void BoxCommands::BoxTimesLoop(BoxManager& boxes) {
    for (int n = 1; n <= kSlotCount && !cancel_.load(); ++n) {
        COrvexBox& box = boxes.Box(n);
        if (!IsOpenBox(box)) continue;
        const std::string label = box.GetLabel();
        std::string clock;
        std::string error;
        if (box.GetClockElite(clock, error) == kSideOk) {
            CChrono answeredAt;
            answeredAt.SetNowDaily();
            CChrono readerTime;
            const std::string_view text(clock);
            if (text.size() < 14 ||
                !readerTime.SetFromReaderStamp(text.substr(0, 8), text.substr(text.size() - 6), 0)) {
                // Never a made-up date: the operator sees what the reader said.
                LogF(0, Tr("## %s : Heure ELITE illisible : [%s]", "## %s : Unreadable ELITE clock: [%s]"),
                     label.c_str(), clock.c_str());
                continue;
            }
            LogF(0, Tr("+ %s : ELITE Date %s  %s (heure reçue à %s)", "+ %s : ELITE Date %s  %s (time got at %s)"),
                 label.c_str(), readerTime.FormatDateShort().c_str(), readerTime.FormatAbsClock().c_str(),
                 answeredAt.FormatDailyHundredths().c_str());
            continue;
        }
        LogF(0, Tr("+ %s : Demande heure boîtier (Lite)", "+ %s : Request for box time (Lite)"), label.c_str());
        if (box.SendRawCommand(kCommandLiteClockRequest, std::string_view(), error)) {
            liteRequests_.fetch_add(1);
        } else {
            LogSendError(label, error);
        }
    }
}

// ---- marker ----------------------------------------------------------------------------------

bool BoxCommands::InsertEliteMarker() {
    if (busy_) return false;
    TextQuestion question;
    question.title = "ELITE Marker";
    question.prompt = Tr("Libellé du marqueur à insérer dans l'ELITE :", "Enter ELITE marker label:");
    const std::optional<std::string> typed = station_.Prompt().AskText(question);
    if (!typed) return false;
    const std::string label = CleanMarkerLabel(*typed);
    if (label.empty()) {
        station_.Prompt().Warn(Tr("Le marqueur ne peut être vide", "Marker cannot be empty"));
        return false;
    }
    // Built once: every reader gets the very same text, so their histories can be matched.
    std::string marker = BuildMarkerText(label, LocalNow());
    return Launch([this, marker = std::move(marker)](BoxManager& boxes) { MarkerLoop(boxes, marker); });
}

void BoxCommands::MarkerLoop(BoxManager& boxes, const std::string& marker) {
    for (int n = 1; n <= kSlotCount && !cancel_.load(); ++n) {
        COrvexBox& box = boxes.Box(n);
        if (!IsOpenBox(box)) continue;
        const std::string label = box.GetLabel();
        std::string error;
        if (box.InsertMarkerElite(marker, error) == kSideOk) {
            LogF(0, Tr("+ %s : Marker [%s] inséré (ELITE)", "+ %s : Marker [%s] inserted (ELITE)"), label.c_str(),
                 marker.c_str());
        } else {
            LogF(0,
                 Tr("+ %s : Erreur insertion de marqueur [%s]. Boîtier Lite ?",
                    "+ %s : Error while inserting marker [%s]. Is is a Lite box ?"),
                 label.c_str(), marker.c_str());
        }
    }
}

// ---- clock menu and expert items -------------------------------------------------------------

bool BoxCommands::RunClockMenuItem(int itemId) {
    if (itemId == kMenuSynchronise) return SynchroniseClocks();
    if (itemId == kMenuShowTimes) return ShowBoxTimes();
    return RunExpertItem(itemId);
}

bool BoxCommands::RunExpertItem(int itemId) {
    const ExpertItem* item = FindExpertItem(itemId);
    if (item == nullptr || busy_) return false;
    // The two that cannot be undone from here: the reader's memory, and a reader switched off
    // stays off until someone reaches it.
    if (itemId == kMenuClearLogged &&
        !station_.Prompt().AskYesNo(Tr("Etes vous certain de vouloir effacer les enregistrements du boîtier 1 ?",
                                       "Are you sure you want to clear the records logged in box 1?"),
                                    false)) {
        return false;
    }
    if (itemId == kMenuPowerOff &&
        !station_.Prompt().AskYesNo(
            Tr("Etes vous certain de vouloir éteindre le boîtier 1 ?", "Are you sure you want to switch box 1 off?"),
            false)) {
        return false;
    }
    std::string downloadPath;
    if (itemId == kMenuDownload || itemId == kMenuReplayStart) {
        const COrvexBox& box = station_.Boxes().Box(kExpertBox);
        downloadPath = DownloadFilePath(box.Transport() != nullptr ? box.Address().FileTag() : std::string());
    }
    return Launch(
        [this, itemId, downloadPath](BoxManager& boxes) { ExpertWork(boxes.Box(kExpertBox), itemId, downloadPath); });
}

void BoxCommands::ExpertWork(COrvexBox& box, int itemId, const std::string& downloadPath) {
    const ExpertItem* item = FindExpertItem(itemId);
    const bool ready = IsOpenBox(box);
    std::string error;
    switch (itemId) {
        case kMenuDownload:
            if (!ready) {
                box.StartDownload(downloadPath, error);
                LogF(0, "## %s : %s", box.GetLabel().c_str(), error.c_str());
                return;
            }
            LogF(0, Tr("+ %s : Téléchargement dans %s", "+ %s : Downloading into %s"), box.GetLabel().c_str(),
                 downloadPath.c_str());
            // Its failures are logged on the way (a command not sent, a file not created).
            box.StartDownload(downloadPath, error);
            return;
        case kMenuReplayStart:
            // Appended: the file may hold a download that must not be lost.
            if (ready && !box.OpenDownloadFile(downloadPath, true)) {
                LogF(0, Tr("## %s : Impossible de créer le fichier %s", "## %s : Cannot create the file %s"),
                     box.GetLabel().c_str(), downloadPath.c_str());
            }
            break;
        case kMenuReplayStop:
            if (ready) box.CloseDownloadFile();
            break;
        default:
            break;
    }
    SendExpertCommand(box, item->command, item->logName);
}

}  // namespace winorvex
