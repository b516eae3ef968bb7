#include "ui/dlg_handheld_download.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/station.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {
constexpr int kFirstRefreshMs = 200;
}  // namespace

CDlgHandheldDownload::CDlgHandheldDownload(Station& station, QWidget* parent, HandheldTimings timings)
    : QDialog(parent), prompt_(station.Prompt()), model_(station.Boxes(), station.Sounds(), timings) {
    setWindowTitle(T("Téléchargement de détections Pistolet", "Handheld reader download"));
    BuildLayout();
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (model_.Tick()) ShowInformation();
        FollowModel();
    });
    if (!model_.Boxes().empty()) {
        boxes_->setCurrentIndex(0);
        QTimer::singleShot(kFirstRefreshMs, this, &CDlgHandheldDownload::Refresh);
    }
    connect(boxes_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
}

CDlgHandheldDownload::~CDlgHandheldDownload() {
    model_.Stop();
}

void CDlgHandheldDownload::BuildLayout() {
    auto* layout = new QVBoxLayout(this);

    const DownloadBoxRow boxRow = AddDownloadBoxRow(*this, *layout, model_.Boxes());
    boxes_ = boxRow.boxes;
    refresh_ = boxRow.refresh;

    information_ = new QListWidget(this);
    information_->setMinimumHeight(120);
    layout->addWidget(information_, 1);

    folder_ =
        AddDownloadFolderRow(*this, *layout, ReadDownloadFolder(kDownloadHandheldSection, kDownloadHandheldPathKey));

    auto* buttons = new QHBoxLayout();
    download_ = new QPushButton(T("Télécharger", "Download"), this);
    clear_ = new QPushButton(T("Effacer les données du Pistolet...", "Clear the handheld reader..."), this);
    record_ = new QPushButton(T("Enregistrement", "Recording"), this);
    recordMenu_ = new QMenu(this);
    recordMenu_->addAction(T("Démarrer l'enregistrement", "Start Record"), this, [this] { SetRecording(true); });
    recordMenu_->addAction(T("Arrêter l'enregistrement", "Stop Record"), this, [this] { SetRecording(false); });
    record_->setMenu(recordMenu_);
    close_ = new QPushButton(T("Fermer", "Close"), this);
    buttons->addWidget(download_);
    buttons->addWidget(clear_);
    buttons->addWidget(record_);
    buttons->addStretch(1);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    connect(refresh_, &QPushButton::clicked, this, &CDlgHandheldDownload::Refresh);
    connect(download_, &QPushButton::clicked, this, &CDlgHandheldDownload::Download);
    connect(clear_, &QPushButton::clicked, this, &CDlgHandheldDownload::ClearHandheld);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
}

void CDlgHandheldDownload::ShowInformation() {
    information_->clear();
    for (const std::string& line : model_.Information()) information_->addItem(Q(line));
    information_->scrollToBottom();
}

void CDlgHandheldDownload::FollowModel() {
    if (model_.CurrentPhase() == HandheldDownloadModel::Phase::Idle) {
        poll_.stop();
        return;
    }
    const int interval = static_cast<int>(model_.PollInterval().count());
    if (!poll_.isActive() || poll_.interval() != interval) poll_.start(interval);
}

void CDlgHandheldDownload::Refresh() {
    poll_.stop();
    model_.Refresh(boxes_->currentIndex());
    ShowInformation();
    FollowModel();
}

void CDlgHandheldDownload::Download() {
    const std::optional<std::string> folder = CheckDownloadFolder(StdText(folder_->text()), prompt_);
    if (!folder) return;
    folder_->setText(Q(*folder));
    if (boxes_->currentIndex() < 0) return;
    std::string error;
    const std::optional<std::string> path = model_.StartDownload(boxes_->currentIndex(), *folder, error);
    if (!path) {
        // Closing now would hand the import a file that nobody writes.
        if (!error.empty()) prompt_.Warn(error);
        return;
    }
    poll_.stop();
    result_ = {*path, {}};
    WriteSettingText(kDownloadHandheldSection, kDownloadHandheldPathKey, *folder);
    accept();
}

void CDlgHandheldDownload::ClearHandheld() {
    if (boxes_->currentIndex() < 0) return;
    if (!prompt_.AskYesNo(Tr("Voulez vous réellement effacer totalement les données enregistrées sur le Pistolet "
                             "?\nToutes les données enregistrées seront effacées...",
                             "Do you really want to clear handheld reader data?\nEverything will be cleared..."),
                          false)) {
        return;
    }
    poll_.stop();
    model_.StartClearing(boxes_->currentIndex());
    ShowInformation();
    FollowModel();
}

void CDlgHandheldDownload::SetRecording(bool on) {
    if (boxes_->currentIndex() < 0) return;
    if (!model_.SetRecording(boxes_->currentIndex(), on)) ShowInformation();
}

void CDlgHandheldDownload::done(int result) {
    poll_.stop();
    model_.Stop();
    if (result != QDialog::Accepted) result_ = {};
    QDialog::done(result);
}

DownloadedLog RunHandheldDownloadDialog(QWidget* parent, Station& station) {
    CDlgHandheldDownload dialog(station, parent);
    dialog.exec();
    return dialog.Result();
}

}  // namespace winorvex
