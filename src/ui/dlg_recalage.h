#pragma once
// The re-setting window "Recalage de handicap" (CDlgRecalage): the chosen passage's pass number,
// bib and time of day, and an edit box with the passing time the operator wants that passage to
// have. CDlgRecalageModel decides; OK stays open on a time it refuses.
#include <QDialog>
#include <optional>

#include "core/chrono.h"
#include "export/handicaps.h"

class QLabel;
class QLineEdit;

namespace winorvex {

class OperatorPrompt;

class CDlgRecalage : public QDialog {
    Q_OBJECT

public:
    CDlgRecalage(CDlgRecalageModel model, OperatorPrompt& prompt, QWidget* parent = nullptr);

    QLineEdit* PassingTimeField() const { return passingTime_; }
    QLabel* PassNumberLabel() const { return passNumber_; }
    QLabel* BibLabel() const { return bib_; }
    QLabel* TimeOfDayLabel() const { return timeOfDay_; }
    // The new handicap once OK was accepted.
    const std::optional<CChrono>& Handicap() const { return handicap_; }

    void accept() override;

private:
    CDlgRecalageModel model_;
    OperatorPrompt& prompt_;
    QLabel* passNumber_ = nullptr;
    QLabel* bib_ = nullptr;
    QLabel* timeOfDay_ = nullptr;
    QLineEdit* passingTime_ = nullptr;
    std::optional<CChrono> handicap_;
};

// The window over `model`; the new handicap on OK, nothing on Cancel.
std::optional<CChrono> RunRecalageDialog(QWidget* parent, const CDlgRecalageModel& model, OperatorPrompt& prompt);

}  // namespace winorvex
