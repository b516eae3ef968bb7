#pragma once
// What the station does when the direct connection changes state: the button image, the sound,
// the log and alert lines, the information-request timer. A plain function, so the windowed and
// the headless station react alike and the decisions are tested without a window.
#include <optional>
#include <string>
#include <vector>

#include "core/station_events.h"
#include "results_link/results_line.h"

namespace winorvex {

// Images of the direct-connection button (control 1003).
enum class DirectButtonImage {
    Connecting = 145,
    On = 134,   // connected, or switched on
    Off = 135,  // off, failed or lost
};

struct DirectLinkReaction {
    DirectButtonImage image = DirectButtonImage::Off;
    std::optional<StationSound> sound;
    std::vector<ResultsLogLine> logLines;  // Log(level, text), in this order
    // Not empty: ShowAlert(alertText) without a message box, and a balloon on the button with the
    // title DirectLostBalloonTitle(), this text, icon 131, for balloonSeconds.
    std::string alertText;
    int balloonSeconds = 0;
    bool raiseButton = false;            // the link ended while wanted: the button goes up
    bool startInformationTimer = false;  // one shot after kInformationRequestDelayMs
    bool stopInformationTimer = false;
    bool linkEnded = false;  // the last state of this link: no further state comes
};

// linkWanted: the button is down (the operator, or --direct in headless mode, wants the link).
DirectLinkReaction ReactToDirectLinkState(const DirectLinkStateEvent& event, bool linkWanted);

}  // namespace winorvex
