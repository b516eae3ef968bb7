#include "ui/label_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace winorvex {

LabelDialog::LabelDialog(LabelDialogFields fields, QWidget* parent) : QDialog(parent), fields_(std::move(fields)) {
    setObjectName(fields_.windowName);
    setWindowTitle(fields_.caption.isEmpty() ? QStringLiteral("<Get Label>") : fields_.caption);
    auto* layout = new QVBoxLayout(this);
    prompt_ = new QLabel(fields_.prompt, this);
    prompt_->setObjectName(QStringLiteral("prompt1222"));
    layout->addWidget(prompt_);

    QString initial = fields_.text;
    initial.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A masked text cannot be shown over several lines: it keeps the single-line edit.
    if (fields_.lines > 1 && !fields_.masked) {
        multi_ = new QPlainTextEdit(this);
        multi_->setObjectName(QStringLiteral("edit1221"));
        multi_->setPlainText(initial);
        const QFontMetrics metrics(multi_->font());
        const int margins = 2 * static_cast<int>(multi_->document()->documentMargin()) + 2 * multi_->frameWidth();
        multi_->setFixedHeight(fields_.lines * metrics.lineSpacing() + margins);
        layout->addWidget(multi_);
    } else {
        line_ = new QLineEdit(this);
        line_->setObjectName(QStringLiteral("edit1221"));
        line_->setText(initial);
        line_->setEchoMode(fields_.masked ? QLineEdit::Password : QLineEdit::Normal);
        layout->addWidget(line_);
    }

    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(!multi_);
    cancel_ = new QPushButton(T("Annuler", "Cancel"), this);
    cancel_->setEnabled(!fields_.noCancel);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &LabelDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &LabelDialog::reject);
    if (multi_) {
        multi_->setFocus();
    } else {
        line_->setFocus();
        line_->selectAll();
    }
}

QString LabelDialog::EditText() const {
    return multi_ ? multi_->toPlainText() : line_->text();
}

void LabelDialog::accept() {
    fields_.text = EditText();
    RememberPosition();
    QDialog::accept();
}

void LabelDialog::reject() {
    // Escape and the window's close button come here too: an answer is required.
    if (fields_.noCancel) return;
    RememberPosition();
    QDialog::reject();
}

void LabelDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed_) return;
    placed_ = true;
    const QScreen* where = screen();
    if (where == nullptr) return;
    const QRect area = where->availableGeometry();
    adjustSize();
    const ScreenPoint point =
        PlaceLabelPrompt(fields_.placement, width(), height(), {area.x(), area.y(), area.width(), area.height()},
                         LastLabelPromptPosition());
    move(point.x, point.y);
}

void LabelDialog::RememberPosition() {
    if (isVisible()) LastLabelPromptPosition() = ScreenPoint{x(), y()};
}

LabelDialogFields FieldsForQuestion(const TextQuestion& question) {
    LabelDialogFields fields;
    fields.prompt = Q(question.prompt);
    fields.text = Q(question.initial);
    fields.caption = Q(question.title);
    fields.lines = question.multiLine ? LabelDialog::kMultiLineRows : 1;
    fields.masked = question.masked;
    fields.noCancel = question.noCancel;
    return fields;
}

std::optional<std::string> AskTextWithDialog(QWidget* parent, const TextQuestion& question,
                                             const LabelPlacement& placement) {
    LabelDialogFields fields = FieldsForQuestion(question);
    fields.placement = placement;
    LabelDialog dialog(std::move(fields), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return StdText(dialog.Fields().text);
}

DialogTextPrompt::DialogTextPrompt(OperatorPrompt& inner, std::function<QWidget*()> parent)
    : inner_(inner), parent_(std::move(parent)) {}

bool DialogTextPrompt::AskYesNo(std::string_view text, bool defaultYes) {
    return inner_.AskYesNo(text, defaultYes);
}

void DialogTextPrompt::Warn(std::string_view text) {
    inner_.Warn(text);
}

void DialogTextPrompt::Inform(std::string_view text) {
    inner_.Inform(text);
}

std::optional<std::string> DialogTextPrompt::AskText(const TextQuestion& question) {
    return AskTextWithDialog(parent_ ? parent_() : nullptr, question);
}

}  // namespace winorvex
