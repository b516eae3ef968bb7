// The station's side of its links to other programs: the direct connection to the results
// program (the button, the link's states and the lines that come back) and the FTP job reports.
#include <QString>
#include <algorithm>
#include <string>

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
    // A link switched off and on again at once still has its last word queued: it is not about
    // the link that runs now.
    if (event.generation != directGeneration_) return;
    const DirectLinkReaction reaction = ReactToDirectLinkState(event, directWanted_);
    directImage_ = static_cast<int>(reaction.image);
    if (reaction.sound && services_.sounds != nullptr) services_.sounds->Play(*reaction.sound);
    for (const ResultsLogLine& line : reaction.logLines) Log(line.level, line.text);
    if (!reaction.alertText.empty()) {
        ShowAlert(QString::fromStdString(reaction.alertText), false);
        ShowBalloon(QString::fromUtf8(DirectLostBalloonTitle()), QString::fromStdString(reaction.alertText),
                    kControlDirectConnection);
    }
    if (reaction.stopInformationTimer) informationTimer_.stop();
    // Nothing is sent again from here: the link itself starts after what KtORVEX has read.
    if (reaction.startInformationTimer) informationTimer_.start();
    if (reaction.raiseButton) {
        const bool wasWanted = directWanted_;
        directWanted_ = false;
        // Without windows nobody can press the button again: the link is wanted again shortly.
        if (options_.headless && wasWanted && !directStoppedByVersion_ && !exiting_) {
            const int seconds = std::max(1, Settings().directReconnectSeconds.load());
            LogF(0,
                 Tr("+ KtORVEX : connexion directe redemandée dans %d s",
                    "+ KtORVEX : direct connection wanted again in %d s"),
                 seconds);
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
    directGeneration_ =
        link_->StartDirectConnection(s.DirectHost(), s.directPort.load(), s.directReconnectSeconds.load());
}

void Station::DirectConnectionButton(bool down) {
    directWanted_ = down;
    directStoppedByVersion_ = false;
    directRetryTimer_.stop();
    directImage_ = static_cast<int>(down ? winorvex::DirectButtonImage::On : winorvex::DirectButtonImage::Off);
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
    directImage_ = static_cast<int>(winorvex::DirectButtonImage::Off);
    emit directButtonChanged();
    services_.prompt->Warn(IncompatibleVersionText());
}

}  // namespace winorvex
