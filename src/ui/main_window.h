#pragma once
// The operator's console: assembles the box status pictures, the detections, results and log
// panes, the runner display and the command buttons, and forwards every command to the station.
// It shows only what the station holds; no behaviour lives here (the headless station has none).
//
// Closing: Escape and the close box run the station's exit procedure and close the window only
// when it went through; when the station finishes by itself (a command from the results
// program), the window closes too. Enter does nothing, so a stray key never ends a race.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QShortcut;

namespace winorvex {

class BoxStatusPanel;
class CommandPanel;
class DetectionsView;
class LogView;
class ResultsView;
class Station;

class MainWindow : public QDialog {
    Q_OBJECT

public:
    explicit MainWindow(Station& station, QWidget* parent = nullptr);

    ResultsView& Results() const { return *results_; }
    CommandPanel& Commands() const { return *commands_; }
    // In front of every other window, without moving or resizing it (the "PopFront" command);
    // a minimised window is restored first.
    void BringToFront();
    // The configuration dialog opens by itself shortly after the window (the station's start).
    void OpenConfigurationAfterStart();

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* BuildTopRow();
    QWidget* BuildDetectionsPanel();
    QWidget* BuildResultsPanel();
    QWidget* BuildLogPanel();
    QWidget* BuildBottomRow();
    QPushButton* MakeButton(const QString& text, const char* name);

    void RefreshStatus();
    void RefreshRunner();
    void RefreshDayOffset(int hours);
    void ShowLogLevelItem(int index);
    void ShowBalloon(const QString& title, const QString& text, int anchorControl);
    QWidget* WidgetForControl(int control) const;
    void OpenAbout();
    void ScheduleDialogPictures();
    void SaveOpenDialogPictures();
    void Finish();

    Station& station_;
    bool finishing_ = false;

    BoxStatusPanel* boxes_ = nullptr;
    CommandPanel* commands_ = nullptr;
    DetectionsView* detections_ = nullptr;
    ResultsView* results_ = nullptr;
    LogView* log_ = nullptr;

    QPushButton* connectBoxes_ = nullptr;  // kControlConnectBoxes
    QPushButton* forgetAll_ = nullptr;     // kControlForgetAll
    QPushButton* exportAll_ = nullptr;     // kControlExportAll
    QPushButton* quit_ = nullptr;          // kControlQuit
    QCheckBox* logDetections_ = nullptr;   // kControlLogDetections
    QCheckBox* scroll_ = nullptr;          // kControlScroll
    QComboBox* logLevel_ = nullptr;        // kControlLogLevel
    QLabel* recordedCount_ = nullptr;      // kControlRecordedCount
    QLabel* dayOffsetIcon_ = nullptr;      // kControlDayOffsetIcon
    QLabel* dayOffset_ = nullptr;          // kControlDayOffset
    QLabel* runnerName_ = nullptr;         // kControlRunnerName
    QLabel* runnerRank_ = nullptr;         // kControlRunnerRank
    QLabel* runnerTime_ = nullptr;         // kControlRunnerTime
    // F12 anywhere in the window opens the manual insertion of a detection.
    QShortcut* insertShortcut_ = nullptr;
};

}  // namespace winorvex
