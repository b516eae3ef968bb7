#pragma once
// The download of a handheld reader's memory (CDlgHandheldDownload): its logging detail, the
// download into a file that its box's worker writes, the clearing of its memory with the progress
// the worker reports, and its recording switch. The dialog only sends commands and polls what the
// worker stored; every wait is bounded by HandheldDownloadModel.
#include <QDialog>
#include <QTimer>
#include <memory>

#include "app/handheld_download.h"
#include "ui/download_dialog_rows.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace winorvex {

class OperatorPrompt;
class Station;

class CDlgHandheldDownload : public QDialog {
    Q_OBJECT

public:
    CDlgHandheldDownload(Station& station, QWidget* parent = nullptr, HandheldTimings timings = {});
    ~CDlgHandheldDownload() override;

    const DownloadedLog& Result() const { return result_; }
    HandheldDownloadModel& Model() { return model_; }

    QComboBox* BoxList() const { return boxes_; }
    QListWidget* InformationView() const { return information_; }
    QLineEdit* FolderField() const { return folder_; }
    QPushButton* RefreshButton() const { return refresh_; }
    QPushButton* DownloadButton() const { return download_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* RecordButton() const { return record_; }
    QMenu* RecordMenu() const { return recordMenu_; }
    // Polling the reader (logging detail or clearing).
    bool Polling() const { return poll_.isActive(); }

    void Refresh();
    void Download();
    void ClearHandheld();
    void SetRecording(bool on);

    void done(int result) override;

private:
    void BuildLayout();
    void ShowInformation();
    void FollowModel();

    OperatorPrompt& prompt_;
    HandheldDownloadModel model_;
    DownloadedLog result_;

    QComboBox* boxes_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QListWidget* information_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* download_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* record_ = nullptr;
    QMenu* recordMenu_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer poll_;
};

// The "..." menu's HANDHELD entry: the dialog, modal; its result.
DownloadedLog RunHandheldDownloadDialog(QWidget* parent, Station& station);

}  // namespace winorvex
