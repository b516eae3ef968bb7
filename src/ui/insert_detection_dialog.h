#pragma once
// The manual insertion form (CDlgInsertTimeNew): the clock, the time to insert, the bib, the
// detector and the day correction with its "+%dh" label. OK goes through ConfirmInsertTimeForm;
// a refusal is shown and the form stays open.
#include <QDialog>

#include "app/manual_insertion.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace winorvex {

class OperatorPrompt;
class Station;

class InsertDetectionDialog : public QDialog {
    Q_OBJECT

public:
    InsertDetectionDialog(InsertTimeForm& form, OperatorPrompt& prompt, QWidget* parent = nullptr);

    QLabel* ClockLabel() const { return clock_; }
    QLineEdit* TimeField() const { return time_; }
    QLineEdit* BibField() const { return bib_; }
    QComboBox* DetectorList() const { return detectors_; }
    QComboBox* DayList() const { return days_; }
    QLabel* DayLabel() const { return dayLabel_; }
    QLabel* DayIcon() const { return dayIcon_; }

    void accept() override;

private:
    void ShowDayLabel();

    InsertTimeForm& form_;
    OperatorPrompt& prompt_;
    QLabel* clock_ = nullptr;
    QLineEdit* time_ = nullptr;
    QLineEdit* bib_ = nullptr;
    QComboBox* detectors_ = nullptr;
    QComboBox* days_ = nullptr;
    QLabel* dayLabel_ = nullptr;
    QLabel* dayIcon_ = nullptr;
};

// Button kControlInsertDetection and F12 of the main window.
bool RunInsertDetectionDialog(QWidget* parent, Station& station);

}  // namespace winorvex
