#pragma once
// The text prompt (CDlgGetLabel): a caption, a prompt line, one edit of one or more lines,
// optionally masked, optionally without Cancel, placed by PlaceLabelPrompt. And the operator
// prompt that answers text questions with it while the other questions go to another prompt.
#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "app/label_placement.h"
#include "core/station_events.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace winorvex {

struct LabelDialogFields {
    QString prompt;   // line feeds are line breaks
    QString text;     // in: the initial text; out: the text as typed
    QString caption;  // empty: "<Get Label>"
    int lines = 1;    // above 1: a multi-line edit as many lines high
    QString windowName = QStringLiteral("GetLabelBox");
    LabelPlacement placement;
    bool masked = false;    // the typed characters are not shown (single line)
    bool noCancel = false;  // Cancel disabled, Escape and the close button do nothing
};

class LabelDialog : public QDialog {
    Q_OBJECT

public:
    // Lines of the multi-line edit a multi-line text question gets.
    static constexpr int kMultiLineRows = 5;

    explicit LabelDialog(LabelDialogFields fields, QWidget* parent = nullptr);

    // The fields, with the typed text once OK was pressed.
    const LabelDialogFields& Fields() const { return fields_; }
    QString EditText() const;
    bool IsMultiLine() const { return multi_ != nullptr; }
    QLineEdit* LineEdit() const { return line_; }
    QPlainTextEdit* MultiLineEdit() const { return multi_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RememberPosition();

    LabelDialogFields fields_;
    QLabel* prompt_ = nullptr;
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool placed_ = false;
};

// The fields of a text question.
LabelDialogFields FieldsForQuestion(const TextQuestion& question);

// Runs the prompt modally: the text as typed, or nothing on Cancel.
std::optional<std::string> AskTextWithDialog(QWidget* parent, const TextQuestion& question,
                                             const LabelPlacement& placement = {});

// Answers text questions with the prompt; every other question goes to `inner` (the GUI's
// message boxes).
class DialogTextPrompt final : public OperatorPrompt {
public:
    // parent: the window the prompt opens over (may return null).
    DialogTextPrompt(OperatorPrompt& inner, std::function<QWidget*()> parent);

    bool AskYesNo(std::string_view text, bool defaultYes) override;
    void Warn(std::string_view text) override;
    void Inform(std::string_view text) override;
    std::optional<std::string> AskText(const TextQuestion& question) override;

private:
    OperatorPrompt& inner_;
    std::function<QWidget*()> parent_;
};

}  // namespace winorvex
