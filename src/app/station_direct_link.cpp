// The station's side of its links to other programs: the direct connection to the results
// program (the button, the link's states and the lines that come back) and the FTP job reports.
#include <QString>
#include <algorithm>
#include <string>
#include <vector>

#include "app/station.h"
#include "app/station_outputs.h"
#include "core/log.h"
#include "core/station_settings.h"
#include "ftp/ftp_job_log.h"
#include "results_link/direct_connection.h"
#include "results_link/link_state_reaction.h"
#include "results_link/results_line.h"
#include "results_link/results_messages.h"
#include "results_link/results_pane.h"

namespace winorvex {

void Station::HandleDirectLinkState(const DirectLinkStateEvent& event) {
    const DirectLinkReaction reaction = ReactToDirectLinkState(event, directWanted_);
    directImage_ = static_cast<int>(reaction.image);
    if (reaction.sound && services_.sounds != nullptr) services_.sounds->Play(*reaction.sound);
    for (const ResultsLogLine& line : reaction.logLines) Log(line.level, line.text);
    if (!reaction.alertText.empty()) {
        ShowAlert(QString::fromStdString(reaction.alertText), false);
        ShowBalloon(QString::fromUtf8(DirectLostBalloonTitle()), QString::fromStdString(reaction.alertText), 1003);
    }
    if (reaction.stopInformationTimer) informationTimer_.stop();
    if (reaction.startInformationTimer) {
        informationTimer_.start();
        // Whatever the link could not send before, in record order, once each.
        if (outputs_->KeepWhileDisconnected()) {
            std::vector<std::string> lines = link_->TakeUnsentLines();
            std::size_t dropped = 0;
            for (std::string& line : outputs_->TakeBacklog(dropped)) lines.push_back(std::move(line));
            if (dropped > 0)
                LogF(0, "## %d detections recorded while disconnected could not be kept", static_cast<int>(dropped));
            for (const std::string& line : lines) link_->SendDirectLine(line);
            if (!lines.empty()) LogF(0, "+ %d detections sent again to KtORVEX", static_cast<int>(lines.size()));
        }
    }
    if (reaction.raiseButton) {
        const bool wasWanted = directWanted_;
        directWanted_ = false;
        // Without windows nobody can press the button again: the link is wanted again shortly.
        if (options_.headless && wasWanted && !directStoppedByVersion_ && !exiting_) {
            const int seconds = std::max(1, Settings().directReconnectSeconds.load());
            LogF(0, "+ KtORVEX : direct connection wanted again in %d s", seconds);
            directWanted_ = true;
            directRetryTimer_.start(seconds * 1000);
        }
    }
    emit directButtonChanged();
}

void Station::HandleDirectLine(const DirectLineEvent& event) {
    LogReceived(event.line);
    const ResultsLineOutcome outcome = DecodeResultsLine(event.line);
    LogResultsOutcome(outcome);
    if (outcome.display) {
        runnerName_ = QString::fromStdString(outcome.display->name);
        runnerRank_ = QString::fromStdString(outcome.display->rank);
        runnerTime_ = QString::fromStdString(outcome.display->time);
        emit runnerDisplayChanged();
    }
    if (outcome.summaryItem) {
        resultsPane_->Append(*outcome.summaryItem);
        emit resultsPaneChanged();
    }
    const bool speechWanted = voice_ && services_.keyboard != nullptr && services_.keyboard->ScrollLockOn();
    const std::string say = speech_->Choose(outcome.speechText, speechWanted);
    if (!say.empty()) Speak(say);
    if (outcome.incompatibleVersion && !versionTimer_.isActive()) versionTimer_.start();
}

void Station::HandleFtpJobState(const FtpJobStateEvent& event) {
    if (const std::optional<std::string> line = FtpJobLogLine(event)) Log(0, *line);
}

void Station::StartDirectLink() {
    const StationSettings& s = Settings();
    link_->StartDirectConnection(s.DirectHost(), s.directPort.load(), s.directReconnectSeconds.load());
}

void Station::DirectConnectionButton(bool down) {
    directWanted_ = down;
    directStoppedByVersion_ = false;
    directRetryTimer_.stop();
    directImage_ = down ? 134 : 135;
    if (down) {
        StartDirectLink();
    } else {
        link_->StopDirectConnection();
    }
    emit directButtonChanged();
    emit directConnectionWantedChanged(down);
}

void Station::SendInformationRequests() {
    if (!link_->IsDirectConnected()) return;
    for (const std::string_view request : kInformationRequests) link_->SendDirectLine(request);
}

void Station::StopForIncompatibleVersion() {
    directStoppedByVersion_ = true;
    directWanted_ = false;
    directRetryTimer_.stop();
    link_->StopDirectConnection();
    directImage_ = 135;
    emit directButtonChanged();
    services_.prompt->Warn(IncompatibleVersionText());
}

}  // namespace winorvex
