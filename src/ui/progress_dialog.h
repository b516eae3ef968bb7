#pragma once
// The modeless progress window (CDlgProgress) of a long operation: it shows a ProgressState
// (caption, status line 1024, count line 1005) and its "Arrêter" button and the Escape key ask the
// operation to stop, leaving the window open until the caller destroys it. While it exists its
// owner window is disabled, when it was enabled on creation.
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace winorvex {

class ProgressState;

class ProgressDialog : public QDialog {
    Q_OBJECT

public:
    // How often the window reads the state the operation writes.
    static constexpr int kRefreshMs = 50;

    // The state outlives the window.
    explicit ProgressDialog(ProgressState& state);
    // Gives the owner back when Create disabled it.
    ~ProgressDialog() override;

    // Disables the owner when it is enabled, then shows the window over it. False (and the owner
    // enabled again) when the window cannot be shown.
    bool Create(QWidget* owner);

    // Shortcuts to the state, for callers on the station thread.
    void SetStatus(const QString& text);
    void SetCountText(const QString& text);
    bool CheckCancel();

    QLabel* StatusLine() const { return status_; }
    QLabel* CountLine() const { return count_; }
    QPushButton* StopButton() const { return stop_; }
    bool OwnerDisabledByUs() const { return disabledOwner_; }

    // Escape: the stop request, never a close.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Refresh();
    void GiveOwnerBack();

    ProgressState& state_;
    QLabel* status_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* stop_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QTimer refresh_;
    std::uint64_t shownVersion_ = ~std::uint64_t{0};
    QPointer<QWidget> owner_;
    bool disabledOwner_ = false;
};

}  // namespace winorvex
