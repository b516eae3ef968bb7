// The operator dialogs as widgets: what they show on opening, what their buttons and timers do.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>

#include "app/progress.h"
#include "chips/chip_table.h"
#include "core/chrono.h"
#include "core/station_settings.h"
#include "core/texts.h"
#include "reader/box_manager.h"
#include "support/qt_wait.h"
#include "support/scripted_prompt.h"
#include "support/test_support.h"
#include "ui/config_advanced_dialog.h"
#include "ui/config_dialog.h"
#include "ui/insert_detection_dialog.h"
#include "ui/label_dialog.h"
#include "ui/progress_dialog.h"

namespace winorvex::test {
namespace {

bool Pump(const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::milliseconds(5000)) {
    return PumpEventsUntil(done, deadline);
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::French); }
    void TearDown() override {
        ClearChipTable();
        Settings().daysToAdd = 0;
        ComputeRaceDays();
    }
    ScratchDir scratch_;
    ScriptedOperator operator_;
};

TEST_F(DialogsTest, InsertionOpensOnTheBibWithTodaysDayIndexAndItsLabel) {
    ASSERT_TRUE(ReadChipTableFile(scratch_.WriteFile("table.dtb", "12 E200001234\r\n")));
    Settings().daysToAdd = 1;
    ComputeRaceDays();
    InsertTimeForm form = OpenInsertTimeForm({"31", "12"}, CChrono(CChrono::kNowAbs));
    InsertDetectionDialog dialog(form, operator_);
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), dialog.BibField());
    EXPECT_EQ(dialog.DayList()->currentIndex(), 1);
    EXPECT_EQ(dialog.DayLabel()->text(), QStringLiteral("+24h"));
    EXPECT_FALSE(dialog.DayLabel()->isHidden());
    EXPECT_FALSE(dialog.DayIcon()->isHidden());
    EXPECT_TRUE(dialog.DayLabel()->font().bold());
    EXPECT_EQ(dialog.DayLabel()->font().pointSize(), 12);
    EXPECT_EQ(dialog.DetectorList()->count(), 2);
    EXPECT_TRUE(dialog.ClockLabel()->text().startsWith(QStringLiteral("Insertion du temps : ")));
    dialog.DayList()->setCurrentIndex(0);
    EXPECT_TRUE(dialog.DayLabel()->isHidden());
    EXPECT_TRUE(dialog.DayIcon()->isHidden());
    dialog.DayList()->setCurrentIndex(3);
    EXPECT_EQ(dialog.DayLabel()->text(), QStringLiteral("+72h"));

    // A refused bib is said, emptied, and the form stays.
    QTest::keyClicks(dialog.BibField(), QStringLiteral("12x"));
    dialog.accept();
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(operator_.warnings[0], "Dossard vide ou invalide !");
    EXPECT_TRUE(dialog.BibField()->text().isEmpty());
    EXPECT_TRUE(dialog.isVisible());

    dialog.BibField()->setText(QStringLiteral("12"));
    dialog.TimeField()->setText(QStringLiteral("10:15:00.00"));
    dialog.DetectorList()->setCurrentIndex(1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(form.bib, 12);
    EXPECT_EQ(form.detectorId, "12");
    EXPECT_EQ(form.dayIndex, 3);
}

TEST_F(DialogsTest, FactoryValuesThenCancelChangeNothing) {
    AdvancedValues values{100, 400, 5};
    {
        ConfigAdvancedDialog dialog(values, operator_);
        EXPECT_EQ(dialog.IgnoreInputField()->value(), 100);
        QTest::mouseClick(dialog.FactoryButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.IgnoreInputField()->value(), 50);
        EXPECT_EQ(dialog.IgnoreOutputField()->value(), 300);
        EXPECT_EQ(dialog.ReadField()->value(), 1);
        dialog.reject();
    }
    EXPECT_EQ(values, (AdvancedValues{100, 400, 5}));
    ConfigAdvancedDialog dialog(values, operator_);
    EXPECT_EQ(dialog.IgnoreOutputField()->minimum(), 50);
    EXPECT_EQ(dialog.ReadField()->maximum(), 20);
    QTest::mouseClick(dialog.FactoryButton(), Qt::LeftButton);
    dialog.accept();
    EXPECT_EQ(values, AdvancedFactoryValues());
    EXPECT_EQ(Settings().ignoreInputMsDelta.load(), 50);  // the running value is the configuration's business
}

class ConfigDialogTest : public DialogsTest {
protected:
    BoxManager boxes_{BoxManagerServices{}};
};

TEST_F(ConfigDialogTest, TheWarningBlinksWhileABoxUsesAnotherDetector) {
    ConfigForm form = OpenConfigForm(boxes_);
    ConfigDialog dialog(form, boxes_, operator_);
    dialog.show();
    EXPECT_TRUE(dialog.WarningText()->isHidden());
    EXPECT_FALSE(dialog.BlinkActive());
    // The slot's transport starts as localhost:10000: the operator retypes both.
    dialog.Row(0).host->clear();
    dialog.Row(0).port->clear();
    QTest::keyClicks(dialog.Row(0).host, QStringLiteral("reader"));
    QTest::keyClicks(dialog.Row(0).port, QStringLiteral("10000"));
    EXPECT_TRUE(dialog.Row(0).detector->isEnabled());
    dialog.Row(0).detector->setCurrentIndex(DetectorItemIndex("12"));
    emit dialog.Row(0).detector->activated(DetectorItemIndex("12"));
    EXPECT_EQ(form.boxes[0].host + "|" + std::to_string(form.boxes[0].port) + "|" + form.boxes[0].detectorId,
              "reader|10000|12");
    ASSERT_TRUE(dialog.BlinkActive());
    const bool first = dialog.WarningText()->isHidden();
    ASSERT_TRUE(Pump([&] { return dialog.WarningText()->isHidden() != first; }, std::chrono::milliseconds(2000)));
    ASSERT_TRUE(Pump([&] { return dialog.WarningText()->isHidden() == first; }, std::chrono::milliseconds(2000)));
    EXPECT_EQ(dialog.WarningIcon()->isHidden(), dialog.WarningText()->isHidden());

    dialog.Row(0).detector->setCurrentIndex(0);
    emit dialog.Row(0).detector->activated(0);
    EXPECT_FALSE(dialog.BlinkActive());
    EXPECT_TRUE(dialog.WarningText()->isHidden());
}

TEST_F(ConfigDialogTest, AnIdentifierOutsideTheListIsShownAndKeptByOk) {
    boxes_.Box(1).SetAddress(BoxAddress{"C31", "reader", 10000});
    ConfigForm form = OpenConfigForm(boxes_);
    ConfigDialog dialog(form, boxes_, operator_);
    dialog.show();
    ASSERT_EQ(dialog.Row(0).detector->count(), 23);
    EXPECT_EQ(dialog.Row(0).detector->currentText(), QStringLiteral("C31"));
    EXPECT_EQ(dialog.Row(1).detector->count(), 22);
    dialog.accept();
    EXPECT_TRUE(operator_.warnings.empty());
    EXPECT_EQ(boxes_.Box(1).Address().detectorId, "C31");
}

TEST_F(ConfigDialogTest, TopMostForAWhileUnlessTheOperatorEdits) {
    ConfigForm form = OpenConfigForm(boxes_);
    ConfigDialogTimings quick;
    quick.topMostMs = 150;
    {
        ConfigDialog dialog(form, boxes_, operator_, nullptr, quick);
        dialog.show();
        EXPECT_TRUE(dialog.TopMost());
        EXPECT_TRUE(Pump([&] { return !dialog.TopMost(); }, std::chrono::milliseconds(3000)));
        EXPECT_TRUE(dialog.isVisible());
    }
    ConfigDialog dialog(form, boxes_, operator_, nullptr, quick);
    dialog.show();
    QTest::keyClicks(dialog.DirectPortField(), QStringLiteral("1"));
    EXPECT_FALSE(dialog.TopMostTimerActive());
    EXPECT_FALSE(Pump([&] { return !dialog.TopMost(); }, std::chrono::milliseconds(450)));
    // The default is the 7.5 s of the station.
    EXPECT_EQ(ConfigDialogTimings{}.topMostMs, 7500);
}

TEST_F(ConfigDialogTest, AdvancedValuesWaitForTheConfigurationsOk) {
    Settings().ignoreInputMsDelta = 120;
    ConfigForm form = OpenConfigForm(boxes_);
    ConfigDialog dialog(form, boxes_, operator_, nullptr, ConfigDialogTimings{60000, 800});
    dialog.show();
    // The advanced window answers through this, once it is open.
    auto answer = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto* advanced = qobject_cast<ConfigAdvancedDialog*>(QApplication::activeModalWidget());
            if (advanced == nullptr) return;
            QTest::mouseClick(advanced->FactoryButton(), Qt::LeftButton);
            if (ok) {
                advanced->accept();
            } else {
                advanced->reject();
            }
        });
    };
    answer(false);
    QTest::mouseClick(dialog.AdvancedButton(), Qt::LeftButton);
    EXPECT_EQ(form.advanced.ignoreInputMsDelta, 120);
    EXPECT_FALSE(dialog.TopMostTimerActive());  // a click on 1089 keeps the window on top
    answer(true);
    QTest::mouseClick(dialog.AdvancedButton(), Qt::LeftButton);
    EXPECT_EQ(form.advanced, AdvancedFactoryValues());
    EXPECT_EQ(Settings().ignoreInputMsDelta.load(), 120);
    dialog.reject();
    EXPECT_EQ(Settings().ignoreInputMsDelta.load(), 120);
    Settings().ignoreInputMsDelta = 50;
}

TEST_F(ConfigDialogTest, RefusedOkStaysOpenAndStoresNothing) {
    ConfigForm form = OpenConfigForm(boxes_);
    ConfigDialog dialog(form, boxes_, operator_);
    dialog.show();
    const BoxAddress before = boxes_.Box(1).Address();
    dialog.Row(0).host->setText(QStringLiteral("COM1"));
    dialog.Row(0).port->setText(QStringLiteral("10000"));
    dialog.DirectPortField()->setText(QStringLiteral("9000"));
    dialog.accept();
    ASSERT_EQ(operator_.warnings.size(), 1u);
    EXPECT_EQ(operator_.warnings[0], "La vitesse devrait être 9600");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Settings().directPort.load(), 8283);
    EXPECT_EQ(boxes_.Box(1).Address().host, before.host);
    EXPECT_EQ(boxes_.Box(1).Address().port, before.port);
    EXPECT_FALSE(boxes_.Box(1).Transport()->IsSerial());
    // A box row of a connected box is locked with its note.
    ConfigForm locked = form;
    locked.rows[1].enabled = false;
    ConfigDialog other(locked, boxes_, operator_);
    EXPECT_FALSE(other.Row(1).host->isEnabled());
    EXPECT_TRUE(other.Row(1).host->toolTip().startsWith(QStringLiteral("Note importante")));
    EXPECT_FALSE(other.LockedNote()->isHidden());
    EXPECT_TRUE(dialog.LockedNote()->isHidden());
    EXPECT_EQ(other.ReconnectList()->toolTipDuration(), 15000);
}

TEST_F(DialogsTest, LabelPromptFormsAndPlacement) {
    LabelDialogFields multi;
    multi.prompt = QStringLiteral("Ligne 1\nLigne 2");
    multi.text = QStringLiteral("a\r\nb");
    multi.lines = 3;
    LabelDialog many(multi);
    ASSERT_TRUE(many.IsMultiLine());
    EXPECT_EQ(many.LineEdit(), nullptr);
    EXPECT_EQ(many.MultiLineEdit()->toPlainText(), QStringLiteral("a\nb"));
    EXPECT_EQ(many.windowTitle(), QStringLiteral("<Get Label>"));
    EXPECT_EQ(many.objectName(), QStringLiteral("GetLabelBox"));

    LabelDialogFields secret;
    secret.masked = true;
    secret.noCancel = true;
    secret.caption = QStringLiteral("Mot de passe");
    secret.placement.position = ScreenPoint{40, 60};
    LabelDialog masked(secret);
    masked.show();
    EXPECT_EQ(masked.LineEdit()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(masked.CancelButton()->isEnabled());
    masked.reject();  // Escape: an answer is required
    EXPECT_TRUE(masked.isVisible());
    EXPECT_EQ(masked.pos(), QPoint(40, 60));
    masked.LineEdit()->setText(QStringLiteral("s3cret"));
    masked.accept();
    EXPECT_EQ(masked.Fields().text, QStringLiteral("s3cret"));
    ASSERT_TRUE(LastLabelPromptPosition());

    LabelDialogFields plain;
    plain.text = QStringLiteral("x");
    LabelDialog normal(plain);
    EXPECT_EQ(normal.LineEdit()->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(normal.CancelButton()->isEnabled());
}

TEST_F(DialogsTest, TheDialogPromptAnswersTextQuestionsAndForwardsTheRest) {
    DialogTextPrompt prompt(operator_, [] { return nullptr; });
    prompt.Warn("attention");
    EXPECT_EQ(operator_.warnings, (std::vector<std::string>{"attention"}));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<LabelDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        dialog->LineEdit()->setText(QStringLiteral("  Marqueur 1 "));
        dialog->accept();
    });
    TextQuestion question;
    question.prompt = "Libellé :";
    question.initial = "M";
    const std::optional<std::string> answer = prompt.AskText(question);
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "  Marqueur 1 ");  // the caller trims
    EXPECT_TRUE(operator_.textQuestions.empty());
}

TEST_F(DialogsTest, ProgressStopLeavesTheWindowOpenAndTheOwnerIsGivenBack) {
    QWidget owner;
    owner.show();
    ProgressState state;
    {
        ProgressDialog progress(state);
        ASSERT_TRUE(progress.Create(&owner));
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_TRUE(progress.isEnabled());
        EXPECT_EQ(progress.windowTitle(), QStringLiteral("Progress"));
        QTest::mouseClick(progress.StopButton(), Qt::LeftButton);
        EXPECT_TRUE(progress.isVisible());
        EXPECT_TRUE(progress.CheckCancel());
        EXPECT_FALSE(progress.CheckCancel());
        QTest::keyClick(&progress, Qt::Key_Escape);
        EXPECT_TRUE(progress.isVisible());
        EXPECT_TRUE(progress.CheckCancel());

        // The operation writes from its own thread; the window shows it.
        std::thread worker([&] {
            state.SetCaption("Import");
            state.SetStatus("Lecture du fichier");
            state.SetCountText("12 / 40");
        });
        worker.join();
        EXPECT_TRUE(Pump([&] { return progress.CountLine()->text() == QStringLiteral("12 / 40"); }));
        EXPECT_EQ(progress.StatusLine()->text(), QStringLiteral("Lecture du fichier"));
        EXPECT_EQ(progress.windowTitle(), QStringLiteral("Import"));
    }
    EXPECT_TRUE(owner.isEnabled());

    // An owner that was already disabled stays so.
    owner.setEnabled(false);
    {
        ProgressDialog progress(state);
        ASSERT_TRUE(progress.Create(&owner));
        EXPECT_FALSE(progress.OwnerDisabledByUs());
    }
    EXPECT_FALSE(owner.isEnabled());
}

}  // namespace
}  // namespace winorvex::test
