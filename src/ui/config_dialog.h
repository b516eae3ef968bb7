#pragma once
// The configuration window (CDlgConfig): four box rows, the export file, the direct connection,
// the reconnection and long-race lists, three options, the advanced configuration, the log
// folder, the chip table reload, and the compatibility warning that blinks. It stays on top of
// the other windows for a while after opening, and for good once the operator edits it.
// Every decision is ConfigForm's; this window shows it and forwards the operator's entries.
#include <QDialog>
#include <QString>
#include <QTimer>
#include <array>

#include "app/config_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace winorvex {

class BoxManager;
class OperatorPrompt;
class Station;

struct ConfigDialogTimings {
    int topMostMs = 7500;  // timer 5889
    int blinkMs = 800;
};

class ConfigDialog : public QDialog {
    Q_OBJECT

public:
    ConfigDialog(ConfigForm& form, BoxManager& boxes, OperatorPrompt& prompt, QWidget* parent = nullptr,
                 ConfigDialogTimings timings = {});

    struct RowWidgets {
        QLineEdit* host = nullptr;
        QLineEdit* port = nullptr;
        QComboBox* detector = nullptr;
    };
    const RowWidgets& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    QLineEdit* DirectHostField() const { return directHost_; }
    QLineEdit* DirectPortField() const { return directPort_; }
    QLineEdit* DirectReconnectField() const { return directReconnect_; }
    QLineEdit* ExportFileField() const { return exportFile_; }
    QComboBox* ReconnectList() const { return reconnect_; }
    QComboBox* LongRaceList() const { return longRaces_; }
    QLabel* WarningText() const { return warningText_; }
    // Shown when some row is locked (its box is connected or reconnecting).
    QLabel* LockedNote() const { return lockedNote_; }
    QLabel* WarningIcon() const { return warningIcon_; }
    QPushButton* AdvancedButton() const { return advanced_; }
    bool TopMost() const;
    bool TopMostTimerActive() const { return topMostTimer_.isActive(); }
    bool BlinkActive() const { return blink_.isActive(); }

    void accept() override;

private:
    void BuildRows(QWidget* box);
    void RowEdited(int row);
    void ShowWarning();
    void KeepTopMost();
    void SetTopMost(bool on);
    void ReadFields();
    void ChooseExportFile();
    void OpenLogFolder();
    void OpenAdvanced();
    void ReloadChipTable();

    ConfigForm& form_;
    BoxManager& boxes_;
    OperatorPrompt& prompt_;
    std::array<RowWidgets, kConfigBoxRows> rows_{};
    QLineEdit* exportFile_ = nullptr;
    QLineEdit* directHost_ = nullptr;
    QLineEdit* directPort_ = nullptr;
    QLineEdit* directReconnect_ = nullptr;
    QComboBox* reconnect_ = nullptr;
    QComboBox* longRaces_ = nullptr;
    QCheckBox* ignoreUnknown_ = nullptr;
    QCheckBox* beepDetections_ = nullptr;
    QCheckBox* beepWhenQuit_ = nullptr;
    QPushButton* advanced_ = nullptr;
    QLabel* warningText_ = nullptr;
    QLabel* warningIcon_ = nullptr;
    QLabel* lockedNote_ = nullptr;
    QTimer topMostTimer_;
    QTimer blink_;
    bool blinkShown_ = true;
};

// The save dialog of a detection file ("Export file", "Detection file (*.rix)"): the chosen path
// with ".rix" made sure of, or empty on Cancel. The folder is remembered for the next call.
QString ChooseRixSaveFile(QWidget* parent, const QString& title, const QString& current);

// Button kControlConfiguration and the start-up timer: the configuration with its window.
bool RunConfigurationDialog(QWidget* parent, Station& station);

}  // namespace winorvex
