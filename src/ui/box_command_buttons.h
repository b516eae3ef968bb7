#pragma once
// Buttons kControlSyncClocks and kControlShowClocks of the main window: the clock (or marker)
// command and the box clocks (or the clock menu). The widget only shows and forwards; what each
// click does is decided by app/box_command_menu.h and carried out by BoxCommands.
#include <QPoint>
#include <QWidget>

class QPushButton;

namespace winorvex {

class BoxCommands;
class KeyboardState;
class Station;

class BoxCommandButtons : public QWidget {
    Q_OBJECT

public:
    // keyboard: where the state of Ctrl at a click comes from (null: never held). commands must
    // outlive the widget.
    BoxCommandButtons(Station& station, BoxCommands& commands, const KeyboardState* keyboard,
                      QWidget* parent = nullptr);

    QPushButton* SyncButton() const { return sync_; }
    QPushButton* TimesButton() const { return times_; }

private:
    void UpdateEnabled();
    void OnSyncClicked();
    void OnTimesClicked();
    // Shows the clock menu at the cursor (plus the offset) and runs the chosen item.
    void PopUpClockMenu(bool ctrlHeld);

    Station& station_;
    BoxCommands& commands_;
    const KeyboardState* keyboard_;
    QPushButton* sync_;   // kControlSyncClocks, owned by the widget
    QPushButton* times_;  // kControlShowClocks
};

}  // namespace winorvex
