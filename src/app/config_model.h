#pragma once
// The configuration of the boxes, the direct connection and the general options, without its
// widgets: what the form shows on opening, the update of a box row as the operator types, the
// compatibility warning, and the confirmation that checks every field and every row before it
// changes anything. The station then writes the settings (WriteConfigurationSettings).
//
// Threads: the station thread. The boxes' live state (open, reconnecting) is read from their
// transports, whose flags are atomics.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/advanced_config.h"

namespace winorvex {

class BoxManager;

inline constexpr int kConfigBoxRows = 4;

// A box's parameters as the form works on them.
struct ConfigBoxCopy {
    std::string detectorId;
    std::string host;
    int port = 0;
    bool open = false;
    bool reconnecting = false;
    bool Busy() const { return open || reconnecting; }
};

// What the operator sees and edits in one box row.
struct ConfigBoxRow {
    std::string hostText;
    std::string portText;
    // DetectorListItems(), then the stored identifier itself when it is none of them.
    std::vector<std::string> detectorItems;
    int detectorSelection = 0;  // index in detectorItems, -1: none
    bool enabled = true;        // false: the box was open or reconnecting on opening
    bool listEnabled = false;   // the detector list
};

struct ReconnectChoice {
    int seconds = 0;
    std::string text;
};

struct ConfigForm {
    std::array<ConfigBoxCopy, kConfigBoxRows> boxes;
    std::array<ConfigBoxRow, kConfigBoxRows> rows;
    std::string exportFile;
    std::string directHost;
    std::string directPortText;
    std::string directReconnectText;
    std::vector<ReconnectChoice> reconnectChoices;
    int reconnectSelection = 1;
    int daysToAddSelection = 0;
    bool beepWhenQuit = true;
    bool beepDetections = true;
    bool ignoreUnknownTags = false;
    // Edited by the advanced configuration; they take effect with this form's confirmation.
    AdvancedValues advanced;
    bool warning = false;  // the compatibility warning is shown (and blinks)
    bool opened = false;   // rows are updated only once the form has finished opening
};

// The outcome of the form's OK.
struct ConfigCheck {
    bool accepted = false;
    std::string message;  // shown with an exclamation icon when refused
};

// "31     CLASSIC", then "10     " ... "30     ": the identifier is the first word of an item.
const std::vector<std::string>& DetectorListItems();
std::string FirstWord(std::string_view item);
// Index in DetectorListItems() of the item whose first word is the identifier, else 0.
int DetectorItemIndex(std::string_view detectorId);
// A row's list: the standard items, and a box's own identifier that is none of them ("C31", "7")
// as an extra item holding just that identifier, so that an OK writes it back as it was. An empty
// identifier adds nothing.
std::vector<std::string> DetectorItemsFor(std::string_view storedId);
// The identifier of an item of such a list: the first word of a standard item, an extra item as
// it is; empty when nothing is selected.
std::string DetectorOfItem(const std::vector<std::string>& items, int selection);

// The five reconnection choices; a stored value that is none of them is kept as a sixth item.
std::vector<ReconnectChoice> ReconnectChoices(int storedSeconds);
// "Utiliser l'heure d'aujourd'hui", "Ajouter 24h aux temps" ... (index = GDaysToAdd).
std::vector<std::string> LongRaceItems();

const char* BoxRowLockedNote();
const char* CompatibilityWarningText();
const char* ReconnectListTip();

// The form from the process-wide values and the boxes' current parameters and state.
ConfigForm OpenConfigForm(const BoxManager& boxes);

// The check of one row's texts in reporting mode: the message of its first fault, else empty.
std::string CheckBoxRow(std::string_view hostText, std::string_view portText);

// The row changed (host, port or detector): the working copy follows when the texts are valid,
// the detector list is enabled, and the warning recomputed. Nothing before the form is opened,
// nothing for a locked row.
void UpdateBoxRow(ConfigForm& form, int row);
// Some box counted (host and port set) uses a detector other than "31" and "C31".
bool NeedsCompatibilityWarning(const ConfigForm& form);

// The OK: the direct-connection fields (port 1024..65535, reconnect seconds 10..180) and every
// row are checked first; a refusal changes nothing. Then the process-wide values and the
// advanced values are stored, and each box that is neither open nor reconnecting now gets the
// transport its host calls for and its parameters. `form` then holds what was stored.
ConfigCheck ConfirmConfigForm(ConfigForm& form, BoxManager& boxes);

// What the station does after a confirmed configuration: the edited keys written, the race-day
// dates recomputed, the four boxes saved to section "OrvexBoxes".
void WriteConfigurationSettings(const BoxManager& boxes);

}  // namespace winorvex
