#include "ui/box_command_buttons.h"

#include <QAction>
#include <QCursor>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>

#include "app/box_command_menu.h"
#include "app/box_commands.h"
#include "app/station.h"
#include "app/station_services.h"
#include "ui/qt_text.h"

namespace winorvex {

BoxCommandButtons::BoxCommandButtons(Station& station, BoxCommands& commands, const KeyboardState* keyboard,
                                     QWidget* parent)
    : QWidget(parent),
      station_(station),
      commands_(commands),
      keyboard_(keyboard),
      sync_(new QPushButton(this)),
      times_(new QPushButton(this)) {
    const bool extended = station_.ExtendedStatusMode();
    sync_->setObjectName(QStringLiteral("button1013"));
    times_->setObjectName(QStringLiteral("button1016"));
    sync_->setText(Q(SyncButtonCaption(extended)));
    times_->setText(Q(TimesButtonCaption(extended)));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sync_);
    layout->addWidget(times_);

    connect(sync_, &QPushButton::clicked, this, &BoxCommandButtons::OnSyncClicked);
    connect(times_, &QPushButton::clicked, this, &BoxCommandButtons::OnTimesClicked);
    connect(&station_, &Station::statusChanged, this, &BoxCommandButtons::UpdateEnabled);
    connect(&commands_, &BoxCommands::busyChanged, this, &BoxCommandButtons::UpdateEnabled);
    UpdateEnabled();
}

void BoxCommandButtons::UpdateEnabled() {
    const bool enabled = commands_.ButtonsEnabled();
    sync_->setEnabled(enabled);
    times_->setEnabled(enabled);
}

void BoxCommandButtons::OnSyncClicked() {
    if (SyncButtonAction(station_.ExtendedStatusMode()) == BoxButtonAction::InsertEliteMarker) {
        commands_.InsertEliteMarker();
    } else {
        commands_.SynchroniseClocks();
    }
}

void BoxCommandButtons::OnTimesClicked() {
    const bool ctrlHeld = keyboard_ != nullptr && keyboard_->CtrlHeld();
    if (TimesButtonAction(station_.ExtendedStatusMode(), ctrlHeld) == BoxButtonAction::ClockMenu) {
        PopUpClockMenu(ctrlHeld);
    } else {
        commands_.ShowBoxTimes();
    }
}

void BoxCommandButtons::PopUpClockMenu(bool ctrlHeld) {
    QMenu menu(this);
    for (const ClockMenuEntry& entry : ClockMenuEntries(ctrlHeld)) {
        if (entry.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(Q(entry.text));
        action->setData(entry.id);
    }
    const QAction* chosen = menu.exec(QCursor::pos() + QPoint(kMenuOffsetX, kMenuOffsetY));
    // Closed without a choice: nothing to do.
    if (chosen == nullptr) return;
    commands_.RunClockMenuItem(chosen->data().toInt());
}

}  // namespace winorvex
