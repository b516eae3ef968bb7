#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/control_ids.h"
#include "app/results_list_model.h"
#include "app/station.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/box_status_panel.h"
#include "ui/command_panel.h"
#include "ui/detections_view.h"
#include "ui/dlg_export_detection_lines.h"
#include "ui/log_view.h"
#include "ui/qt_text.h"
#include "ui/results_view.h"
#include "ui/window_screenshot.h"

namespace winorvex {

namespace {

constexpr int kBalloonMs = 4000;
constexpr int kTipMs = 15000;
constexpr int kTipMaxWidth = 400;

// Rich text wraps at the table's width; plain tips would run across the screen.
QString WrappedTipHtml(const QString& html) {
    return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>").arg(kTipMaxWidth).arg(html);
}

QString WrappedTip(const QString& text) {
    return WrappedTipHtml(text.toHtmlEscaped());
}

// The day-offset icon: a small moon, the race runs past midnight.
QPixmap DayOffsetPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 40, 120));
    painter.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    painter.setBrush(QColor(250, 215, 60));
    painter.drawEllipse(QRectF(size * 0.2, size * 0.2, size * 0.55, size * 0.55));
    painter.setBrush(QColor(30, 40, 120));
    painter.drawEllipse(QRectF(size * 0.38, size * 0.12, size * 0.5, size * 0.5));
    return pixmap;
}

QLabel* MakeTitle(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

MainWindow::MainWindow(Station& station, QWidget* parent) : QDialog(parent), station_(station) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("WinORVEX"));
    setWindowIcon(WinorvexIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);

    auto* root = new QVBoxLayout(this);
    root->addWidget(BuildTopRow());

    auto* panes = new QSplitter(Qt::Vertical, this);
    panes->setObjectName(QStringLiteral("panes"));
    panes->setChildrenCollapsible(false);
    panes->addWidget(BuildDetectionsPanel());
    auto* lower = new QSplitter(Qt::Horizontal, panes);
    lower->setChildrenCollapsible(false);
    lower->addWidget(BuildResultsPanel());
    lower->addWidget(BuildLogPanel());
    lower->setStretchFactor(0, 2);
    lower->setStretchFactor(1, 3);
    panes->addWidget(lower);
    panes->setStretchFactor(0, 3);
    panes->setStretchFactor(1, 2);
    root->addWidget(panes, 1);
    root->addWidget(BuildBottomRow());
    // The two lower panes start at the same height although only the log's title row has a drop list.
    if (auto* title = findChild<QLabel*>(QStringLiteral("resultsTitle"))) {
        title->setMinimumHeight(logLevel_->sizeHint().height());
    }

    insertShortcut_ = new QShortcut(QKeySequence(Qt::Key_F12), this);
    insertShortcut_->setContext(Qt::WindowShortcut);
    connect(insertShortcut_, &QShortcut::activated, commands_, &CommandPanel::OpenInsertion);
    results_->SetResultsModel(&station_.Results());
    connect(&station_, &Station::popFrontRequested, this, &MainWindow::BringToFront);

    connect(&station_, &Station::statusChanged, this, &MainWindow::RefreshStatus);
    connect(&station_, &Station::runnerDisplayChanged, this, &MainWindow::RefreshRunner);
    connect(&station_, &Station::dayOffsetChanged, this, &MainWindow::RefreshDayOffset);
    connect(&station_, &Station::logLevelItemChanged, this, &MainWindow::ShowLogLevelItem);
    connect(&station_, &Station::balloonRequested, this, &MainWindow::ShowBalloon);
    connect(&station_, &Station::finished, this, &MainWindow::Finish);

    RefreshStatus();
    RefreshRunner();
    RefreshDayOffset(station_.DayOffsetHours());
    resize(1100, 760);

    ScheduleDialogPictures();
    ScheduleScreenshotFromEnvironment(*this, [this] {
        SaveOpenDialogPictures();
        // A dialog open meanwhile (the configuration at start) runs its own event loop: end it
        // first, then shut down from the window's loop.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            if (dialog != nullptr && dialog != this && dialog->isVisible()) dialog->reject();
        }
        QTimer::singleShot(0, this, [this] {
            if (station_.RunExitProcedure(false)) Finish();
        });
    });
}

QPushButton* MainWindow::MakeButton(const QString& text, const char* name) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    // Enter must never press a button of this window.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget* MainWindow::BuildTopRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    boxes_ = new BoxStatusPanel(station_, row);
    layout->addWidget(boxes_);

    connectBoxes_ = MakeButton(T("Connexion\naux boitiers", "Connect\nto boxes"), "connectBoxes");
    connectBoxes_->setCheckable(true);
    // clicked, not toggled: only the operator's press reaches the station; the station's own
    // state comes back through statusChanged without pressing anything again.
    connect(connectBoxes_, &QPushButton::clicked, this, [this](bool down) { station_.ToggleBoxesButton(down); });
    layout->addWidget(connectBoxes_);
    commands_ = new CommandPanel(station_, row);
    layout->addWidget(commands_);
    layout->addSpacing(16);

    auto* runner = new QVBoxLayout;
    runnerName_ = new QLabel(row);
    runnerName_->setObjectName(QStringLiteral("runnerName"));
    QFont large = runnerName_->font();
    large.setPointSize(16);
    large.setBold(true);
    runnerName_->setFont(large);
    runner->addWidget(runnerName_);
    auto* rankAndTime = new QHBoxLayout;
    runnerRank_ = new QLabel(row);
    runnerRank_->setObjectName(QStringLiteral("runnerRank"));
    runnerTime_ = new QLabel(row);
    runnerTime_->setObjectName(QStringLiteral("runnerTime"));
    QFont medium = runnerRank_->font();
    medium.setPointSize(12);
    runnerRank_->setFont(medium);
    runnerTime_->setFont(medium);
    rankAndTime->addWidget(runnerRank_);
    rankAndTime->addSpacing(24);
    rankAndTime->addWidget(runnerTime_);
    rankAndTime->addStretch(1);
    runner->addLayout(rankAndTime);
    layout->addLayout(runner, 1);

    dayOffsetIcon_ = new QLabel(row);
    dayOffsetIcon_->setObjectName(QStringLiteral("dayOffsetIcon"));
    dayOffsetIcon_->setPixmap(DayOffsetPixmap(24));
    dayOffset_ = new QLabel(QStringLiteral("+ 24h"), row);
    dayOffset_->setObjectName(QStringLiteral("dayOffset"));
    QFont bold12 = dayOffset_->font();
    bold12.setPointSize(12);
    bold12.setBold(true);
    dayOffset_->setFont(bold12);
    layout->addWidget(dayOffsetIcon_);
    layout->addWidget(dayOffset_);
    return row;
}

QWidget* MainWindow::BuildDetectionsPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* header = new QHBoxLayout;
    logDetections_ = new QCheckBox(T("Détections", "Detections"), panel);
    logDetections_->setObjectName(QStringLiteral("logDetections"));
    logDetections_->setChecked(station_.LogDetections());
    logDetections_->setToolTip(WrappedTip(
        T("Il est recommandé de ne pas afficher les détections (décocher cette case) en cas de passage massif de "
          "coureurs sur la ligne de détection, comme par exemple une ligne de départ.",
          "It is recommended NOT to log the detection (uncheck this box) in case of massive detections input, like "
          "for example a departure line.")));
    logDetections_->setToolTipDuration(kTipMs);
    connect(logDetections_, &QCheckBox::clicked, this, [this](bool on) { station_.SetLogDetections(on); });
    scroll_ = new QCheckBox(T("Défilement", "Scroll"), panel);
    scroll_->setObjectName(QStringLiteral("scrollDetections"));
    scroll_->setChecked(station_.ScrollDetections());
    connect(scroll_, &QCheckBox::clicked, this, [this](bool on) { station_.SetScrollDetections(on); });
    recordedCount_ = new QLabel(panel);
    recordedCount_->setObjectName(QStringLiteral("recordedCount"));
    header->addWidget(logDetections_);
    header->addWidget(scroll_);
    header->addStretch(1);
    header->addWidget(recordedCount_);
    layout->addLayout(header);

    detections_ = new DetectionsView(station_, panel);
    layout->addWidget(detections_, 1);

    auto* footer = new QHBoxLayout;
    forgetAll_ = MakeButton(
        T("Oublier toutes les détections enregistrées !!!...", "Forget all recorded\ndetections!..."), "forgetAll");
    connect(forgetAll_, &QPushButton::clicked, this, [this] { station_.ForgetAllDetections(); });
    exportAll_ =
        MakeButton(T("Exporter toutes les détections enregistrées", "Export all\nrecorded detections"), "exportAll");
    connect(exportAll_, &QPushButton::clicked, this, [this] { station_.ExportAllDetections(); });
    QPushButton* clear = MakeButton(T("Effacer ces traces", "Clear those logs"), "clearDetections");
    connect(clear, &QPushButton::clicked, this, [this] { station_.ClearDetectionsPane(); });
    footer->addWidget(forgetAll_);
    footer->addWidget(exportAll_);
    footer->addStretch(1);
    footer->addWidget(clear);
    layout->addLayout(footer);
    return panel;
}

QWidget* MainWindow::BuildResultsPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel* title = MakeTitle(ResultsView::Title(), panel);
    title->setObjectName(QStringLiteral("resultsTitle"));
    layout->addWidget(title);
    results_ = new ResultsView(panel);
    layout->addWidget(results_, 1);
    auto* footer = new QHBoxLayout;
    QPushButton* clear = MakeButton(T("Effacer ces traces", "Clear those logs"), "clearResults");
    connect(clear, &QPushButton::clicked, this, [this] { station_.ClearResultsPane(); });
    footer->addStretch(1);
    footer->addWidget(clear);
    layout->addLayout(footer);
    return panel;
}

QWidget* MainWindow::BuildLogPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* header = new QHBoxLayout;
    header->addWidget(MakeTitle(T("Traces", "Logs"), panel));
    header->addStretch(1);
    header->addWidget(new QLabel(T("Niveau de traces :", "Log level:"), panel));
    logLevel_ = new QComboBox(panel);
    logLevel_->setObjectName(QStringLiteral("logLevel"));
    // The items line up their numbers with blanks: a fixed-pitch font keeps them aligned.
    logLevel_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    logLevel_->addItems(Station::LogLevelItemTexts());
    ShowLogLevelItem(station_.LogLevelItemIndex());
    // activated: the operator's choice only, not the station's own selection.
    connect(logLevel_, &QComboBox::activated, this, [this](int index) { station_.ChooseLogLevelItem(index); });
    header->addWidget(logLevel_);
    layout->addLayout(header);

    log_ = new LogView(station_, panel);
    layout->addWidget(log_, 1);
    auto* footer = new QHBoxLayout;
    QPushButton* clear = MakeButton(T("Effacer ces traces", "Clear those logs"), "clearLog");
    connect(clear, &QPushButton::clicked, this, [this] { station_.ClearLogWindow(); });
    footer->addStretch(1);
    footer->addWidget(clear);
    layout->addLayout(footer);
    return panel;
}

QWidget* MainWindow::BuildBottomRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* version = new QLabel(Station::VersionText(), row);
    version->setObjectName(QStringLiteral("versionText"));
    layout->addWidget(version);
    layout->addStretch(1);
    QPushButton* about = MakeButton(T("&A propos de WinORVEX...", "&About WinORVEX..."), "about");
    connect(about, &QPushButton::clicked, this, &MainWindow::OpenAbout);
    layout->addWidget(about);
    quit_ = MakeButton(T("Quitter", "Exit"), "quit");
    quit_->setMinimumWidth(110);
    connect(quit_, &QPushButton::clicked, this, &MainWindow::reject);
    layout->addWidget(quit_);
    return row;
}

void MainWindow::RefreshStatus() {
    connectBoxes_->setChecked(station_.ConnectButtonDown());
    recordedCount_->setText(station_.RecordedCountText());
    exportAll_->setEnabled(station_.HasActiveDetections());
}

void MainWindow::RefreshRunner() {
    runnerName_->setText(station_.RunnerName());
    runnerRank_->setText(station_.RunnerRank());
    runnerTime_->setText(station_.RunnerTime());
}

void MainWindow::RefreshDayOffset(int hours) {
    const bool shown = hours > 0;
    if (shown) dayOffset_->setText(Station::DayOffsetText(hours));
    dayOffset_->setVisible(shown);
    dayOffsetIcon_->setVisible(shown);
}

void MainWindow::ShowLogLevelItem(int index) {
    if (index < 0 || index >= logLevel_->count()) return;
    const QSignalBlocker quiet(logLevel_);
    logLevel_->setCurrentIndex(index);
}

QWidget* MainWindow::WidgetForControl(int control) const {
    switch (control) {
        case kControlConnectBoxes:
        case kControlConnectToggle:
            return connectBoxes_;
        case kControlDirectConnection:
            return commands_->DirectButton();
        case kControlConfiguration:
            return commands_->ConfigurationButton();
        case kControlInsertDetection:
            return commands_->InsertButton();
        case kControlImport:
            return commands_->ImportButton();
        case kControlExportAll:
            return exportAll_;
        case kControlForgetAll:
            return forgetAll_;
        case kControlDetectionsExtended:
        case kControlDetections:
            return detections_;
        case kControlResults:
            return results_;
        case kControlLog:
            return log_;
        case kControlRecordedCount:
            return recordedCount_;
        case kControlQuit:
            return quit_;
        default:
            break;
    }
    if (control >= kControlBoxStatus1 && control <= kControlBoxStatus4) {
        return boxes_->Picture(control - kControlBoxStatus1 + 1);
    }
    return nullptr;
}

void MainWindow::ShowBalloon(const QString& title, const QString& text, int anchorControl) {
    QWidget* anchor = WidgetForControl(anchorControl);
    if (anchor == nullptr || !anchor->isVisible()) anchor = this;
    const QPoint at = anchor->mapToGlobal(QPoint(anchor->width() * 2 / 3, anchor->height() / 2));
    QString html = QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), text.toHtmlEscaped());
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    QToolTip::showText(at, WrappedTipHtml(html), anchor, QRect(), kBalloonMs);
}

// With WINORVEX_SCREENSHOT_DIALOGS set as well, the pictures also show the dialogs: the
// configuration that opened by itself, then the insertion of a detection, each saved beside the
// window's picture as "<picture>-<dialog>.png".
void MainWindow::ScheduleDialogPictures() {
    if (qEnvironmentVariable("WINORVEX_SCREENSHOT").isEmpty() ||
        qEnvironmentVariableIsEmpty("WINORVEX_SCREENSHOT_DIALOGS")) {
        return;
    }
    QTimer::singleShot(2000, this, [this] {
        SaveOpenDialogPictures();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            if (dialog != nullptr && dialog != this && dialog->isVisible()) dialog->reject();
        }
        QTimer::singleShot(300, this, [this] { commands_->OpenInsertion(); });
    });
}

void MainWindow::SaveOpenDialogPictures() {
    const QString picture = qEnvironmentVariable("WINORVEX_SCREENSHOT");
    if (picture.isEmpty() || qEnvironmentVariableIsEmpty("WINORVEX_SCREENSHOT_DIALOGS")) return;
    QString base = picture;
    if (base.endsWith(QStringLiteral(".png"))) base.chop(4);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog == nullptr || dialog == this || !dialog->isVisible()) continue;
        const QString name = QString::fromLatin1(dialog->metaObject()->className()).section(QStringLiteral("::"), -1);
        SaveWindowPicture(*dialog, base + QLatin1Char('-') + name.toLower() + QStringLiteral(".png"));
    }
}

void MainWindow::OpenConfigurationAfterStart() {
    // 100 ms after start, so every run begins with the operator reviewing the boxes.
    QTimer::singleShot(100, this, [this] {
        if (!station_.Exiting()) commands_->OpenConfiguration();
    });
}

void MainWindow::BringToFront() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::OpenAbout() {
    AboutDialog about(Station::VersionText(), this);
    about.exec();
}

void MainWindow::reject() {
    if (finishing_) {
        QDialog::reject();
        return;
    }
    // The station decides (question, Ctrl): the window only closes once it has shut down.
    if (station_.RunExitProcedure()) Finish();
}

void MainWindow::Finish() {
    if (finishing_) return;
    finishing_ = true;
    done(QDialog::Accepted);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    QMenu menu(this);
    QAction* load1 = nullptr;
    QAction* load2 = nullptr;
    QAction* save1 = nullptr;
    QAction* save2 = nullptr;
    // The developer entries come first, with Ctrl held.
    if ((QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) != 0) {
        load1 = menu.addAction(QStringLiteral("Load test results 1"));
        load2 = menu.addAction(QStringLiteral("Load test results 2"));
        save1 = menu.addAction(QStringLiteral("Save as test results 1"));
        save2 = menu.addAction(QStringLiteral("Save as test results 2"));
        menu.addSeparator();
    }
    QAction* exportByDetector = menu.addAction(QString::fromUtf8("Export global des détections..."));
    QAction* chosen = menu.exec(event->globalPos() + QPoint(4, 5));
    if (chosen == nullptr) return;
    if (chosen == exportByDetector) {
        RunExportDialog(this, station_);
    } else if (chosen == load1) {
        station_.LoadTestResults(1);
    } else if (chosen == load2) {
        station_.LoadTestResults(2);
    } else if (chosen == save1) {
        station_.SaveTestResults(1);
    } else if (chosen == save2) {
        station_.SaveTestResults(2);
    }
}

}  // namespace winorvex
