#include "ui/message_box_prompt.h"

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

}  // namespace winorvex
