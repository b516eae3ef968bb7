#include "app/box_command_menu.h"

#include <algorithm>
#include <array>

#include "core/texts.h"
#include "reader/command_frame.h"

namespace winorvex {

namespace {

constexpr std::array<ExpertItem, 15> kExpertItems{{
    {kMenuDownload, "DOWNLOAD", -1, "DOWNLOAD"},
    {1127, "Record Start", kCommandRecordStart, "Record Start"},
    {1128, "Record Stop", kCommandRecordStop, "Record Stop"},
    {kMenuReplayStart, "Replay Start", kCommandReplayStart, "Replay Start"},
    {kMenuReplayStop, "Replay Stop", kCommandReplayStop, "Replay Stop"},
    {1131, "Replay One", kCommandReplayOne, "Replay One"},
    {1132, "Replay Rewind", kCommandReplayRewind, "Replay Rewind"},
    {1133, "Mark all records as read", kCommandMarkAllRead, "Mark all records as read"},
    {kMenuClearLogged, "Clear logged records", kCommandClearLogBuffer, "Clear Log buffer"},
    {1135, "Get Stats", kCommandGetStats, "Get Stats"},
    {1136, "Save 000027", kCommandSave000027, "Save 000027"},
    {1137, "Get Periodic Log Info", kCommandGetPeriodicLogInfo, "Get Periodic Log Info"},
    {1138, "Stop Periodic Log Info", kCommandStopPeriodicLogInfo, "Stop Periodic Log Info"},
    {1139, "Get Log Info", kCommandGetLogInfo, "Get Log Info"},
    {kMenuPowerOff, "Power Off", kCommandPowerOff, "Power Off"},
}};

// A button caption as a menu title: one line.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::span<const ExpertItem> ExpertItems() {
    return kExpertItems;
}

const ExpertItem* FindExpertItem(int id) {
    for (const ExpertItem& item : kExpertItems) {
        if (item.id == id) return &item;
    }
    return nullptr;
}

std::vector<ClockMenuEntry> ClockMenuEntries(bool ctrlHeld) {
    // The titles are the captions the window was built with, not the extended-mode ones.
    std::vector<ClockMenuEntry> entries{{kMenuSynchronise, OneLine(SyncButtonCaption(false))},
                                        {kMenuShowTimes, OneLine(TimesButtonCaption(false))}};
    if (!ctrlHeld) return entries;
    entries.push_back({});
    entries.push_back({kMenuDownload, kExpertItems[0].text});
    entries.push_back({});
    for (std::size_t i = 1; i < kExpertItems.size(); ++i) entries.push_back({kExpertItems[i].id, kExpertItems[i].text});
    return entries;
}

BoxButtonAction SyncButtonAction(bool extendedStatusMode) {
    return extendedStatusMode ? BoxButtonAction::InsertEliteMarker : BoxButtonAction::SynchroniseClocks;
}

BoxButtonAction TimesButtonAction(bool extendedStatusMode, bool ctrlHeld) {
    return extendedStatusMode || ctrlHeld ? BoxButtonAction::ClockMenu : BoxButtonAction::ShowBoxTimes;
}

std::string SyncButtonCaption(bool extendedStatusMode) {
    if (extendedStatusMode) return Tr("Insertion marqueur ELITE", "Insert ELITE marker");
    return Tr("Synchronisation\nheure boîtiers", "Synchronization\nof boxes clocks");
}

std::string TimesButtonCaption(bool extendedStatusMode) {
    if (extendedStatusMode) return Tr("Heures boîtiers", "Boxes clocks");
    return Tr("Voir heure\ndes boîtiers", "Display boxes\nclocks");
}

}  // namespace winorvex
