#include "ui/dlg_recalage.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/station_events.h"
#include "ui/qt_text.h"

namespace winorvex {

CDlgRecalage::CDlgRecalage(CDlgRecalageModel model, OperatorPrompt& prompt, QWidget* parent)
    : QDialog(parent), model_(std::move(model)), prompt_(prompt) {
    // This window has French texts only.
    setWindowTitle(QStringLiteral("Recalage de handicap"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Saisissez ci-dessous le temps de passage pour effectuer le recalage"), this));
    auto* grid = new QGridLayout();
    passNumber_ = new QLabel(Q(model_.PassNumberText()), this);
    passNumber_->setObjectName(QStringLiteral("passNumber"));
    bib_ = new QLabel(Q(model_.BibText()), this);
    bib_->setObjectName(QStringLiteral("bib"));
    timeOfDay_ = new QLabel(Q(model_.TimeOfDayText()), this);
    timeOfDay_->setObjectName(QStringLiteral("timeOfDay"));
    passingTime_ = new QLineEdit(Q(model_.InitialPassingTimeText()), this);
    passingTime_->setObjectName(QStringLiteral("passingTime"));
    QFont bold = font();
    bold.setBold(true);
    for (QLabel* value : {passNumber_, bib_, timeOfDay_}) value->setFont(bold);
    grid->addWidget(new QLabel(QStringLiteral("Passage n°"), this), 0, 0);
    grid->addWidget(passNumber_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Dossard"), this), 1, 0);
    grid->addWidget(bib_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Heure de passage :"), this), 2, 0);
    grid->addWidget(timeOfDay_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Temps de passage :"), this), 3, 0);
    grid->addWidget(passingTime_, 3, 1);
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgRecalage::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgRecalage::reject);
    passingTime_->selectAll();
    passingTime_->setFocus();
}

void CDlgRecalage::accept() {
    handicap_ = model_.Accept(passingTime_->text().toStdString(), prompt_);
    if (!handicap_) {
        passingTime_->setFocus();
        passingTime_->selectAll();
        return;
    }
    QDialog::accept();
}

std::optional<CChrono> RunRecalageDialog(QWidget* parent, const CDlgRecalageModel& model, OperatorPrompt& prompt) {
    CDlgRecalage dialog(model, prompt, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Handicap();
}

}  // namespace winorvex
