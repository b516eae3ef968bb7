#pragma once
// The download of an ELITE reader's own logs over FTP (CDlgFtpTtyLog): the declared boxes, the
// reader's "*.log" files, the destination folder, the download and the clearing of the reader's
// history. The probe, the listing, the transfer and the clearing run on a thread of their own
// under the wait cursor, so a reader that does not answer never freezes the station.
#include <QDialog>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/download_boxes.h"
#include "ftp/ftp_listing.h"
#include "ftp/ftp_timeouts.h"
#include "ui/download_dialog_rows.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace winorvex {

class OperatorPrompt;
class ProgressJob;
class Station;

class CDlgFtpTtyLog : public QDialog {
    Q_OBJECT

public:
    // A reader on the timing network answers at once or not at all: shorter waits than the
    // uploads' ones.
    static constexpr FtpTimeouts kReaderTimeouts{5000, 15, 1};

    CDlgFtpTtyLog(Station& station, QWidget* parent = nullptr, FtpTimeouts timeouts = kReaderTimeouts);
    ~CDlgFtpTtyLog() override;

    const DownloadedLog& Result() const { return result_; }
    const std::vector<CFtpFileDesc>& Files() const { return files_; }
    // A probe, listing, transfer or clearing is running.
    bool Busy() const { return job_ != nullptr; }

    QComboBox* BoxList() const { return boxes_; }
    QListWidget* FileList() const { return fileList_; }
    QCheckBox* OnlyDetectionFilesBox() const { return onlyDetection_; }
    QLineEdit* FolderField() const { return folder_; }
    QPushButton* RefreshButton() const { return refresh_; }
    QPushButton* DownloadButton() const { return download_; }
    QPushButton* ClearHistoryButton() const { return clearHistory_; }

    // The buttons' work, callable without a click.
    void Refresh();
    void Download();
    void ClearHistory();

    void done(int result) override;

private:
    using Finish = std::function<void()>;
    void BuildLayout();
    // Runs work on the dialog's thread of work and then finish here; false while one runs.
    bool Launch(std::function<void()> work, Finish finish);
    void PollJob();
    void SetButtonsEnabled(bool enabled);
    void ShowFiles();
    const DeclaredBox* SelectedBox() const;
    void RememberSettings();

    Station& station_;
    OperatorPrompt& prompt_;
    FtpTimeouts timeouts_;
    std::vector<DeclaredBox> declared_;
    std::vector<CFtpFileDesc> files_;
    std::string listMessage_;
    DownloadedLog result_;
    bool refreshWanted_ = false;

    QComboBox* boxes_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QListWidget* fileList_ = nullptr;
    QCheckBox* onlyDetection_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* download_ = nullptr;
    QPushButton* clearHistory_ = nullptr;
    QPushButton* close_ = nullptr;

    QTimer poll_;
    std::atomic<bool> abort_{false};
    Finish finish_;
    std::unique_ptr<ProgressJob> job_;  // last: joined before the members its work uses go
};

// The "..." menu's ELITE entry: the dialog, modal; its result.
DownloadedLog RunFtpTtyLogDialog(QWidget* parent, Station& station);

}  // namespace winorvex
