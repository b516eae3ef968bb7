#include "app/handheld_download.h"

#include <ctime>
#include <thread>

#include "core/log.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "reader/box_manager.h"
#include "reader/command_frame.h"
#include "reader/logging_detail.h"

namespace winorvex {

HandheldDownloadModel::HandheldDownloadModel(BoxManager& boxes, SoundPlayer* sounds, HandheldTimings timings)
    : boxes_(boxes), sounds_(sounds), timings_(timings), declared_(DeclaredBoxes(boxes)) {}

std::chrono::milliseconds HandheldDownloadModel::PollInterval() const {
    return phase_ == Phase::Clearing ? timings_.clearPoll : timings_.detailPoll;
}

COrvexBox* HandheldDownloadModel::BoxAt(int index) {
    if (index < 0 || index >= static_cast<int>(declared_.size())) return nullptr;
    return &boxes_.Box(declared_[static_cast<std::size_t>(index)].boxNumber);
}

void HandheldDownloadModel::ShowOnly(std::string line) {
    information_.clear();
    information_.push_back(std::move(line));
}

void HandheldDownloadModel::Fail(const std::string& error) {
    phase_ = Phase::Idle;
    information_.push_back(error);
    if (sounds_ != nullptr) sounds_->Play(StationSound::Warning);
}

bool HandheldDownloadModel::Refresh(int index) {
    phase_ = Phase::Idle;
    COrvexBox* box = BoxAt(index);
    if (box == nullptr) {
        information_.clear();
        return false;
    }
    // The line of a clearing that just ended stays above the new counters.
    std::vector<std::string> kept;
    if (!information_.empty() &&
        information_.back() == Tr("Effacement des données Pistolet terminé.", "Handheld reader detections cleared.")) {
        kept.push_back(information_.back());
    }
    information_ = std::move(kept);
    information_.push_back(Tr("Recherche des détections...", "Looking for detections..."));
    current_ = index;
    box->SetLastLoggingDetail("");
    std::string error;
    if (!box->SendNamedCommand(kCommandGetLogInfo, "Get log info", error)) {
        Fail(error);
        return false;
    }
    phase_ = Phase::WaitingDetail;
    phaseStart_ = Clock::now();
    return true;
}

bool HandheldDownloadModel::Tick(Clock::time_point now) {
    switch (phase_) {
        case Phase::WaitingDetail:
            return TickDetail(now);
        case Phase::Clearing:
            return TickClearing(now);
        case Phase::Idle:
            break;
    }
    return false;
}

bool HandheldDownloadModel::TickDetail(Clock::time_point now) {
    COrvexBox* box = BoxAt(current_);
    const std::string reply = box != nullptr ? box->LastLoggingDetail() : std::string();
    if (!reply.empty()) {
        phase_ = Phase::Idle;
        CLoggingDetail detail;
        if (!detail.Parse(reply)) {
            Fail(Format(Tr("Réponse illisible du Pistolet : %s", "Unreadable answer of the handheld reader: %s"),
                        reply.c_str()));
            return true;
        }
        for (const std::string& line : detail.DetailLines()) information_.push_back(line);
        return true;
    }
    if (box == nullptr || box->Transport() == nullptr || !box->Transport()->IsOpen()) {
        Fail(Tr("Le boîtier n'est plus connecté.", "The box is not connected any more."));
        return true;
    }
    if (now - phaseStart_ >= timings_.detailWait) {
        Fail(Format(Tr("Pas de réponse du Pistolet en %d s.", "No answer from the handheld reader within %d s."),
                    static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(timings_.detailWait).count())));
        return true;
    }
    return false;
}

std::optional<std::string> HandheldDownloadModel::StartDownload(int index, const std::string& folder,
                                                                std::string& error) {
    COrvexBox* box = BoxAt(index);
    if (box == nullptr) {
        error.clear();
        return std::nullopt;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string path = folder + "/" + declared_[static_cast<std::size_t>(index)].fileTag + "-" + stamp + ".log";
    if (!box->StartDownload(path, error)) return std::nullopt;
    Stop();
    return path;
}

bool HandheldDownloadModel::StartClearing(int index) {
    COrvexBox* box = BoxAt(index);
    if (box == nullptr) return false;
    phase_ = Phase::Idle;
    current_ = index;
    // Each step needs the one before: clearing while the reader still records or replays would
    // leave part of its memory behind while the progress says 100 %.
    std::string error;
    if (!box->SendNamedCommand(kCommandRecordStop, "Record Stop", error)) {
        Fail(error);
        return false;
    }
    std::this_thread::sleep_for(timings_.commandPause);
    if (!box->SendNamedCommand(kCommandReplayStop, "Play Stop", error)) {
        Fail(error);
        return false;
    }
    std::this_thread::sleep_for(timings_.commandPause);
    box->SetClearingPercent(0);
    if (!box->SendNamedCommand(kCommandClearLogBuffer, "Clear Buffer", error)) {
        box->SetClearingPercent(kClearingUnknown);
        Fail(error);
        return false;
    }
    phase_ = Phase::Clearing;
    lastPercent_ = -1;
    lastChange_ = Clock::now();
    return true;
}

bool HandheldDownloadModel::TickClearing(Clock::time_point now) {
    COrvexBox* box = BoxAt(current_);
    if (box == nullptr || box->Transport() == nullptr || !box->Transport()->IsOpen()) {
        if (box != nullptr) box->SetClearingPercent(kClearingUnknown);
        Fail(Tr("Effacement interrompu : le boîtier n'est plus connecté.",
                "Clearing interrupted: the box is not connected any more."));
        return true;
    }
    const int percent = box->ClearingPercent();
    if (percent >= 100) {
        phase_ = Phase::Idle;
        box->SetClearingPercent(kClearingUnknown);
        information_.push_back(Tr("Effacement des données Pistolet terminé.", "Handheld reader detections cleared."));
        if (sounds_ != nullptr) sounds_->Play(StationSound::Completion);
        Refresh(current_);
        return true;
    }
    if (percent >= 0 && percent != lastPercent_) {
        lastPercent_ = percent;
        lastChange_ = now;
        information_.push_back(
            Format(Tr("Effacement des données Pistolet en cours : %d%%", "Clearing Handheld reader: %d%%"), percent));
        return true;
    }
    if (now - lastChange_ >= timings_.clearStuck) {
        box->SetClearingPercent(kClearingUnknown);
        Fail(Format(Tr("L'effacement n'avance plus (%d%%) : le Pistolet n'est pas effacé.",
                       "The clearing does not progress any more (%d%%): the handheld reader is not cleared."),
                    lastPercent_ < 0 ? 0 : lastPercent_));
        return true;
    }
    return false;
}

bool HandheldDownloadModel::SetRecording(int index, bool on) {
    COrvexBox* box = BoxAt(index);
    if (box == nullptr) return false;
    std::string error;
    const bool sent = on ? box->SendNamedCommand(kCommandRecordStart, "Record Start", error)
                         : box->SendNamedCommand(kCommandRecordStop, "Record Stop", error);
    if (!sent) Fail(error);
    return sent;
}

void HandheldDownloadModel::Stop() {
    if (phase_ == Phase::Clearing) {
        COrvexBox* box = BoxAt(current_);
        if (box != nullptr) box->SetClearingPercent(kClearingUnknown);
    }
    phase_ = Phase::Idle;
}

}  // namespace winorvex
