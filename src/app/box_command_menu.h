#pragma once
// What the two clock buttons of the main window do and the pop-up menu of the second one: plain
// data, so that the widget only shows it and the tests check it without a window.
#include <span>
#include <string>
#include <vector>

namespace winorvex {

// The fixed items of the clock menu (the buttons' own numbers are in app/control_ids.h).
inline constexpr int kMenuSynchronise = 1125;
inline constexpr int kMenuShowTimes = 1126;
inline constexpr int kMenuDownload = 1175;
inline constexpr int kMenuReplayStart = 1129;
inline constexpr int kMenuReplayStop = 1130;
inline constexpr int kMenuClearLogged = 1134;
inline constexpr int kMenuPowerOff = 1223;
// The pop-up menu was closed without a choice.
inline constexpr int kMenuNoChoice = 0;
// Where the pop-up menus open, from the cursor.
inline constexpr int kMenuOffsetX = 4;
inline constexpr int kMenuOffsetY = 5;

// One entry of the expert part of the menu (all of them act on box 1).
struct ExpertItem {
    int id;
    const char* text;     // menu text, and the command's name in the log ...
    int command;          // reader command number; -1 for the download
    const char* logName;  // ... except where the log names it otherwise
};

// "DOWNLOAD" then the fourteen reader commands, in menu order.
std::span<const ExpertItem> ExpertItems();
// Null for an identifier that is no expert item.
const ExpertItem* FindExpertItem(int id);

struct ClockMenuEntry {
    int id = 0;  // 0: a separator
    std::string text;
    bool IsSeparator() const { return id == 0; }
};

// Items kMenuSynchronise and kMenuShowTimes (titled like the buttons outside extended status mode, one line each); with
// Ctrl held also a separator, "DOWNLOAD", a separator and the fourteen expert items.
std::vector<ClockMenuEntry> ClockMenuEntries(bool ctrlHeld);

enum class BoxButtonAction { SynchroniseClocks, InsertEliteMarker, ShowBoxTimes, ClockMenu };

// Button kControlSyncClocks.
BoxButtonAction SyncButtonAction(bool extendedStatusMode);
// Button kControlShowClocks; ctrlHeld is the state of Ctrl at the click.
BoxButtonAction TimesButtonAction(bool extendedStatusMode, bool ctrlHeld);
// The buttons' captions (line feeds are line breaks).
std::string SyncButtonCaption(bool extendedStatusMode);
std::string TimesButtonCaption(bool extendedStatusMode);

}  // namespace winorvex
