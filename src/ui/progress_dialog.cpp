#include "ui/progress_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/progress.h"
#include "ui/qt_text.h"

namespace winorvex {

ProgressDialog::ProgressDialog(ProgressState& state) : QDialog(nullptr), state_(state) {
    // A window of its own, not a child of the owner: disabling the owner must not disable it.
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status1024"));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("count1005"));
    count_->setAlignment(Qt::AlignCenter);
    // Kept for the layout of the window; no operation moves it.
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->hide();
    stop_ = new QPushButton(T("Arrêter", "Stop"), this);
    layout->addWidget(status_);
    layout->addWidget(count_);
    layout->addWidget(bar_);
    layout->addWidget(stop_, 0, Qt::AlignCenter);
    connect(stop_, &QPushButton::clicked, this, [this] { state_.RequestCancel(); });
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &ProgressDialog::Refresh);
    Refresh();
}

ProgressDialog::~ProgressDialog() {
    GiveOwnerBack();
}

bool ProgressDialog::Create(QWidget* owner) {
    owner_ = owner;
    if (owner != nullptr && owner->isEnabled()) {
        owner->setEnabled(false);
        disabledOwner_ = true;
    }
    if (owner != nullptr) {
        const QPoint centre = owner->frameGeometry().center();
        adjustSize();
        move(centre.x() - width() / 2, centre.y() - height() / 2);
    }
    show();
    if (!isVisible()) {
        GiveOwnerBack();
        return false;
    }
    refresh_.start();
    return true;
}

void ProgressDialog::SetStatus(const QString& text) {
    state_.SetStatus(StdText(text));
    Refresh();
}

void ProgressDialog::SetCountText(const QString& text) {
    state_.SetCountText(StdText(text));
    Refresh();
}

bool ProgressDialog::CheckCancel() {
    return state_.CheckCancel();
}

void ProgressDialog::reject() {
    state_.RequestCancel();
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    // The caller ends the window once its operation stopped.
    state_.RequestCancel();
    event->ignore();
}

void ProgressDialog::Refresh() {
    const std::uint64_t version = state_.Version();
    if (version == shownVersion_) return;
    shownVersion_ = version;
    setWindowTitle(Q(state_.Caption()));
    status_->setText(Q(state_.Status()));
    count_->setText(Q(state_.CountText()));
}

void ProgressDialog::GiveOwnerBack() {
    if (!disabledOwner_) return;
    disabledOwner_ = false;
    if (owner_) owner_->setEnabled(true);
}

}  // namespace winorvex
