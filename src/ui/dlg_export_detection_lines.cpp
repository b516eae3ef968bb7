#include "ui/dlg_export_detection_lines.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/station.h"
#include "export/periodic_export.h"
#include "ui/dlg_ftp_servers.h"
#include "ui/dlg_recalage.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

constexpr int kTipWidthPixels = 400;
constexpr int kTipShownMs = 15000;

QString WrappedTip(const QString& text) {
    return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
        .arg(kTipWidthPixels)
        .arg(text.toHtmlEscaped());
}

void SetTip(QWidget* widget, const QString& text) {
    widget->setToolTip(WrappedTip(text));
    widget->setToolTipDuration(kTipShownMs);
}

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // Enter in an edit box must not press whichever button last had the focus.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

// ---- MinutesBox --------------------------------------------------------------------------------

MinutesBox::MinutesBox(QWidget* parent) : QAbstractSpinBox(parent) {
    setObjectName(QStringLiteral("minutes"));
    // The base class knows no values to size itself on: room for "10" and the arrows.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 24);
}

void MinutesBox::SetText(const QString& text) {
    lineEdit()->setText(text);
}

int MinutesBox::Value() const {
    bool ok = false;
    const int value = text().trimmed().toInt(&ok);
    if (!ok || value < kMinimum) return kMinimum;
    return value > kMaximum ? kMaximum : value;
}

void MinutesBox::stepBy(int steps) {
    int value = Value() + steps;
    if (value < kMinimum) value = kMinimum;
    if (value > kMaximum) value = kMaximum;
    SetText(QString::number(value));
}

QAbstractSpinBox::StepEnabled MinutesBox::stepEnabled() const {
    StepEnabled enabled = StepNone;
    bool ok = false;
    const int typed = text().trimmed().toInt(&ok);
    if (!ok || typed < kMaximum) enabled |= StepUpEnabled;
    if (!ok || typed > kMinimum) enabled |= StepDownEnabled;
    return enabled;
}

// ---- The window --------------------------------------------------------------------------------

ExportDialogChoosers DefaultExportDialogChoosers() {
    ExportDialogChoosers choosers;
    choosers.servers = [](QWidget* parent, const std::vector<std::string>& selected) {
        return RunFtpServersDialog(parent, selected);
    };
    choosers.recalage = [](QWidget* parent, const CDlgRecalageModel& model, OperatorPrompt& prompt) {
        return RunRecalageDialog(parent, model, prompt);
    };
    choosers.folder = [](QWidget* parent, const QString& current) {
        return QFileDialog::getExistingDirectory(parent, T("Répertoire d'export", "Export folder"), current);
    };
    return choosers;
}

CDlgExportDetectionLines::CDlgExportDetectionLines(OperatorPrompt& prompt, ExportUploader* uploader, QWidget* parent,
                                                   ExportDialogChoosers choosers)
    : QDialog(parent), prompt_(prompt), uploader_(uploader), choosers_(std::move(choosers)) {
    setWindowTitle(QStringLiteral("Export des lignes de détections"));
    auto* layout = new QVBoxLayout(this);

    auto* filtering = new QGroupBox(QStringLiteral(" Filtrage des détections "), this);
    BuildFilterGroup(filtering);
    layout->addWidget(filtering);
    auto* distribution = new QGroupBox(QStringLiteral(" Répartition des détections "), this);
    BuildDistributionGroup(distribution);
    layout->addWidget(distribution);
    auto* exporting = new QGroupBox(QStringLiteral(" Export "), this);
    BuildExportGroup(exporting);
    layout->addWidget(exporting);

    auto* bottom = new QHBoxLayout();
    bottom->addStretch();
    close_ = Button(QStringLiteral("Fermer"), this);
    close_->setObjectName(QStringLiteral("close"));
    bottom->addWidget(close_);
    layout->addLayout(bottom);
    connect(close_, &QPushButton::clicked, this, &CDlgExportDetectionLines::accept);

    ShowServers();
    ShowRows();
    UpdateState();
}

void CDlgExportDetectionLines::BuildFilterGroup(QWidget* group) {
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral("Temps minimum entre deux détections :"), group));
    gap_ = new QLineEdit(Q(model_.fields.gapText), group);
    gap_->setObjectName(QStringLiteral("gap"));
    row->addWidget(gap_);
    filter_ = Button(QStringLiteral("Filtrer"), group);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setDefault(true);
    row->addWidget(filter_);
    connect(filter_, &QPushButton::clicked, this, &CDlgExportDetectionLines::Filter);
    connect(gap_, &QLineEdit::returnPressed, this, &CDlgExportDetectionLines::Filter);
}

void CDlgExportDetectionLines::BuildDistributionGroup(QWidget* group) {
    auto* column = new QVBoxLayout(group);
    table_ = new QTableWidget(0, static_cast<int>(kDistributionColumns), group);
    table_->setObjectName(QStringLiteral("distribution"));
    QStringList headings;
    for (const std::string& heading : ExportDialogModel::Headings()) headings << Q(heading);
    table_->setHorizontalHeaderLabels(headings);
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(table_);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &CDlgExportDetectionLines::SelectionChanged);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        model_.SetSelection(static_cast<std::size_t>(row));
        Recalage();
    });

    auto* handicap = new QHBoxLayout();
    handicap->addWidget(new QLabel(QStringLiteral("Handicap détecteur"), group));
    handicap_ = new QLabel(group);
    handicap_->setObjectName(QStringLiteral("handicap"));
    handicap->addWidget(handicap_);
    reset_ = Button(QString(), group);
    reset_->setObjectName(QStringLiteral("reset"));
    reset_->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    SetTip(reset_, T("Remise à 0 du handicap", "Reset handicap"));
    handicap->addWidget(reset_);
    recalage_ = Button(QStringLiteral("Recalage..."), group);
    recalage_->setObjectName(QStringLiteral("recalage"));
    handicap->addWidget(recalage_);
    handicap->addStretch();
    column->addLayout(handicap);
    connect(reset_, &QPushButton::clicked, this, &CDlgExportDetectionLines::ResetHandicap);
    connect(recalage_, &QPushButton::clicked, this, &CDlgExportDetectionLines::Recalage);

    auto* modes = new QHBoxLayout();
    modes->addWidget(new QLabel(QStringLiteral("Affichage et Export :"), group));
    const std::array<const char*, 3> texts = {"Heure de détection", "Temps de passage", "Temps au format Logica"};
    auto* buttons = new QButtonGroup(group);
    for (std::size_t i = 0; i < modes_.size(); ++i) {
        modes_[i] = new QRadioButton(QString::fromUtf8(texts[i]), group);
        buttons->addButton(modes_[i], static_cast<int>(i));
        modes->addWidget(modes_[i]);
        const auto mode = static_cast<DisplayMode>(i);
        connect(modes_[i], &QRadioButton::clicked, this, [this, mode] { SetMode(mode); });
    }
    modes->addStretch();
    column->addLayout(modes);
}

void CDlgExportDetectionLines::BuildExportGroup(QWidget* group) {
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Répertoire d'export :"), group), 0, 0);
    folder_ = new QLineEdit(Q(model_.fields.folder), group);
    folder_->setObjectName(QStringLiteral("folder"));
    grid->addWidget(folder_, 0, 1);
    folderButton_ = Button(QStringLiteral("..."), group);
    folderButton_->setObjectName(QStringLiteral("folderButton"));
    grid->addWidget(folderButton_, 0, 2);

    grid->addWidget(new QLabel(QStringLiteral("Nom de fichier générique :"), group), 1, 0);
    name_ = new QLineEdit(Q(model_.fields.genericName), group);
    name_->setObjectName(QStringLiteral("name"));
    grid->addWidget(name_, 1, 1);
    zip_ = new QCheckBox(QStringLiteral("Archive ZIP"), group);
    zip_->setChecked(model_.fields.zip);
    grid->addWidget(zip_, 1, 2);

    ftp_ = new QCheckBox(QStringLiteral("Transférer sur des serveurs par FTP :"), group);
    ftp_->setChecked(model_.fields.ftp);
    grid->addWidget(ftp_, 2, 0);
    servers_ = new QLabel(group);
    servers_->setObjectName(QStringLiteral("servers"));
    grid->addWidget(servers_, 2, 1);
    serversButton_ = Button(QStringLiteral("..."), group);
    serversButton_->setObjectName(QStringLiteral("serversButton"));
    grid->addWidget(serversButton_, 2, 2);

    grid->addWidget(new QLabel(QStringLiteral("Données à exporter :"), group), 3, 0);
    data_ = new QLabel(group);
    data_->setObjectName(QStringLiteral("data"));
    grid->addWidget(data_, 3, 1, 1, 2);

    export_ = Button(QStringLiteral("Exporter maintenant"), group);
    export_->setObjectName(QStringLiteral("exportNow"));
    grid->addWidget(export_, 4, 0);

    auto* periodic = new QHBoxLayout();
    periodic_ = new QCheckBox(QStringLiteral("Exporter toutes les "), group);
    periodic_->setChecked(model_.fields.periodic);
    periodic->addWidget(periodic_);
    minutes_ = new MinutesBox(group);
    minutes_->SetText(Q(model_.fields.minutesText));
    periodic->addWidget(minutes_);
    periodic->addWidget(new QLabel(QStringLiteral("minutes"), group));
    periodic->addStretch();
    grid->addLayout(periodic, 5, 0, 1, 3);

    connect(folderButton_, &QPushButton::clicked, this, &CDlgExportDetectionLines::ChooseFolder);
    connect(serversButton_, &QPushButton::clicked, this, &CDlgExportDetectionLines::ChooseServers);
    connect(ftp_, &QCheckBox::clicked, this, &CDlgExportDetectionLines::FtpToggled);
    connect(export_, &QPushButton::clicked, this, &CDlgExportDetectionLines::ExportNow);
}

void CDlgExportDetectionLines::ReadFields() {
    ExportDialogModel::Fields& f = model_.fields;
    f.gapText = gap_->text().toStdString();
    f.folder = folder_->text().toStdString();
    f.genericName = name_->text().toStdString();
    f.zip = zip_->isChecked();
    f.ftp = ftp_->isChecked();
    f.minutesText = minutes_->text().toStdString();
    f.periodic = periodic_->isChecked();
}

void CDlgExportDetectionLines::ShowRows() {
    showing_ = true;
    const std::vector<DistributionRow>& rows = model_.Rows();
    table_->clearSelection();
    table_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < kDistributionColumns; ++c) {
            table_->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(Q(rows[r].cells[c])));
        }
    }
    if (model_.Selection()) table_->selectRow(static_cast<int>(*model_.Selection()));
    showing_ = false;
}

void CDlgExportDetectionLines::ShowServers() {
    servers_->setText(Q(model_.ServersLabelText()));
    SetTip(ftp_, Q(model_.FtpTooltipText()));
}

void CDlgExportDetectionLines::UpdateState() {
    const bool handicaps = model_.HandicapButtonsEnabled();
    recalage_->setEnabled(handicaps);
    reset_->setEnabled(handicaps);
    handicap_->setText(Q(model_.HandicapLabelText()));
    const DisplayMode mode = model_.Mode();
    for (std::size_t i = 0; i < modes_.size(); ++i) {
        modes_[i]->setEnabled(model_.ModeButtonsEnabled());
        if (static_cast<DisplayMode>(i) == mode) modes_[i]->setChecked(true);
    }
    export_->setEnabled(model_.ExportEnabled());
    data_->setText(Q(model_.DataToExportText()));
}

void CDlgExportDetectionLines::SelectionChanged() {
    if (showing_) return;
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty()) {
        model_.SetSelection(std::nullopt);
    } else {
        model_.SetSelection(static_cast<std::size_t>(selected.front()->row()));
    }
    UpdateState();
}

void CDlgExportDetectionLines::Filter() {
    ReadFields();
    if (model_.Filter(prompt_)) ShowRows();
    UpdateState();
    table_->setFocus();
}

void CDlgExportDetectionLines::SetMode(DisplayMode mode) {
    ReadFields();
    model_.SetDisplayMode(mode, prompt_);
    ShowRows();
    UpdateState();
    table_->setFocus();
}

void CDlgExportDetectionLines::Recalage() {
    const std::optional<CDlgRecalageModel> recalage = model_.BeginRecalage();
    if (!recalage || !choosers_.recalage) return;
    const std::optional<CChrono> handicap = choosers_.recalage(this, *recalage, prompt_);
    if (!handicap) return;
    model_.ApplyRecalage(*handicap);
    ShowRows();
    UpdateState();
}

void CDlgExportDetectionLines::ResetHandicap() {
    if (model_.RequestHandicapReset(prompt_)) ShowRows();
    UpdateState();
}

void CDlgExportDetectionLines::ChooseFolder() {
    if (!choosers_.folder) return;
    const QString chosen = choosers_.folder(this, folder_->text());
    if (chosen.isEmpty()) return;
    ReadFields();
    if (model_.ChooseFolder(chosen.toStdString())) folder_->setText(Q(model_.fields.folder));
}

void CDlgExportDetectionLines::ChooseServers() {
    if (!choosers_.servers) return;
    const std::optional<std::vector<std::string>> labels = choosers_.servers(this, model_.ServerLabels());
    if (!labels) return;
    model_.SetServerLabels(*labels);
    ShowServers();
}

void CDlgExportDetectionLines::FtpToggled(bool on) {
    model_.fields.ftp = on;
    if (model_.SetFtpOption(on)) ChooseServers();
}

void CDlgExportDetectionLines::ExportNow() {
    if (!model_.ExportEnabled()) return;
    ReadFields();
    std::optional<ExportReport> report = model_.ExportNow(prompt_, uploader_);
    if (report) lastExport_ = std::move(report);
}

void CDlgExportDetectionLines::done(int result) {
    if (!closed_) {
        ReadFields();
        closed_ = model_.Close();
        showing_ = true;
        table_->setRowCount(0);
        showing_ = false;
    }
    QDialog::done(result);
}

void RunExportDialog(QWidget* parent, Station& station) {
    CDlgExportDetectionLines dialog(station.Prompt(), station.Uploader(), parent);
    dialog.exec();
    if (dialog.Closed() && dialog.Closed()->periodicSwitchedOn) station.PeriodicExports().RestartPeriod();
}

}  // namespace winorvex
