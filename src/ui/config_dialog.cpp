#include "ui/config_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "app/dialog_commands.h"
#include "app/rix_file_name.h"
#include "app/station.h"
#include "core/folders.h"
#include "core/station_events.h"
#include "ui/config_advanced_dialog.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

constexpr int kTipWidthPixels = 400;
constexpr int kTipShownMs = 15000;

QString& RememberedRixFolder() {
    static QString folder;
    return folder;
}

// The tip of list 1129, wrapped at 400 pixels and shown for 15 s.
QString WrappedTip(const char* text) {
    return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
        .arg(kTipWidthPixels)
        .arg(Q(text).toHtmlEscaped());
}

}  // namespace

ConfigDialog::ConfigDialog(ConfigForm& form, BoxManager& boxes, OperatorPrompt& prompt, QWidget* parent,
                           ConfigDialogTimings timings)
    : QDialog(parent), form_(form), boxes_(boxes), prompt_(prompt) {
    setWindowTitle(T("Configuration", "Configuration"));
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    auto* layout = new QVBoxLayout(this);

    auto* boxGroup = new QGroupBox(T("Boîtiers", "Boxes"), this);
    BuildRows(boxGroup);
    layout->addWidget(boxGroup);
    lockedNote_ = new QLabel(Q(BoxRowLockedNote()), this);
    lockedNote_->setObjectName(QStringLiteral("lockedNote"));
    lockedNote_->setWordWrap(true);
    bool anyLocked = false;
    for (const ConfigBoxRow& row : form_.rows) anyLocked = anyLocked || !row.enabled;
    lockedNote_->setVisible(anyLocked);
    layout->addWidget(lockedNote_);

    auto* warning = new QHBoxLayout();
    warningIcon_ = new QLabel(this);
    warningIcon_->setObjectName(QStringLiteral("icon1014"));
    warningIcon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    warningText_ = new QLabel(Q(CompatibilityWarningText()), this);
    warningText_->setObjectName(QStringLiteral("text1013"));
    warning->addWidget(warningIcon_);
    warning->addWidget(warningText_);
    warning->addStretch();
    layout->addLayout(warning);

    auto* options = new QGridLayout();
    exportFile_ = new QLineEdit(Q(form_.exportFile), this);
    exportFile_->setObjectName(QStringLiteral("edit1022"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("button1023"));
    options->addWidget(new QLabel(T("Fichier d'export :", "Export file:"), this), 0, 0);
    options->addWidget(exportFile_, 0, 1);
    options->addWidget(browse, 0, 2);
    directHost_ = new QLineEdit(Q(form_.directHost), this);
    directHost_->setObjectName(QStringLiteral("edit1087"));
    directPort_ = new QLineEdit(Q(form_.directPortText), this);
    directPort_->setObjectName(QStringLiteral("edit1085"));
    directReconnect_ = new QLineEdit(Q(form_.directReconnectText), this);
    directReconnect_->setObjectName(QStringLiteral("edit1086"));
    options->addWidget(new QLabel(T("Connexion directe :", "Direct connection:"), this), 1, 0);
    auto* direct = new QHBoxLayout();
    direct->addWidget(directHost_);
    direct->addWidget(directPort_);
    direct->addWidget(directReconnect_);
    options->addLayout(direct, 1, 1, 1, 2);
    reconnect_ = new QComboBox(this);
    reconnect_->setObjectName(QStringLiteral("list1129"));
    for (const ReconnectChoice& choice : form_.reconnectChoices) reconnect_->addItem(Q(choice.text));
    reconnect_->setCurrentIndex(form_.reconnectSelection);
    reconnect_->setToolTip(WrappedTip(ReconnectListTip()));
    reconnect_->setToolTipDuration(kTipShownMs);
    options->addWidget(
        new QLabel(T("En cas de perte de connection avec le boîtier :", "On a loss of connection with the box:"), this),
        2, 0);
    options->addWidget(reconnect_, 2, 1, 1, 2);
    longRaces_ = new QComboBox(this);
    longRaces_->setObjectName(QStringLiteral("list1131"));
    for (const std::string& item : LongRaceItems()) longRaces_->addItem(Q(item));
    longRaces_->setCurrentIndex(form_.daysToAddSelection);
    options->addWidget(new QLabel(T("Longues (très très longues) courses", "Long (very very long) races"), this), 3, 0);
    options->addWidget(longRaces_, 3, 1, 1, 2);
    layout->addLayout(options);

    ignoreUnknown_ = new QCheckBox(
        T("Ignorer les puces non présentes dans la table de correspondance", "Ignore chips missing from the table"),
        this);
    ignoreUnknown_->setChecked(form_.ignoreUnknownTags);
    beepDetections_ = new QCheckBox(T("Biper à chaque détection", "Beep at each detection"), this);
    beepDetections_->setChecked(form_.beepDetections);
    beepWhenQuit_ = new QCheckBox(T("Jouer un son en sortie", "Play a sound on exit"), this);
    beepWhenQuit_->setChecked(form_.beepWhenQuit);
    layout->addWidget(ignoreUnknown_);
    layout->addWidget(beepDetections_);
    layout->addWidget(beepWhenQuit_);

    auto* tools = new QHBoxLayout();
    advanced_ = new QPushButton(T("Config.\nAvancée...", "Advanced\nconfig..."), this);
    advanced_->setObjectName(QStringLiteral("button1089"));
    auto* logFolder = new QPushButton(T("Voir répertoire\nde logs...", "Show the log\nfolder..."), this);
    logFolder->setObjectName(QStringLiteral("button1088"));
    auto* reload = new QPushButton(T("Recharger la table de correspondance", "Reload the chip table"), this);
    reload->setObjectName(QStringLiteral("button1249"));
    tools->addWidget(advanced_);
    tools->addWidget(logFolder);
    tools->addWidget(reload);
    layout->addLayout(tools);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ConfigDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConfigDialog::reject);
    connect(browse, &QPushButton::clicked, this, &ConfigDialog::ChooseExportFile);
    connect(logFolder, &QPushButton::clicked, this, &ConfigDialog::OpenLogFolder);
    connect(advanced_, &QPushButton::clicked, this, &ConfigDialog::OpenAdvanced);
    connect(reload, &QPushButton::clicked, this, &ConfigDialog::ReloadChipTable);
    for (QLineEdit* edit : {directHost_, directPort_, directReconnect_}) {
        connect(edit, &QLineEdit::textEdited, this, &ConfigDialog::KeepTopMost);
    }

    blink_.setInterval(timings.blinkMs);
    connect(&blink_, &QTimer::timeout, this, [this] {
        blinkShown_ = !blinkShown_;
        warningText_->setVisible(blinkShown_);
        warningIcon_->setVisible(blinkShown_);
    });
    ShowWarning();

    SetTopMost(true);
    topMostTimer_.setSingleShot(true);
    topMostTimer_.setInterval(timings.topMostMs);
    connect(&topMostTimer_, &QTimer::timeout, this, [this] { SetTopMost(false); });
    topMostTimer_.start();
}

void ConfigDialog::BuildRows(QWidget* box) {
    auto* grid = new QGridLayout(box);
    grid->addWidget(
        new QLabel(T("Hostname / adresse TCP/IP, ou port COM :", "Host name / TCP/IP address, or COM port:"), box), 0,
        0);
    grid->addWidget(new QLabel(T("Port TCP/.IP ou\nvitesse COM :", "TCP/IP port or\nCOM speed:"), box), 0, 1);
    grid->addWidget(new QLabel(T("Id. Boîtier :", "Box Id.:"), box), 0, 2);
    for (int row = 0; row < kConfigBoxRows; ++row) {
        const ConfigBoxRow& shown = form_.rows[static_cast<std::size_t>(row)];
        RowWidgets& widgets = rows_[static_cast<std::size_t>(row)];
        widgets.host = new QLineEdit(Q(shown.hostText), box);
        widgets.port = new QLineEdit(Q(shown.portText), box);
        widgets.detector = new QComboBox(box);
        const std::vector<std::string>& items = shown.detectorItems.empty() ? DetectorListItems() : shown.detectorItems;
        for (const std::string& item : items) widgets.detector->addItem(Q(item));
        widgets.detector->setCurrentIndex(shown.detectorSelection);
        widgets.detector->setEnabled(shown.listEnabled);
        grid->addWidget(widgets.host, row + 1, 0);
        grid->addWidget(widgets.port, row + 1, 1);
        grid->addWidget(widgets.detector, row + 1, 2);
        if (!shown.enabled) {
            for (QWidget* w : {static_cast<QWidget*>(widgets.host), static_cast<QWidget*>(widgets.port),
                               static_cast<QWidget*>(widgets.detector)}) {
                w->setEnabled(false);
                w->setToolTip(Q(BoxRowLockedNote()));
            }
        }
        connect(widgets.host, &QLineEdit::textEdited, this, [this, row] { RowEdited(row); });
        connect(widgets.port, &QLineEdit::textEdited, this, [this, row] { RowEdited(row); });
        connect(widgets.detector, &QComboBox::activated, this, [this, row] { RowEdited(row); });
    }
}

void ConfigDialog::RowEdited(int row) {
    KeepTopMost();
    const RowWidgets& widgets = rows_[static_cast<std::size_t>(row)];
    ConfigBoxRow& shown = form_.rows[static_cast<std::size_t>(row)];
    shown.hostText = StdText(widgets.host->text());
    shown.portText = StdText(widgets.port->text());
    shown.detectorSelection = widgets.detector->currentIndex();
    UpdateBoxRow(form_, row);
    if (shown.enabled) widgets.detector->setEnabled(shown.listEnabled);
    ShowWarning();
}

void ConfigDialog::ShowWarning() {
    if (form_.warning) {
        if (!blink_.isActive()) {
            blinkShown_ = true;
            blink_.start();
        }
    } else {
        blink_.stop();
        blinkShown_ = false;
    }
    warningText_->setVisible(blinkShown_);
    warningIcon_->setVisible(blinkShown_);
}

void ConfigDialog::KeepTopMost() {
    topMostTimer_.stop();
}

bool ConfigDialog::TopMost() const {
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void ConfigDialog::SetTopMost(bool on) {
    if (TopMost() == on) return;
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing a window flag hides the window.
    if (shown) show();
}

void ConfigDialog::ReadFields() {
    for (int row = 0; row < kConfigBoxRows; ++row) {
        const RowWidgets& widgets = rows_[static_cast<std::size_t>(row)];
        ConfigBoxRow& shown = form_.rows[static_cast<std::size_t>(row)];
        shown.hostText = StdText(widgets.host->text());
        shown.portText = StdText(widgets.port->text());
        shown.detectorSelection = widgets.detector->currentIndex();
    }
    form_.exportFile = StdText(exportFile_->text());
    form_.directHost = StdText(directHost_->text());
    form_.directPortText = StdText(directPort_->text());
    form_.directReconnectText = StdText(directReconnect_->text());
    form_.reconnectSelection = reconnect_->currentIndex();
    form_.daysToAddSelection = longRaces_->currentIndex();
    form_.ignoreUnknownTags = ignoreUnknown_->isChecked();
    form_.beepDetections = beepDetections_->isChecked();
    form_.beepWhenQuit = beepWhenQuit_->isChecked();
}

void ConfigDialog::accept() {
    ReadFields();
    const ConfigCheck check = ConfirmConfigForm(form_, boxes_);
    if (!check.accepted) {
        prompt_.Warn(check.message);
        return;
    }
    QDialog::accept();
}

void ConfigDialog::ChooseExportFile() {
    const QString path = ChooseRixSaveFile(this, T("Fichier d'export", "Export file"), exportFile_->text());
    if (!path.isEmpty()) exportFile_->setText(path);
}

void ConfigDialog::OpenLogFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(GetLogFolder())));
}

void ConfigDialog::OpenAdvanced() {
    KeepTopMost();
    // The advanced values are edited on a copy: its Cancel drops them, and they reach the station
    // only with this form's OK.
    AdvancedValues edited = form_.advanced;
    ConfigAdvancedDialog dialog(edited, prompt_, this);
    if (dialog.exec() == QDialog::Accepted) form_.advanced = edited;
}

void ConfigDialog::ReloadChipTable() {
    ReloadChipTableForOperator(prompt_);
}

QString ChooseRixSaveFile(QWidget* parent, const QString& title, const QString& current) {
    QString folder = RememberedRixFolder();
    if (folder.isEmpty() && !current.isEmpty()) folder = QFileInfo(current).absolutePath();
    const QString filter = T("Fichier de détections (*.rix)", "Detection file (*.rix)");
    const QString chosen = QFileDialog::getSaveFileName(parent, title, folder, filter);
    if (chosen.isEmpty()) return QString();
    const QString path = Q(WithRixExtension(StdText(chosen)));
    RememberedRixFolder() = QFileInfo(path).absolutePath();
    return path;
}

bool RunConfigurationDialog(QWidget* parent, Station& station) {
    return RunConfiguration(station, [&](ConfigForm& form) {
        ConfigDialog dialog(form, station.Boxes(), station.Prompt(), parent);
        return dialog.exec() == QDialog::Accepted;
    });
}

}  // namespace winorvex
