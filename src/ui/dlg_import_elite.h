#pragma once
// The reader-log import dialog (CDlgImportElite) over ImportDialogModel: the log file, the date
// and the time window with their marker menus, the search run off the station thread with its
// progress window, the detector and the day correction, and the Import and Save buttons. After
// it closes, RunImportDialog carries out its order off the station thread as well.
#include <QDialog>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QToolButton;

namespace winorvex {

// Declared only: the widgets' meta-object code compiles every dialog header in one unit, so this
// one keeps the import layer out of it.
class CDetection;
class ImportDialogModel;
class ImportRunner;
class ProgressDialog;
class ProgressState;
class Station;
struct ImportOrder;
struct MarkerMenuEntry;
enum class ImportDialogField;
using FoundDetections = std::deque<CDetection>;

class CDlgImportElite : public QDialog {
    Q_OBJECT

public:
    CDlgImportElite(Station& station, QWidget* parent = nullptr);
    ~CDlgImportElite() override;

    ImportDialogModel& Model() { return *model_; }
    // The search's progress window while a search runs, else null.
    ProgressDialog* SearchProgress() const { return progress_.get(); }
    bool Searching() const;

    // The pop-up menus of the two marker buttons, filled from the last search (the buttons show
    // them at the mouse position).
    QMenu* StartMarkerMenu();
    QMenu* EndMarkerMenu();

    QLineEdit* LogFileField() const { return logFile_; }
    QToolButton* LogFileButton() const { return logButton_; }
    QDateEdit* DateField() const { return date_; }
    QLineEdit* StartField() const { return start_; }
    QLineEdit* EndField() const { return end_; }
    QToolButton* StartMarkerButton() const { return startMarker_; }
    QToolButton* EndMarkerButton() const { return endMarker_; }
    QCheckBox* AbnormalEventsBox() const { return abnormal_; }
    QPushButton* SearchButton() const { return search_; }
    QComboBox* DetectorList() const { return detector_; }
    QComboBox* DayCorrectionList() const { return dayCorrection_; }
    QLabel* DayCorrectionLabel() const { return dayLabel_; }
    QPushButton* ImportButton() const { return import_; }
    QLineEdit* OutputField() const { return output_; }
    QToolButton* OutputButton() const { return outputButton_; }
    QPushButton* SaveButton() const { return save_; }
    QListWidget* InformationView() const { return information_; }
    QLabel* FoundCount() const { return found_; }
    QPushButton* ClearButton() const { return clear_; }

    // A file a download dialog wrote: into the file field, and the box's identifier selected
    // when the download names one.
    void TakeDownload(const std::string& path, const std::string& detector);
    // The two download entries of the "..." menu.
    void DownloadFromElite();
    void DownloadFromHandheld();
    // Search waits for the end of a handheld download still writing its file.
    bool WaitingForDownload() const { return downloadWait_.isActive(); }
    ProgressDialog* DownloadWaitProgress() const { return waitProgress_.get(); }

    // The buttons' work, callable without a click.
    void Search();
    void Import();
    void Save();

    // Every way out: a running search is stopped first, the folders are written.
    void done(int result) override;

private:
    void BuildLayout();
    void ReadFields();
    void ShowDayCorrection();
    void RefreshButtons();
    void ReloadInformation();
    void AddInformation(const QStringList& lines);
    void SearchEnded();
    void Focus(ImportDialogField field);
    void ChooseLogFile();
    void ChooseOutputFile();
    void FillMarkerMenu(QMenu& menu, const std::vector<MarkerMenuEntry>& entries, QLineEdit* field);
    // True when Search may go on now; otherwise it waits (progress window) and searches at the end.
    bool DownloadFinished();
    void CheckDownloadWait();
    void EndDownloadWait();

    Station& station_;
    std::unique_ptr<ImportDialogModel> model_;
    std::unique_ptr<ImportRunner> runner_;
    std::unique_ptr<ProgressDialog> progress_;
    std::unique_ptr<ProgressState> waitState_;
    std::unique_ptr<ProgressDialog> waitProgress_;
    QTimer downloadWait_;
    std::string waitPath_;
    bool closed_ = false;

    QLineEdit* logFile_ = nullptr;
    QToolButton* logButton_ = nullptr;
    QMenu* logMenu_ = nullptr;
    QDateEdit* date_ = nullptr;
    QLineEdit* start_ = nullptr;
    QLineEdit* end_ = nullptr;
    QToolButton* startMarker_ = nullptr;
    QToolButton* endMarker_ = nullptr;
    QMenu* startMenu_ = nullptr;
    QMenu* endMenu_ = nullptr;
    QCheckBox* abnormal_ = nullptr;
    QPushButton* search_ = nullptr;
    QComboBox* detector_ = nullptr;
    QComboBox* dayCorrection_ = nullptr;
    QLabel* dayLabel_ = nullptr;
    QPushButton* import_ = nullptr;
    QLineEdit* output_ = nullptr;
    QToolButton* outputButton_ = nullptr;
    QPushButton* save_ = nullptr;
    QListWidget* information_ = nullptr;
    QLabel* found_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Runs the order of a closed import dialog off the station thread, with its progress window over
// `owner`; the run ends itself (and warns when a save failed). Nothing for ImportAction::None
// but the completion sound. The returned run is owned by `owner` (the station when null) and may
// be gone already by the time the caller looks at it: callers keep it only in a QPointer.
QObject* StartImportOrder(QWidget* owner, Station& station, const ImportOrder& order, const FoundDetections& found);

// The import button of the main window: the dialog, modal, then its order.
void RunImportDialog(QWidget* parent, Station& station);

}  // namespace winorvex
