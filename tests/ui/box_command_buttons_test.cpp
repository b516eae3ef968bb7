// Buttons 1013 and 1016: their captions and actions by extended status mode and Ctrl, and the
// clock menu placed at the cursor.
#include "ui/box_command_buttons.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "app/box_commands.h"
#include "app/station.h"
#include "app/station_fixture.h"

namespace winorvex::test {
namespace {

class BoxCommandButtonsTest : public StationTest {
protected:
    void Make() {
        MakeStation();
        commands_ = std::make_unique<BoxCommands>(*station_);
        buttons_ = std::make_unique<BoxCommandButtons>(*station_, *commands_, &keyboard_);
    }
    void TearDown() override {
        buttons_.reset();
        commands_.reset();
        StationTest::TearDown();
    }
    // Clicks 1016 and returns the entries of the menu it shows (closed at once), with where it opened.
    QStringList ClockMenuOf(QPoint& openedAt) {
        QStringList entries;
        QObject click;  // the polls for the menu end with the click
        ReadMenuOnceShown(click, entries, openedAt);
        buttons_->TimesButton()->click();
        return entries;
    }
    // Polled from the menu's own event loop, within a deadline.
    static void ReadMenuOnceShown(QObject& click, QStringList& entries, QPoint& openedAt, int triesLeft = 400) {
        QTimer::singleShot(5, &click, [&click, &entries, &openedAt, triesLeft] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) {
                if (triesLeft > 0) ReadMenuOnceShown(click, entries, openedAt, triesLeft - 1);
                return;
            }
            openedAt = menu->pos();
            for (QAction* action : menu->actions())
                entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
            menu->close();
        });
    }

    std::unique_ptr<BoxCommands> commands_;
    std::unique_ptr<BoxCommandButtons> buttons_;
};

TEST_F(BoxCommandButtonsTest, CaptionsFollowTheExtendedStatusMode) {
    Make();
    EXPECT_EQ(buttons_->SyncButton()->text().toStdString(), "Synchronisation\nheure boîtiers");
    EXPECT_EQ(buttons_->TimesButton()->text().toStdString(), "Voir heure\ndes boîtiers");
    // Disabled while no box is connected.
    EXPECT_FALSE(buttons_->SyncButton()->isEnabled());
}

TEST_F(BoxCommandButtonsTest, ExtendedStatusModeCaptions) {
    Ini("VALDRONE", "ExtendedStatus", "1");
    Make();
    EXPECT_EQ(buttons_->SyncButton()->text().toStdString(), "Insertion marqueur ELITE");
    EXPECT_EQ(buttons_->TimesButton()->text().toStdString(), "Heures boîtiers");
}

TEST_F(BoxCommandButtonsTest, CtrlOpensTheFullClockMenuAtTheCursor) {
    AddReader(1, 5, 0);
    Make();
    station_->ConnectAllBoxes();
    ASSERT_TRUE(Pump([&] { return buttons_->TimesButton()->isEnabled(); }));

    keyboard_.ctrl = true;
    QPoint at;
    const QPoint cursor = QCursor::pos();
    const QStringList full = ClockMenuOf(at);
    ASSERT_GT(full.size(), 5) << "no menu shown";
    EXPECT_EQ(full.at(0).toStdString(), "Synchronisation heure boîtiers");
    EXPECT_EQ(full.at(1).toStdString(), "Voir heure des boîtiers");
    EXPECT_EQ(full.at(2).toStdString(), "-");
    EXPECT_EQ(full.at(3).toStdString(), "DOWNLOAD");
    EXPECT_EQ(at, cursor + QPoint(4, 5));

    // Without Ctrl and outside extended status mode, 1016 shows the clocks at once: no menu.
    keyboard_.ctrl = false;
    QPoint none;
    EXPECT_TRUE(ClockMenuOf(none).isEmpty());
    EXPECT_TRUE(Pump([&] { return !commands_->Busy(); }));
}

}  // namespace
}  // namespace winorvex::test
