#include "app/config_model.h"

#include <utility>

#include "core/settings.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "reader/box_manager.h"
#include "reader/com_box.h"
#include "reader/orvex_box.h"
#include "reader/serial_com_box.h"

namespace winorvex {

namespace {

constexpr ValueRange kDirectPortRange{1024, 65535};
constexpr ValueRange kDirectReconnectRange{10, 180};
constexpr ValueRange kTcpPortRange{0, 65535};  // 0: the box is not configured
// A serial box's "port" is its speed; the transport opens the line at 9600 whatever it says.
constexpr ValueRange kSerialSpeedRange{0, 4000000};
constexpr int kComSpeed = 9600;

std::string Trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return std::string();
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

bool TransportBusy(const COrvexBox& box) {
    if (box.IsThreadRunning()) return true;
    return box.IsOpen() || box.IsReconnecting();
}

std::string ReconnectText(int seconds) {
    if (seconds == 0) return Tr("Simplement signaler par une alerte sonore", "Just signal it with an audible alarm");
    std::string duration;
    if (seconds < 60) {
        duration = Format("%ds", seconds);
    } else if (seconds % 60 == 0) {
        duration = Format("%dmn", seconds / 60);
    } else {
        duration = Format("%dmn%02d", seconds / 60, seconds % 60);
    }
    return Tr("Essayer de se reconnecter pendant ", "Try to reconnect for ") + duration;
}

// Reads a row's texts; false with the message of the first fault.
bool ReadBoxRow(std::string_view hostText, std::string_view portText, std::string& host, int& port,
                std::string& message) {
    host = Trim(hostText);
    const std::string portTrimmed = Trim(portText);
    port = 0;
    message.clear();
    if (portTrimmed.empty()) return true;
    // The transport's own rule: a host that will not open a serial line is not asked for a speed.
    const bool serial = CSerialComBox::IsSerialHost(host);
    if (!ParseWholeNumber(portTrimmed, serial ? kSerialSpeedRange : kTcpPortRange, port)) {
        message = Tr("Port TCP/IP invalide !!!!", "Invalid TCP/IP port number !!!!");
        return false;
    }
    if (serial && port != kComSpeed) {
        message = Tr("La vitesse devrait être 9600", "COM speed should be 9600...");
        return false;
    }
    return true;
}

std::string SelectedDetector(const ConfigBoxRow& shown) {
    // A form built by hand carries no list of its own: the standard one.
    if (shown.detectorItems.empty()) return DetectorOfItem(DetectorListItems(), shown.detectorSelection);
    return DetectorOfItem(shown.detectorItems, shown.detectorSelection);
}

}  // namespace

const std::vector<std::string>& DetectorListItems() {
    static const std::vector<std::string> items = [] {
        std::vector<std::string> list{"31     CLASSIC"};
        for (int id = 10; id <= 30; ++id) list.push_back(Format("%d     ", id));
        return list;
    }();
    return items;
}

std::string FirstWord(std::string_view item) {
    const std::size_t first = item.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::string();
    const std::size_t end = item.find(' ', first);
    return std::string(item.substr(first, end == std::string_view::npos ? end : end - first));
}

int DetectorItemIndex(std::string_view detectorId) {
    const auto& items = DetectorListItems();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (FirstWord(items[i]) == detectorId) return static_cast<int>(i);
    }
    return 0;
}

std::vector<std::string> DetectorItemsFor(std::string_view storedId) {
    std::vector<std::string> items = DetectorListItems();
    if (!storedId.empty() && FirstWord(items[static_cast<std::size_t>(DetectorItemIndex(storedId))]) != storedId) {
        items.emplace_back(storedId);
    }
    return items;
}

std::string DetectorOfItem(const std::vector<std::string>& items, int selection) {
    if (selection < 0 || selection >= static_cast<int>(items.size())) return std::string();
    const std::string& item = items[static_cast<std::size_t>(selection)];
    if (selection < static_cast<int>(DetectorListItems().size())) return FirstWord(item);
    return item;
}

std::vector<ReconnectChoice> ReconnectChoices(int storedSeconds) {
    std::vector<ReconnectChoice> choices;
    bool found = false;
    for (const int seconds : {0, 30, 60, 90, 120}) {
        choices.push_back({seconds, ReconnectText(seconds)});
        found = found || seconds == storedSeconds;
    }
    if (!found) choices.push_back({storedSeconds, ReconnectText(storedSeconds)});
    return choices;
}

std::vector<std::string> LongRaceItems() {
    return {Tr("Utiliser l'heure d'aujourd'hui", "Use today's time"), Tr("Ajouter 24h aux temps", "Add 24h to times"),
            Tr("Ajouter 48h aux temps", "Add 48h to times"), Tr("Ajouter 72h aux temps", "Add 72h to times")};
}

const char* BoxRowLockedNote() {
    return Tr(
        "Note importante: une fois établies les connexions avec les boîtiers, ces paramètres ne seront plus "
        "accessibles,\nsauf à se déconnecter des boîtiers.",
        "Important note: once the connections with the boxes are made, these parameters can no longer be "
        "changed,\nunless the boxes are disconnected.");
}

const char* CompatibilityWarningText() {
    return Tr("Attention !\nCette configuration est incompatible avec KtKOR Classic !",
              "Warning!\nThis configuration is not compatible with KtKOR Classic!");
}

const char* ReconnectListTip() {
    return Tr(
        "En cas de perte de connexion avec un boîtier, vous pouvez configurer WinORVEX afin qu'il tente de lui "
        "même de se reconnecter au boîtier au plus vite.",
        "In cas of a loss of connection to a box, you may configure WinORVEX to try to reconnect to the box "
        "automatically ASAP.");
}

ConfigForm OpenConfigForm(const BoxManager& boxes) {
    ConfigForm form;
    const StationSettings& s = Settings();
    form.exportFile = s.ExportFile();
    form.directHost = s.DirectHost();
    form.directPortText = Format("%d", s.directPort.load());
    form.directReconnectText = Format("%d", s.directReconnectSeconds.load());
    form.beepWhenQuit = s.beepWhenQuit.load();
    form.beepDetections = s.beepDetections.load();
    form.ignoreUnknownTags = s.ignoreUnknownTags.load() != 0;
    form.advanced = CurrentAdvancedValues();

    const int stored = s.boxReconnectSeconds.load();
    form.reconnectChoices = ReconnectChoices(stored);
    form.reconnectSelection = 1;
    for (std::size_t i = 0; i < form.reconnectChoices.size(); ++i) {
        if (form.reconnectChoices[i].seconds == stored) form.reconnectSelection = static_cast<int>(i);
    }
    const int days = s.daysToAdd.load();
    form.daysToAddSelection = days >= 0 && days < 4 ? days : 0;

    for (int row = 0; row < kConfigBoxRows; ++row) {
        const COrvexBox& box = boxes.Box(row + 1);
        ConfigBoxCopy& copy = form.boxes[static_cast<std::size_t>(row)];
        if (box.Transport() != nullptr) {
            const BoxAddress address = box.Address();
            copy.detectorId = address.detectorId;
            copy.host = address.host;
            copy.port = address.port;
            copy.open = box.IsOpen();
            copy.reconnecting = box.IsReconnecting() || (box.IsThreadRunning() && !copy.open);
        }
        ConfigBoxRow& shown = form.rows[static_cast<std::size_t>(row)];
        const bool set = !copy.host.empty() && copy.port != 0;
        shown.hostText = set ? copy.host : std::string();
        shown.portText = set ? Format("%d", copy.port) : std::string();
        shown.detectorItems = DetectorItemsFor(copy.detectorId);
        shown.detectorSelection = DetectorItemIndex(copy.detectorId);
        if (shown.detectorItems.size() > DetectorListItems().size()) {
            shown.detectorSelection = static_cast<int>(shown.detectorItems.size()) - 1;
        }
        shown.listEnabled = set;
        shown.enabled = !copy.Busy();
    }
    form.warning = NeedsCompatibilityWarning(form);
    form.opened = true;
    return form;
}

std::string CheckBoxRow(std::string_view hostText, std::string_view portText) {
    std::string host;
    int port = 0;
    std::string message;
    ReadBoxRow(hostText, portText, host, port, message);
    return message;
}

void UpdateBoxRow(ConfigForm& form, int row) {
    if (!form.opened || row < 0 || row >= kConfigBoxRows) return;
    ConfigBoxCopy& copy = form.boxes[static_cast<std::size_t>(row)];
    ConfigBoxRow& shown = form.rows[static_cast<std::size_t>(row)];
    if (!copy.Busy() && shown.enabled) {
        std::string host;
        int port = 0;
        std::string message;
        if (ReadBoxRow(shown.hostText, shown.portText, host, port, message)) {
            shown.listEnabled = !(host.empty() && port == 0);
            copy.detectorId = SelectedDetector(shown);
            copy.host = host;
            copy.port = port;
        }
    }
    form.warning = NeedsCompatibilityWarning(form);
}

bool NeedsCompatibilityWarning(const ConfigForm& form) {
    for (const ConfigBoxCopy& copy : form.boxes) {
        if (copy.host.empty() || copy.port == 0) continue;
        if (copy.detectorId != "31" && copy.detectorId != "C31") return true;
    }
    return false;
}

ConfigCheck ConfirmConfigForm(ConfigForm& form, BoxManager& boxes) {
    ConfigCheck check;
    int directPort = 0;
    int directReconnect = 0;
    if (!ParseWholeNumber(form.directPortText, kDirectPortRange, directPort)) {
        check.message = RangeMessage(kDirectPortRange);
        return check;
    }
    if (!ParseWholeNumber(form.directReconnectText, kDirectReconnectRange, directReconnect)) {
        check.message = RangeMessage(kDirectReconnectRange);
        return check;
    }
    // Every row is read into a candidate first: a refused row leaves the form and the boxes as they were.
    std::array<ConfigBoxCopy, kConfigBoxRows> candidate = form.boxes;
    for (int row = 0; row < kConfigBoxRows; ++row) {
        ConfigBoxCopy& copy = candidate[static_cast<std::size_t>(row)];
        const ConfigBoxRow& shown = form.rows[static_cast<std::size_t>(row)];
        if (copy.Busy() || !shown.enabled) continue;
        if (!ReadBoxRow(shown.hostText, shown.portText, copy.host, copy.port, check.message)) return check;
        copy.detectorId = SelectedDetector(shown);
    }
    const int selection = form.reconnectSelection;
    const bool validSelection = selection >= 0 && selection < static_cast<int>(form.reconnectChoices.size());

    StationSettings& s = Settings();
    s.SetExportFile(Trim(form.exportFile));
    s.SetDirectHost(Trim(form.directHost));
    s.directPort.store(directPort);
    s.directReconnectSeconds.store(directReconnect);
    ApplyAdvancedValues(form.advanced);
    form.boxes = candidate;
    for (int row = 0; row < kConfigBoxRows; ++row) {
        COrvexBox& box = boxes.Box(row + 1);
        const ConfigBoxCopy& copy = form.boxes[static_cast<std::size_t>(row)];
        // A box that is connected (or reconnecting) now keeps what it runs with, even when its row
        // was free on opening: its worker reads through that very transport.
        if (copy.Busy() || TransportBusy(box)) continue;
        box.Configure(BoxAddress{copy.detectorId, copy.host, copy.port});
    }
    if (validSelection) s.boxReconnectSeconds.store(form.reconnectChoices[static_cast<std::size_t>(selection)].seconds);
    s.beepWhenQuit.store(form.beepWhenQuit);
    s.beepDetections.store(form.beepDetections);
    s.ignoreUnknownTags.store(form.ignoreUnknownTags ? 1 : 0);
    s.daysToAdd.store(form.daysToAddSelection >= 0 && form.daysToAddSelection < 4 ? form.daysToAddSelection : 0);
    form.warning = NeedsCompatibilityWarning(form);
    check.accepted = true;
    return check;
}

void WriteConfigurationSettings(const BoxManager& boxes) {
    const StationSettings& s = Settings();
    const char* section = keys::kSettings;
    WriteSettingInt(section, "GOrvexIgnoreInputMsDelta", s.ignoreInputMsDelta.load());
    WriteSettingInt(section, "GOrvexIgnoreOutputMsDelta", s.ignoreOutputMsDelta.load());
    WriteSettingInt(section, "GOrvexReadMsDelta", s.readMsDelta.load());
    WriteSettingText(section, "GOrvexExportFile", s.ExportFile());
    WriteSettingInt(section, "BLogDetections", s.logDetections.load());
    WriteSettingInt(keys::kDirectConnection, "Port", s.directPort.load());
    WriteSettingText(keys::kDirectConnection, "Host", s.DirectHost());
    WriteSettingInt(keys::kDirectConnection, "ReconnectSeconds", s.directReconnectSeconds.load());
    WriteSettingInt(section, "GBoxReconnectSeconds", s.boxReconnectSeconds.load());
    WriteSettingInt(section, "GDaysToAdd", s.daysToAdd.load());
    ComputeRaceDays();
    WriteSettingBool(section, "GOrvexBeepDetections", s.beepDetections.load());
    WriteSettingBool(section, "GOrvexBeepWhenQuit", s.beepWhenQuit.load());
    WriteSettingBool(section, "GOrvexIgnoreUnknownTags", s.ignoreUnknownTags.load() != 0);
    for (int row = 0; row < kConfigBoxRows; ++row) boxes.Box(row + 1).SaveSettings(row);
}

}  // namespace winorvex
