#include "ui/config_advanced_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/station_events.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

QSpinBox* MakeSpin(QWidget* parent, ValueRange range, const char* name) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(range.low, range.high);
    return spin;
}

}  // namespace

ConfigAdvancedDialog::ConfigAdvancedDialog(AdvancedValues& values, OperatorPrompt& prompt, QWidget* parent)
    : QDialog(parent), values_(values), prompt_(prompt) {
    setWindowTitle(T("Configuration avancée", "Advanced configuration"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout();
    input_ = MakeSpin(this, kIgnoreInputRange, "edit1017");
    output_ = MakeSpin(this, kIgnoreOutputRange, "edit1020");
    read_ = MakeSpin(this, kReadRange, "edit1038");
    // Each value sits inside its sentence: the text before it, the value, the text after it.
    auto addRow = [this, grid](int row, const QString& before, QSpinBox* spin, const QString& after) {
        grid->addWidget(new QLabel(before, this), row, 0);
        grid->addWidget(spin, row, 1);
        grid->addWidget(new QLabel(after, this), row, 2);
    };
    addRow(0, T("Ignorer les détections\nde boîtier à moins de ", "Ignore the box detections\ncloser than "), input_,
           T("ms de la précédente", "ms to the previous one"));
    addRow(1,
           T("En connexion directe,\nne pas envoyer à KtKOR les détections à moins de ",
             "On the direct connection,\ndo not send to KtKOR the detections closer than "),
           output_, T("ms de la précédente", "ms to the previous one"));
    addRow(2, T("Temps d'attente entre\n2 lectures de détections :", "Wait between\n2 reads of detections:"), read_,
           QStringLiteral("ms"));
    layout->addLayout(grid);
    factory_ = new QPushButton(T("Restaurer valeurs d'usine", "Restore factory values"), this);
    factory_->setObjectName(QStringLiteral("button1019"));
    layout->addWidget(factory_, 0, Qt::AlignLeft);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(factory_, &QPushButton::clicked, this, [this] { Show(AdvancedFactoryValues()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &ConfigAdvancedDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConfigAdvancedDialog::reject);
    Show(values_);
}

void ConfigAdvancedDialog::Show(const AdvancedValues& values) {
    input_->setValue(values.ignoreInputMsDelta);
    output_->setValue(values.ignoreOutputMsDelta);
    read_->setValue(values.readMsDelta);
}

void ConfigAdvancedDialog::accept() {
    // The spin boxes keep their texts within range; the check still reads the texts as typed.
    std::string message;
    if (!CheckAdvancedFields(StdText(input_->cleanText()), StdText(output_->cleanText()), StdText(read_->cleanText()),
                             values_, message)) {
        prompt_.Warn(message);
        return;
    }
    QDialog::accept();
}

}  // namespace winorvex
