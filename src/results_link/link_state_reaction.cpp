#include "results_link/link_state_reaction.h"

#include "core/text_format.h"
#include "core/texts.h"
#include "results_link/results_messages.h"

namespace winorvex {

DirectLinkReaction ReactToDirectLinkState(const DirectLinkStateEvent& event, bool linkWanted) {
    DirectLinkReaction reaction;
    switch (event.state) {
        case DirectLinkState::Connecting:
            reaction.image = DirectButtonImage::Connecting;
            return reaction;
        case DirectLinkState::Connected:
            reaction.image = DirectButtonImage::On;
            reaction.sound = StationSound::ConnectionMade;
            reaction.logLines.push_back({80, DirectConnectedLogText()});
            reaction.startInformationTimer = true;
            return reaction;
        case DirectLinkState::Unanswered:
            // Loud, but the link stays: the results program may only be busy.
            reaction.image = DirectButtonImage::On;
            reaction.sound = StationSound::LinkAlarm;
            reaction.alertText = Format(Tr("KtORVEX : aucune réponse aux détections envoyées depuis %d s !",
                                           "KtORVEX : no answer to the detections sent for %d s!"),
                                        event.unansweredSeconds);
            reaction.balloonSeconds = 4;
            return reaction;
        case DirectLinkState::Closed:
            break;
    }
    reaction.stopInformationTimer = true;
    reaction.image = DirectButtonImage::Off;
    // A failed attempt that will be retried stays silent: the image says it all.
    if (event.retrying) return reaction;
    reaction.linkEnded = true;
    if (linkWanted) {
        reaction.raiseButton = true;
        reaction.sound = StationSound::LinkAlarm;
        reaction.alertText = DirectLostAlertText();
        reaction.balloonSeconds = 4;
        if (!event.reason.empty()) reaction.logLines.push_back({50, "## KtORVEX : " + event.reason});
    } else {
        reaction.sound = StationSound::Completion;
        reaction.logLines.push_back({80, DirectDisconnectedLogText()});
    }
    // Detections recorded here that the results program never got must not go unnoticed.
    if (event.unsentLines > 0) {
        reaction.logLines.push_back(
            {0, Format(Tr("## %zu ligne%s non transmise%s à KtORVEX", "## %zu line%s not sent to KtORVEX"),
                       event.unsentLines, event.unsentLines > 1 ? "s" : "", event.unsentLines > 1 ? "s" : "")});
    }
    return reaction;
}

}  // namespace winorvex
