#include "ui/insert_detection_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

#include "app/dialog_commands.h"
#include "app/station.h"
#include "core/station_events.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

constexpr int kDayLabelPoints = 12;
constexpr int kDayIconPixels = 16;

}  // namespace

InsertDetectionDialog::InsertDetectionDialog(InsertTimeForm& form, OperatorPrompt& prompt, QWidget* parent)
    : QDialog(parent), form_(form), prompt_(prompt) {
    setWindowTitle(T("Saisie manuelle de dossard", "Manual bib entry"));
    auto* layout = new QVBoxLayout(this);
    clock_ = new QLabel(Q(form_.clockText), this);
    clock_->setObjectName(QStringLiteral("label1082"));
    layout->addWidget(clock_);

    auto* fields = new QFormLayout();
    time_ = new QLineEdit(Q(form_.timeText), this);
    time_->setObjectName(QStringLiteral("edit1240"));
    bib_ = new QLineEdit(this);
    bib_->setObjectName(QStringLiteral("edit1081"));
    detectors_ = new QComboBox(this);
    detectors_->setObjectName(QStringLiteral("list1083"));
    for (const std::string& detector : form_.detectors) detectors_->addItem(Q(detector));
    detectors_->setCurrentIndex(form_.detectorSelection);
    days_ = new QComboBox(this);
    days_->setObjectName(QStringLiteral("list1131"));
    for (const std::string& item : DayCorrectionItems()) days_->addItem(Q(item));
    days_->setCurrentIndex(form_.dayIndex);
    fields->addRow(T("Temps à insérer :", "Time to insert:"), time_);
    fields->addRow(T("Numéro de dossard :", "Bib number:"), bib_);
    fields->addRow(T("Détecteur :", "Detector:"), detectors_);
    fields->addRow(T("Correction des temps :", "Time correction:"), days_);
    layout->addLayout(fields);

    auto* dayRow = new QHBoxLayout();
    dayIcon_ = new QLabel(this);
    dayIcon_->setObjectName(QStringLiteral("icon1224"));
    dayIcon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(kDayIconPixels, kDayIconPixels));
    dayLabel_ = new QLabel(this);
    dayLabel_->setObjectName(QStringLiteral("label1223"));
    QFont bold = dayLabel_->font();
    bold.setBold(true);
    bold.setPointSize(kDayLabelPoints);
    dayLabel_->setFont(bold);
    dayRow->addWidget(dayIcon_);
    dayRow->addWidget(dayLabel_);
    dayRow->addStretch();
    layout->addLayout(dayRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &InsertDetectionDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &InsertDetectionDialog::reject);
    connect(days_, &QComboBox::currentIndexChanged, this, &InsertDetectionDialog::ShowDayLabel);
    ShowDayLabel();
    bib_->setFocus();
}

void InsertDetectionDialog::ShowDayLabel() {
    const std::string text = DayCorrectionLabel(days_->currentIndex());
    dayLabel_->setText(Q(text));
    dayLabel_->setVisible(!text.empty());
    dayIcon_->setVisible(!text.empty());
}

void InsertDetectionDialog::accept() {
    const InsertFormCheck check = ConfirmInsertTimeForm(form_, StdText(bib_->text()), StdText(time_->text()),
                                                        days_->currentIndex(), detectors_->currentIndex());
    if (!check.accepted) {
        prompt_.Warn(check.message);
        if (check.clearBib) bib_->clear();
        bib_->setFocus();
        return;
    }
    QDialog::accept();
}

bool RunInsertDetectionDialog(QWidget* parent, Station& station) {
    return InsertManualDetection(station, [&](InsertTimeForm& form) {
        InsertDetectionDialog dialog(form, station.Prompt(), parent);
        return dialog.exec() == QDialog::Accepted;
    });
}

}  // namespace winorvex
