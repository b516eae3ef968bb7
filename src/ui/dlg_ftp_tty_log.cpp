#include "ui/dlg_ftp_tty_log.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/elite_log_download.h"
#include "app/progress.h"
#include "app/station.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "reader/box_manager.h"
#include "reader/side_channel.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {
constexpr int kFirstRefreshMs = 200;
constexpr int kJobPollMs = 20;
}  // namespace

CDlgFtpTtyLog::CDlgFtpTtyLog(Station& station, QWidget* parent, FtpTimeouts timeouts)
    : QDialog(parent), station_(station), prompt_(station.Prompt()), timeouts_(timeouts) {
    setWindowTitle(T("Téléchargement de logs ELITE", "ELITE log download"));
    declared_ = DeclaredBoxes(station.Boxes());
    BuildLayout();
    onlyDetection_->setChecked(ReadSettingBool(kDownloadEliteSection, kOnlyDetectionFilesKey, true));

    poll_.setInterval(kJobPollMs);
    connect(&poll_, &QTimer::timeout, this, &CDlgFtpTtyLog::PollJob);
    if (!declared_.empty()) {
        boxes_->setCurrentIndex(0);
        QTimer::singleShot(kFirstRefreshMs, this, &CDlgFtpTtyLog::Refresh);
    }
    connect(boxes_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
}

CDlgFtpTtyLog::~CDlgFtpTtyLog() {
    if (job_) {
        abort_.store(true);
        job_.reset();
        QApplication::restoreOverrideCursor();
    }
}

void CDlgFtpTtyLog::BuildLayout() {
    auto* layout = new QVBoxLayout(this);

    const DownloadBoxRow boxRow = AddDownloadBoxRow(*this, *layout, declared_);
    boxes_ = boxRow.boxes;
    refresh_ = boxRow.refresh;

    fileList_ = new QListWidget(this);
    fileList_->setMinimumHeight(140);
    layout->addWidget(fileList_, 1);
    onlyDetection_ = new QCheckBox(T("Fichiers de détections uniquement", "Detection files only"), this);
    layout->addWidget(onlyDetection_);

    folder_ = AddDownloadFolderRow(*this, *layout, ReadDownloadFolder(kDownloadEliteSection, kDownloadElitePathKey));

    auto* buttons = new QHBoxLayout();
    download_ = new QPushButton(T("Télécharger", "Download"), this);
    clearHistory_ = new QPushButton(T("Effacer l'historique...", "Clear history..."), this);
    close_ = new QPushButton(T("Fermer", "Close"), this);
    buttons->addWidget(download_);
    buttons->addWidget(clearHistory_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    connect(refresh_, &QPushButton::clicked, this, &CDlgFtpTtyLog::Refresh);
    connect(download_, &QPushButton::clicked, this, &CDlgFtpTtyLog::Download);
    connect(clearHistory_, &QPushButton::clicked, this, &CDlgFtpTtyLog::ClearHistory);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

const DeclaredBox* CDlgFtpTtyLog::SelectedBox() const {
    const int index = boxes_->currentIndex();
    if (index < 0 || index >= static_cast<int>(declared_.size())) return nullptr;
    return &declared_[static_cast<std::size_t>(index)];
}

bool CDlgFtpTtyLog::Launch(std::function<void()> work, Finish finish) {
    if (job_) return false;
    finish_ = std::move(finish);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (QWidget* button :
         {static_cast<QWidget*>(refresh_), static_cast<QWidget*>(download_), static_cast<QWidget*>(clearHistory_)}) {
        button->setEnabled(false);
    }
    job_ = std::make_unique<ProgressJob>(std::string(), [work = std::move(work)](ProgressState&) { work(); });
    poll_.start();
    return true;
}

void CDlgFtpTtyLog::SetButtonsEnabled(bool enabled) {
    for (QPushButton* button : {refresh_, download_, clearHistory_}) button->setEnabled(enabled);
}

void CDlgFtpTtyLog::PollJob() {
    if (!job_ || !job_->Finished()) return;
    poll_.stop();
    job_.reset();
    QApplication::restoreOverrideCursor();
    for (QWidget* button :
         {static_cast<QWidget*>(refresh_), static_cast<QWidget*>(download_), static_cast<QWidget*>(clearHistory_)}) {
        button->setEnabled(true);
    }
    Finish finish = std::move(finish_);
    finish_ = nullptr;
    if (finish) finish();
    if (refreshWanted_ && !job_) {
        refreshWanted_ = false;
        Refresh();
    }
}

void CDlgFtpTtyLog::Refresh() {
    if (job_) {
        // A change of box while the last one is still being listed: its list comes next.
        refreshWanted_ = true;
        return;
    }
    files_.clear();
    fileList_->clear();
    const DeclaredBox* selected = SelectedBox();
    if (selected == nullptr) return;
    fileList_->addItem(T("Recherche des fichiers disponibles...", "Looking for available files..."));
    auto listing = std::make_shared<EliteListing>();
    const DeclaredBox box = *selected;
    const bool onlyDetection = onlyDetection_->isChecked();
    const FtpTimeouts timeouts = timeouts_;
    const std::atomic<bool>* abort = &abort_;
    Launch([listing, box, onlyDetection, timeouts,
            abort] { *listing = ListEliteLogs(box, onlyDetection, timeouts, abort); },
           [this, listing] {
               files_ = std::move(listing->files);
               listMessage_ = listing->outcome == EliteListing::Outcome::Listed ? std::string() : listing->message;
               ShowFiles();
           });
}

void CDlgFtpTtyLog::ShowFiles() {
    fileList_->clear();
    if (!listMessage_.empty()) {
        fileList_->addItem(Q(listMessage_));
        return;
    }
    for (std::size_t i = 0; i < files_.size(); ++i) {
        auto* item = new QListWidgetItem(Q(EliteFileLine(files_[i])), fileList_);
        item->setData(Qt::UserRole, static_cast<int>(i));
    }
    if (!files_.empty()) fileList_->setCurrentRow(0);
}

void CDlgFtpTtyLog::Download() {
    if (job_) return;
    const std::optional<std::string> folder = CheckDownloadFolder(StdText(folder_->text()), prompt_);
    if (!folder) return;
    folder_->setText(Q(*folder));
    const DeclaredBox* selected = SelectedBox();
    QListWidgetItem* item = fileList_->currentItem();
    if (selected == nullptr || item == nullptr || !item->data(Qt::UserRole).isValid()) return;
    const int index = item->data(Qt::UserRole).toInt();
    if (index < 0 || index >= static_cast<int>(files_.size())) return;
    const CFtpFileDesc file = files_[static_cast<std::size_t>(index)];
    if (file.size == 0) {
        prompt_.Warn(Format(Tr("Le fichier %s est vide !", "File %s is empty!"), file.name.c_str()));
        return;
    }

    auto outcome = std::make_shared<EliteDownload>();
    const DeclaredBox box = *selected;
    const std::string target = *folder;
    const FtpTimeouts timeouts = timeouts_;
    const std::atomic<bool>* abort = &abort_;
    Launch([outcome, box, file, target, abort,
            timeouts] { *outcome = DownloadEliteLog(box, file, target, abort, timeouts); },
           [this, outcome, box] {
               if (!outcome->ok) {
                   result_ = {};
                   LogF(0, "## %s : %s", box.text.c_str(), outcome->error.c_str());
                   prompt_.Warn(Tr("Erreur de téléchargement", "Download error"));
                   return;
               }
               result_ = {outcome->path, outcome->detector};
               LogF(0, Tr("+++ Log téléchargé dans %s", "+++ Log downloaded into %s"), outcome->path.c_str());
               prompt_.Inform(Tr("Téléchargement terminé", "Download done"));
               RememberSettings();
               accept();
           });
}

void CDlgFtpTtyLog::ClearHistory() {
    if (job_) return;
    const DeclaredBox* selected = SelectedBox();
    if (selected == nullptr) return;
    if (!prompt_.AskYesNo(Tr("Voulez vous réellement effacer totalement l'historique du boîtier ELITE ?\nTous ces "
                             "fichiers seront vidés...",
                             "Do you really want to clear ELITE history files?\nAll those files will be cleared..."),
                          false)) {
        return;
    }
    COrvexBox* box = &station_.Boxes().Box(selected->boxNumber);
    auto error = std::make_shared<std::string>();
    auto result = std::make_shared<int>(kSideUnavailable);
    Launch([box, error, result] { *result = box->ClearHistoryElite(*error); },
           [this, error, result] {
               if (*result != kSideOk) {
                   LogF(0, "## clear_history : %s", error->c_str());
                   prompt_.Warn(
                       Tr("Erreur lors de l'effacement de l'historique...", "Error when clearing history files..."));
                   return;
               }
               Refresh();
           });
}

void CDlgFtpTtyLog::RememberSettings() {
    WriteSettingText(kDownloadEliteSection, kDownloadElitePathKey, StdText(folder_->text()));
    WriteSettingBool(kDownloadEliteSection, kOnlyDetectionFilesKey, onlyDetection_->isChecked());
}

void CDlgFtpTtyLog::done(int result) {
    if (job_) {
        abort_.store(true);
        poll_.stop();
        job_.reset();
        finish_ = nullptr;
        QApplication::restoreOverrideCursor();
    }
    if (result != QDialog::Accepted) result_ = {};
    QDialog::done(result);
}

DownloadedLog RunFtpTtyLogDialog(QWidget* parent, Station& station) {
    CDlgFtpTtyLog dialog(station, parent);
    dialog.exec();
    return dialog.Result();
}

}  // namespace winorvex
