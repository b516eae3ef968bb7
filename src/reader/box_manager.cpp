#include "reader/box_manager.h"

#include <stdexcept>
#include <utility>

#include "core/log.h"
#include "core/station_events.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "detections/detection_file.h"
#include "reader/box_connect.h"
#include "reader/box_worker.h"

namespace winorvex {

BoxManager::BoxManager(BoxManagerServices services) : services_(std::move(services)) {
    for (int i = 0; i < kSlotCount; ++i) boxes_[static_cast<std::size_t>(i)].SetBoxNumber(i + 1);
}

BoxManager::~BoxManager() {
    for (int number = 1; number <= kSlotCount; ++number) {
        if (HasWorker(number)) StopBoxThread(number);
    }
}

int BoxManager::Index(int boxNumber) const {
    return boxNumber >= 1 && boxNumber <= kSlotCount ? boxNumber - 1 : -1;
}

COrvexBox& BoxManager::Box(int boxNumber) {
    const int index = Index(boxNumber);
    if (index < 0) throw std::out_of_range("box number");
    return boxes_[static_cast<std::size_t>(index)];
}

const COrvexBox& BoxManager::Box(int boxNumber) const {
    const int index = Index(boxNumber);
    if (index < 0) throw std::out_of_range("box number");
    return boxes_[static_cast<std::size_t>(index)];
}

bool BoxManager::HasWorker(int boxNumber) const {
    const int index = Index(boxNumber);
    return index >= 0 && workers_[static_cast<std::size_t>(index)] != nullptr;
}

void BoxManager::LoadAllSlots() {
    for (int i = 0; i < kSlotCount; ++i) boxes_[static_cast<std::size_t>(i)].LoadSettings(i);
}

bool BoxManager::ConnectBox(int boxNumber) {
    if (Index(boxNumber) < 0) return false;
    return winorvex::ConnectBox(Box(boxNumber));
}

ConnectAllOutcome BoxManager::ConnectAllBoxes() {
    int configured = 0;
    bool anyActive = false;
    for (const COrvexBox& box : boxes_) {
        if (!box.IsConfigured()) continue;
        ++configured;
        anyActive = anyActive || box.IsActive();
    }
    if (configured == 0) {
        ShowAlert(Tr("Aucun boîtier ORVEX n'est déclaré dans votre configuration !!!",
                     "No ORVEX box has been declared in your configuration !!!"),
                  services_.prompt);
        return ConnectAllOutcome::NoBoxDeclared;
    }
    if (anyActive) {
        StopAllBoxThreads();
        return ConnectAllOutcome::Disconnected;
    }

    int connected = 0;
    for (COrvexBox& box : boxes_) {
        if (!box.IsConfigured()) continue;
        // A worker that has just lost or given up its box may still be finishing: let it end
        // first, or the box would be connected with no worker to read it.
        if (HasWorker(box.BoxNumber())) StopBoxThread(box.BoxNumber());
        if (winorvex::ConnectBox(box)) ++connected;
    }
    if (connected == 0) {
        ShowAlert(Tr("Aucun boîtier ORVEX n'a été initialisé avec succès dans votre configuration !!!",
                     "No ORVEX box has been successfully initialized in your configuration !!!"),
                  services_.prompt);
        return ConnectAllOutcome::NoneInitialised;
    }

    if (services_.events != nullptr) services_.events->OnRecordedCountChanged();
    if (services_.openDetectionFile) {
        services_.openDetectionFile();
    } else if (const std::string path = DetectionFilePath(); !path.empty()) {
        OpenDetectionFile(path);
    }
    for (COrvexBox& box : boxes_) {
        if (box.IsOpen()) StartBoxThread(box.BoxNumber());
    }
    if (services_.sounds != nullptr) services_.sounds->Play(StationSound::ConnectionMade);
    return ConnectAllOutcome::Connected;
}

bool BoxManager::StartBoxThread(int boxNumber) {
    const int index = Index(boxNumber);
    if (index < 0) return false;
    std::unique_ptr<BoxWorker>& worker = workers_[static_cast<std::size_t>(index)];
    if (worker && !worker->Finished()) {
        LogF(0, "StartBoxThread: thread of box %d still running", boxNumber);
        return false;
    }
    worker.reset();  // joins the worker that ended
    COrvexBox& box = boxes_[static_cast<std::size_t>(index)];
    box.SetStopRequested(false);
    BoxWorkerServices services;
    services.events = services_.events;
    services.outputs = services_.outputs;
    services.sounds = services_.sounds;
    services.statusPostInterval = services_.statusPostInterval;
    worker = std::make_unique<BoxWorker>(box, services);
    return true;
}

void BoxManager::StopBoxThread(int boxNumber) {
    const int index = Index(boxNumber);
    if (index < 0) return;
    LogF(0, "StopBoxThread enter for box %d", boxNumber);
    COrvexBox& box = boxes_[static_cast<std::size_t>(index)];
    std::unique_ptr<BoxWorker>& worker = workers_[static_cast<std::size_t>(index)];
    box.SetStopRequested(true);
    if (worker) {
        // The worker first records what the reader already sent, then disconnects by itself.
        worker->RequestStop();
        worker->WaitFinished(kStopGrace);
    }
    CComBox* transport = box.Transport();
    // A worker still blocked (half a line, a connection attempt) is cut short here.
    if (transport != nullptr && transport->IsOpen()) transport->Disconnect();
    // The worker never waits for this thread, so it ends by itself once its read failed.
    worker.reset();
    LogF(0, "StopBoxThread done for box %d", boxNumber);
}

void BoxManager::StopAllBoxThreads() {
    for (int number = 1; number <= kSlotCount; ++number) StopBoxThread(number);
    // The workers are joined: no record can be on its way to the file any more.
    CloseDetectionFile();
    ScheduleStatusRefresh();
}

void BoxManager::OnBoxConnectionEvent(int boxNumber, bool unexpected) {
    const int index = Index(boxNumber);
    if (index < 0) return;
    UpdateBoxStatus(boxNumber);
    if (boxes_[static_cast<std::size_t>(index)].IsActive()) return;

    // A worker stopped by the operator (or the program) since it posted this event is not
    // restarted: such a stop always ends in "not connected".
    const bool hadWorker = HasWorker(boxNumber);
    LogF(0, "APP CNX ERROR for box %d. Expected = %s. StopBoxThread", boxNumber, unexpected ? "NO" : "YES");
    StopBoxThread(boxNumber);
    if (unexpected) {
        if (services_.sounds != nullptr) services_.sounds->Play(StationSound::BoxLost);
        if (hadWorker && Settings().boxReconnectSeconds.load() != 0) {
            LogF(0, "APP FOUND UNEXPECTED CNX ERROR for box %d and will restart BoxThread", boxNumber);
            StartBoxThread(boxNumber);
        }
    }
    ScheduleStatusRefresh();
}

void BoxManager::UpdateBoxStatus(int boxNumber) {
    if (Index(boxNumber) < 0 || !services_.statusChanged) return;
    const COrvexBox& box = Box(boxNumber);
    const BoxStatus status = GetBoxStatus(box);
    services_.statusChanged(boxNumber, status, BoxStatusTip(box, status));
}

void BoxManager::RefreshAllStatus() {
    for (int number = 1; number <= kSlotCount; ++number) UpdateBoxStatus(number);
}

void BoxManager::ScheduleStatusRefresh() {
    if (services_.scheduleStatusRefresh) services_.scheduleStatusRefresh();
}

}  // namespace winorvex
