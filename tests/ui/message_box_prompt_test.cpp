#include "ui/message_box_prompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>

namespace winorvex {
namespace {

// Runs `act` on the message box once it is up (polled from the box's own event loop), within a
// deadline; records what the box showed.
struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
};

void WhenBoxShows(BoxSeen& seen, std::function<void(QMessageBox&)> act, int triesLeft = 400) {
    QTimer::singleShot(5, qApp, [&seen, act = std::move(act), triesLeft]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (triesLeft > 0) WhenBoxShows(seen, std::move(act), triesLeft - 1);
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.seen = true;
        act(*box);
    });
}

void Press(QMessageBox& box, Qt::Key key) {
    QTest::keyClick(&box, key);
}

TEST(MessageBoxPromptTest, EnterTakesTheDefaultAnswerAndEscapeSaysNo) {
    MessageBoxPrompt prompt;
    for (bool defaultYes : {false, true}) {
        BoxSeen seen;
        WhenBoxShows(seen, [](QMessageBox& box) { Press(box, Qt::Key_Return); });
        EXPECT_EQ(prompt.AskYesNo("Souhaitez vraiment quitter le module d'acquisition ?", defaultYes), defaultYes);
        ASSERT_TRUE(seen.seen);
        EXPECT_EQ(seen.title, QStringLiteral("WinORVEX"));
        EXPECT_EQ(seen.text, QStringLiteral("Souhaitez vraiment quitter le module d'acquisition ?"));
        EXPECT_EQ(seen.icon, QMessageBox::Question);
    }
    BoxSeen seen;
    WhenBoxShows(seen, [](QMessageBox& box) { Press(box, Qt::Key_Escape); });
    EXPECT_FALSE(prompt.AskYesNo("Quitter ?", true));
    EXPECT_TRUE(seen.seen);
}

TEST(MessageBoxPromptTest, WarningsAndInformationShowTheirIconAndUtf8Text) {
    MessageBoxPrompt prompt;
    BoxSeen warned;
    WhenBoxShows(warned, [](QMessageBox& box) { Press(box, Qt::Key_Return); });
    prompt.Warn("Le marqueur ne peut être vide");
    ASSERT_TRUE(warned.seen);
    EXPECT_EQ(warned.icon, QMessageBox::Warning);
    EXPECT_EQ(warned.text, QString::fromUtf8("Le marqueur ne peut être vide"));

    BoxSeen informed;
    WhenBoxShows(informed, [](QMessageBox& box) { Press(box, Qt::Key_Return); });
    prompt.Inform("Détections: 3\nfin");
    ASSERT_TRUE(informed.seen);
    EXPECT_EQ(informed.icon, QMessageBox::Information);
    EXPECT_EQ(informed.title, QStringLiteral("WinORVEX"));
    EXPECT_EQ(informed.text, QString::fromUtf8("Détections: 3\nfin"));
}

// Runs `act` on the input dialog once it is up, within a deadline.
void WhenInputShows(bool& seen, std::function<void(QInputDialog&)> act, int triesLeft = 400) {
    QTimer::singleShot(5, qApp, [&seen, act = std::move(act), triesLeft]() mutable {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            if (triesLeft > 0) WhenInputShows(seen, std::move(act), triesLeft - 1);
            return;
        }
        seen = true;
        act(*dialog);
    });
}

TEST(MessageBoxPromptTest, TextQuestionsGiveTheTypedTextOrNothingWhenCancelled) {
    MessageBoxPrompt prompt;
    TextQuestion question;
    question.title = "ELITE Marker";
    question.prompt = "Libellé du marqueur à insérer dans l'ELITE :";
    question.initial = "Dep";

    bool seen = false;
    QString title;
    WhenInputShows(seen, [&title](QInputDialog& dialog) {
        title = dialog.windowTitle();
        auto* field = dialog.findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_End);  // the initial text comes selected
        QTest::keyClicks(field, QStringLiteral("art "));
        field->insert(QString::fromUtf8("é"));  // typed through an input method: no key code
        QTest::keyClick(field, Qt::Key_Return);
    });
    EXPECT_EQ(prompt.AskText(question), std::optional<std::string>("Depart é"));
    EXPECT_TRUE(seen);
    EXPECT_EQ(title, QStringLiteral("ELITE Marker"));

    seen = false;
    WhenInputShows(seen, [](QInputDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(prompt.AskText(question), std::nullopt);
    EXPECT_TRUE(seen);
}

TEST(MessageBoxPromptTest, AMaskedQuestionHidesWhatIsTypedAndAMandatoryOneComesBack) {
    MessageBoxPrompt prompt;
    TextQuestion question;
    question.prompt = "Mot de passe :";
    question.masked = true;
    question.noCancel = true;

    int shown = 0;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    bool seen = false;
    bool seenAgain = false;
    // First Escape (refused: the question comes back), then an answer.
    WhenInputShows(seen, [&](QInputDialog& dialog) {
        ++shown;
        echo = dialog.textEchoMode();
        WhenInputShows(seenAgain, [&](QInputDialog& second) {
            ++shown;
            second.setTextValue(QStringLiteral("secret"));
            second.accept();
        });
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(prompt.AskText(question), std::optional<std::string>("secret"));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(echo, QLineEdit::Password);
}

}  // namespace
}  // namespace winorvex
