// The main window over a real station in a scratch data folder, offscreen.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/detections_list_model.h"
#include "app/log_list_model.h"
#include "app/station.h"
#include "core/chrono.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/texts.h"
#include "detections/detections_pane.h"
#include "detections/result_list.h"
#include "support/recording_station_events.h"
#include "support/test_support.h"
#include "ui/detections_view.h"
#include "ui/log_view.h"

namespace winorvex {
namespace {

class AnswerPrompt : public OperatorPrompt {
public:
    bool AskYesNo(std::string_view text, bool) override {
        questions.emplace_back(text);
        return answer;
    }
    void Warn(std::string_view text) override { warnings.emplace_back(text); }
    void Inform(std::string_view text) override { informations.emplace_back(text); }
    bool answer = false;
    std::vector<std::string> questions;
    std::vector<std::string> warnings;
    std::vector<std::string> informations;
};

class NoKeys : public KeyboardState {
public:
    bool CtrlHeld() const override { return false; }
    bool ScrollLockOn() const override { return false; }
};

// Processes events until the condition holds or the deadline passes.
bool WaitWithEvents(const std::function<bool()>& condition,
                    std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    return test::WaitFor(
        [&condition] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return condition();
        },
        deadline);
}

class MainWindowTest : public ::testing::Test {
protected:
    virtual std::string SettingsText() const { return "[Settings]\nLogWinLevel=60\n"; }

    void SetUp() override {
        SetLanguage(Language::French);
        SetDataFolderOverride(scratch_.str());
        ClearResults();
        ClearDetectionsPaneQueue();
        scratch_.WriteFile("WinORVEX.ini", SettingsText());
        services_.prompt = &prompt_;
        services_.sounds = &sounds_;
        services_.keyboard = &keys_;
        station_ = std::make_unique<Station>(services_, StationOptions{});
        ASSERT_EQ(station_->Start(), StartOutcome::Ready);
        station_->InitialiseWindow();
        window_ = std::make_unique<MainWindow>(*station_);
    }

    void TearDown() override {
        window_.reset();
        if (!station_->Exiting()) station_->RunExitProcedure(false);
        station_.reset();
        ClearResults();
        ClearDetectionsPaneQueue();
        SetSettingsFilePath("");
        ClearDataFolderOverride();
    }

    void ShowWindow(QSize size) {
        window_->resize(size);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        QCoreApplication::processEvents();
    }

    template <typename W>
    W* Find(const char* name) const {
        W* widget = window_->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    test::ScratchDir scratch_;
    AnswerPrompt prompt_;
    test::RecordingStationEvents sounds_;
    NoKeys keys_;
    StationServices services_;
    std::unique_ptr<Station> station_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, UnlistedLogLevelShowsTheLowItemUntilTheOperatorPicksOne) {
    auto* levels = Find<QComboBox>("logLevel");
    ASSERT_NE(levels, nullptr);
    ASSERT_EQ(levels->count(), 5);
    EXPECT_EQ(levels->currentText(), QStringLiteral(" 25   [Faible]"));
    EXPECT_EQ(ReadSettingInt("Settings", "LogWinLevel", 0), 60);

    ShowWindow(QSize(1000, 700));
    levels->setFocus();
    QTest::keyClick(levels, Qt::Key_Down);  // the operator picks " 50   [Moyen]"
    EXPECT_EQ(station_->LogLevelItemIndex(), 2);
    EXPECT_EQ(levels->currentText(), QStringLiteral(" 50   [Moyen]"));
    EXPECT_EQ(ReadSettingInt("Settings", "LogWinLevel", 0), 50);
}

TEST_F(MainWindowTest, PanesGrowWithTheWindowAndButtonsStayAnchored) {
    ShowWindow(QSize(900, 620));
    auto* detections = Find<DetectionsView>("detectionsView");
    auto* log = Find<LogView>("logView");
    auto* quit = Find<QPushButton>("quit");
    auto* connect = Find<QPushButton>("connectBoxes");
    ASSERT_TRUE(detections && log && quit && connect);
    const QSize detectionsBefore = detections->size();
    const QSize logBefore = log->size();
    const QSize quitBefore = quit->size();
    // Positions in the window's coordinates (the buttons sit in rows of their own).
    auto fromCorner = [this](QWidget* w) {
        return QPoint(window_->width(), window_->height()) - w->mapTo(window_.get(), w->rect().bottomRight());
    };
    const QPoint quitFromCorner = fromCorner(quit);
    const QPoint connectAt = connect->mapTo(window_.get(), QPoint(0, 0));

    window_->resize(1300, 900);
    ASSERT_TRUE(WaitWithEvents([&] { return detections->width() > detectionsBefore.width(); }));
    EXPECT_GT(detections->height(), detectionsBefore.height());
    EXPECT_GT(log->width(), logBefore.width());
    EXPECT_GT(log->height(), logBefore.height());
    EXPECT_EQ(quit->size(), quitBefore);
    EXPECT_EQ(fromCorner(quit), quitFromCorner);
    EXPECT_EQ(connect->mapTo(window_.get(), QPoint(0, 0)), connectAt);
}

TEST_F(MainWindowTest, EscapeAndTheCloseBoxRunTheExitProcedure) {
    ShowWindow(QSize(1000, 700));
    prompt_.answer = false;
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    ASSERT_EQ(prompt_.questions.size(), 1u);
    EXPECT_EQ(prompt_.questions[0], "Souhaitez vraiment quitter le module d'acquisition ?");
    EXPECT_EQ(sounds_.Count(StationSound::Quit), 1);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(station_->Exiting());

    window_->close();  // the close box: the same question, still No
    EXPECT_EQ(prompt_.questions.size(), 2u);
    EXPECT_TRUE(window_->isVisible());

    prompt_.answer = true;
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_EQ(prompt_.questions.size(), 3u);
    EXPECT_TRUE(station_->Exiting());
    EXPECT_TRUE(WaitWithEvents([&] { return !window_->isVisible(); }));
}

TEST_F(MainWindowTest, EnterNeverClosesTheWindowNorPressesAButton) {
    ShowWindow(QSize(1000, 700));
    auto* quit = Find<QPushButton>("quit");
    ASSERT_NE(quit, nullptr);
    quit->setFocus();
    QTest::keyClick(quit, Qt::Key_Return);
    QTest::keyClick(window_.get(), Qt::Key_Enter);
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompt_.questions.empty());
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(MainWindowTest, ShowsTheVersionAndHidesTheDayOffsetOnTheFirstDay) {
    ShowWindow(QSize(1000, 700));
    auto* version = Find<QLabel>("versionText");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Version 4.50 - 9 jun 2o26"));
    ASSERT_EQ(station_->DayOffsetHours(), 0);
    EXPECT_FALSE(Find<QLabel>("dayOffset")->isVisible());
    EXPECT_FALSE(Find<QLabel>("dayOffsetIcon")->isVisible());
    EXPECT_EQ(Find<QLabel>("recordedCount")->text(), QStringLiteral("Aucune détection enregistrée"));
}

TEST_F(MainWindowTest, TheStationFinishingByItselfClosesTheWindow) {
    ShowWindow(QSize(1000, 700));
    ASSERT_TRUE(station_->RunExitProcedure(false));
    EXPECT_TRUE(WaitWithEvents([&] { return !window_->isVisible(); }));
    EXPECT_TRUE(prompt_.questions.empty());
}

TEST_F(MainWindowTest, DetectionsPaneFollowsTheStationAndLearnsWhereTheOperatorScrolled) {
    ShowWindow(QSize(1000, 700));
    auto* view = Find<DetectionsView>("detectionsView");
    ASSERT_NE(view, nullptr);
    DetectionsListModel& model = station_->Detections();
    for (int i = 0; i < 200; ++i) {
        AddToDetectionsPane("[Box 1]\t" + std::to_string(100 + i) + "\tDET1", 0, CChrono(9 * 3600 + i, 0));
    }
    ASSERT_TRUE(WaitWithEvents([&] {
        model.DrainQueue();
        return model.rowCount() == 200;
    }));
    EXPECT_EQ(model.Pane().VisibleLines(), static_cast<std::size_t>(view->VisibleLines()));
    ASSERT_TRUE(station_->ScrollDetections());

    emit station_->detectionsTopLineChanged(120);
    EXPECT_EQ(view->rowAt(0), 120);

    view->verticalScrollBar()->setValue(30);  // the operator scrolls back to read
    EXPECT_EQ(model.Pane().TopLine(), 30u);
    EXPECT_EQ(view->rowAt(0), 30);
}

TEST_F(MainWindowTest, LogFollowsNewLinesOnlyWhileTheOperatorLeavesItAtTheBottom) {
    ShowWindow(QSize(1000, 700));
    auto* log = Find<LogView>("logView");
    ASSERT_NE(log, nullptr);
    auto lines = [](int n, const char* text) {
        std::vector<LogEntry> entries(static_cast<std::size_t>(n));
        for (LogEntry& entry : entries) entry.text = text;
        return entries;
    };
    station_->LogLines().Append(lines(300, "+ line"));
    QCoreApplication::processEvents();
    ASSERT_GT(log->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(log->AtBottom());

    log->verticalScrollBar()->setValue(0);  // reading older lines
    station_->LogLines().Append(lines(20, "+ more"));
    QCoreApplication::processEvents();
    EXPECT_EQ(log->verticalScrollBar()->value(), 0);

    log->scrollToBottom();
    station_->LogLines().Append(lines(20, "+ again"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log->AtBottom());
}

class ExtendedStatusWindowTest : public MainWindowTest {
protected:
    std::string SettingsText() const override { return "[VALDRONE]\nExtendedStatus=1\n"; }
};

// What the pop-up menu showed; the first entry is chosen.
struct MenuSeen {
    std::vector<QString> texts;
    std::vector<bool> enabled;
};

void ChooseFirstEntryWhenMenuShows(MenuSeen& seen, int triesLeft = 400) {
    QTimer::singleShot(5, qApp, [&seen, triesLeft] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            if (triesLeft > 0) ChooseFirstEntryWhenMenuShows(seen, triesLeft - 1);
            return;
        }
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            seen.texts.push_back(action->text());
            seen.enabled.push_back(action->isEnabled());
        }
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
}

TEST_F(ExtendedStatusWindowTest, MixedSelectionOffersBothEntriesAndRemovesAfterTheQuestion) {
    ShowWindow(QSize(1000, 700));
    auto* view = Find<DetectionsView>("detectionsView");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    std::vector<std::uint32_t> serials;
    for (int i = 0; i < 3; ++i) {
        const CChrono daily(9 * 3600 + i, 0);
        const CRixResult record = AddResult("DET1", std::to_string(101 + i), CChrono(), daily, false, false);
        serials.push_back(record.serial);
        AddToDetectionsPane("[Box 1]\t" + std::to_string(101 + i) + "\tDET1", record.serial, daily);
    }
    ASSERT_TRUE(SetResultActive(serials[1], false));
    DetectionsListModel& model = station_->Detections();
    ASSERT_TRUE(WaitWithEvents([&] {
        model.DrainQueue();
        return model.rowCount() == 3;
    }));
    EXPECT_TRUE(model.index(1, 0).data(DetectionsListModel::kRemovedRole).toBool());

    view->selectRow(0);
    view->selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    prompt_.answer = true;
    MenuSeen seen;
    ChooseFirstEntryWhenMenuShows(seen);
    const QPoint at = view->visualRect(model.index(0, 1)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &click);

    ASSERT_EQ(seen.texts.size(), 3u);
    EXPECT_EQ(seen.texts[0], QStringLiteral("Supprimer les détections sélectionnées"));
    EXPECT_EQ(seen.texts[1], QStringLiteral("Restaurer les détections sélectionnées"));
    EXPECT_EQ(seen.texts[2], QStringLiteral("Annuler"));
    EXPECT_TRUE(seen.enabled[0]);
    EXPECT_TRUE(seen.enabled[1]);
    ASSERT_EQ(prompt_.questions.size(), 1u);
    EXPECT_EQ(prompt_.questions[0], "Supprimer ces 2 détections?");
    EXPECT_EQ(ClassifySelection({serials[0], serials[1]}), SelectionActivity::AllRemoved);
    EXPECT_EQ(ClassifySelection({serials[2]}), SelectionActivity::AllActive);
}

class SecondRaceDayWindowTest : public MainWindowTest {
protected:
    // The race started two days ago: today is its third day.
    std::string SettingsText() const override { return "[Settings]\nGDaysToAdd=2\n"; }
};

TEST_F(SecondRaceDayWindowTest, TheDayOffsetLabelShowsTheHoursWithItsIcon) {
    ShowWindow(QSize(1000, 700));
    ASSERT_EQ(station_->DayOffsetHours(), 48);
    auto* label = Find<QLabel>("dayOffset");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(Find<QLabel>("dayOffsetIcon")->isVisible());
    EXPECT_EQ(label->text(), QStringLiteral("+48h"));
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pointSize(), 12);

    emit station_->dayOffsetChanged(0);  // back to one day: hidden again
    EXPECT_FALSE(label->isVisible());
    EXPECT_FALSE(Find<QLabel>("dayOffsetIcon")->isVisible());
}

}  // namespace
}  // namespace winorvex
