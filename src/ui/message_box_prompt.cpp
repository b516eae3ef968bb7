#include "ui/message_box_prompt.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "ui/qt_text.h"

namespace winorvex {

namespace {

QString Title() {
    return QStringLiteral("WinORVEX");
}

}  // namespace

bool MessageBoxPrompt::AskYesNo(std::string_view text, bool defaultYes) {
    QMessageBox box(QMessageBox::Question, Title(), Q(text), QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    // Escape means the cautious answer, whichever button is the default.
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompt::Warn(std::string_view text) {
    QMessageBox box(QMessageBox::Warning, Title(), Q(text), QMessageBox::Ok, parent_);
    box.exec();
}

void MessageBoxPrompt::Inform(std::string_view text) {
    QMessageBox box(QMessageBox::Information, Title(), Q(text), QMessageBox::Ok, parent_);
    box.exec();
}

std::optional<std::string> MessageBoxPrompt::AskText(const TextQuestion& question) {
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(question.title.empty() ? Title() : Q(question.title));
    dialog.setLabelText(Q(question.prompt));
    dialog.setInputMode(QInputDialog::TextInput);
    if (question.multiLine) dialog.setOption(QInputDialog::UsePlainTextEditForTextInput);
    if (question.masked) dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setTextValue(Q(question.initial));
    for (;;) {
        if (dialog.exec() == QDialog::Accepted) return dialog.textValue().toStdString();
        if (!question.noCancel) return std::nullopt;
    }
}

}  // namespace winorvex
