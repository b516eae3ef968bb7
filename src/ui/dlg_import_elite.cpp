#include "ui/dlg_import_elite.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/download_boxes.h"
#include "app/import_order_run.h"
#include "app/import_runner.h"
#include "app/progress.h"
#include "app/station.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "import/import_choices.h"
#include "import/import_dialog_model.h"
#include "reader/box_manager.h"
#include "ui/config_dialog.h"
#include "ui/dlg_ftp_tty_log.h"
#include "ui/dlg_handheld_download.h"
#include "ui/progress_dialog.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

QGroupBox* Step(const QString& title, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    return box;
}

constexpr int kDownloadWaitPollMs = 200;

QToolButton* DotsButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("..."));
    return button;
}

}  // namespace

CDlgImportElite::CDlgImportElite(Station& station, QWidget* parent)
    : QDialog(parent),
      station_(station),
      model_(std::make_unique<ImportDialogModel>(station.ImportMemory())),
      runner_(std::make_unique<ImportRunner>(station.Sounds(), &station.Events())) {
    setWindowTitle(T("Import de détections", "Import detections"));
    BuildLayout();

    date_->setDate(QDate(model_->date.year, model_->date.month, model_->date.day));
    start_->setText(Q(model_->startText));
    end_->setText(Q(model_->endText));
    startMarker_->setToolTip(Q(model_->StartMarkerTip()));
    endMarker_->setToolTip(Q(model_->EndMarkerTip()));
    dayCorrection_->setCurrentIndex(model_->dayCorrection);
    ShowDayCorrection();
    RefreshButtons();

    connect(runner_.get(), &ImportRunner::informationLines, this, &CDlgImportElite::AddInformation);
    connect(runner_.get(), &ImportRunner::searchFinished, this, &CDlgImportElite::SearchEnded);
    downloadWait_.setInterval(kDownloadWaitPollMs);
    connect(&downloadWait_, &QTimer::timeout, this, &CDlgImportElite::CheckDownloadWait);
}

CDlgImportElite::~CDlgImportElite() {
    // The window goes before the state it shows; the work stops before the dialog's members go.
    waitProgress_.reset();
    progress_.reset();
    runner_.reset();
}

void CDlgImportElite::BuildLayout() {
    auto* layout = new QVBoxLayout(this);

    // 1: the log file.
    auto* fileStep = Step(T("1 - Fichier de traces", "1 - Log file"), this);
    auto* fileRow = new QHBoxLayout(fileStep);
    logFile_ = new QLineEdit(fileStep);
    logButton_ = DotsButton(fileStep);
    logMenu_ = new QMenu(this);
    logMenu_->addAction(T("Sélectionner un fichier sur votre disque", "Select a file on your disk"), this,
                        &CDlgImportElite::ChooseLogFile);
    logMenu_->addAction(T("Récupérer les données de votre boîtier ELITE", "Get data from your ELITE box"), this,
                        &CDlgImportElite::DownloadFromElite);
    logMenu_->addAction(T("Récupérer les données de votre Pistolet", "Get data from your HANDHELD reader"), this,
                        &CDlgImportElite::DownloadFromHandheld);
    logButton_->setMenu(logMenu_);
    logButton_->setPopupMode(QToolButton::InstantPopup);
    fileRow->addWidget(logFile_, 1);
    fileRow->addWidget(logButton_);
    layout->addWidget(fileStep);

    // 2: the date and the window.
    auto* windowStep = Step(T("2 - Date et période", "2 - Date and time range"), this);
    auto* windowGrid = new QGridLayout(windowStep);
    date_ = new QDateEdit(windowStep);
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    date_->setDateRange(QDate(2000, 1, 1), QDate(2038, 1, 1));
    start_ = new QLineEdit(windowStep);
    end_ = new QLineEdit(windowStep);
    startMarker_ = new QToolButton(windowStep);
    startMarker_->setText(QStringLiteral("M"));
    endMarker_ = new QToolButton(windowStep);
    endMarker_->setText(QStringLiteral("M"));
    startMenu_ = new QMenu(this);
    endMenu_ = new QMenu(this);
    windowGrid->addWidget(new QLabel(T("Date", "Date"), windowStep), 0, 0);
    windowGrid->addWidget(date_, 0, 1, 1, 2);
    windowGrid->addWidget(new QLabel(T("Heure de début", "Start time"), windowStep), 1, 0);
    windowGrid->addWidget(start_, 1, 1);
    windowGrid->addWidget(startMarker_, 1, 2);
    windowGrid->addWidget(new QLabel(T("Heure de fin", "End time"), windowStep), 2, 0);
    windowGrid->addWidget(end_, 2, 1);
    windowGrid->addWidget(endMarker_, 2, 2);
    layout->addWidget(windowStep);

    // 3: the search.
    auto* searchStep = Step(T("3 - Recherche", "3 - Search"), this);
    auto* searchRow = new QHBoxLayout(searchStep);
    search_ = new QPushButton(T("Rechercher", "Search"), searchStep);
    abnormal_ = new QCheckBox(
        T("Afficher tous les événements anormaux trouvés dans le fichier", "Display all abnormal events found in file"),
        searchStep);
    searchRow->addWidget(search_);
    searchRow->addWidget(abnormal_, 1);
    layout->addWidget(searchStep);

    // 4: the detector and the day correction.
    auto* boxStep = Step(T("4 - Id. Boîtier et correction de jour", "4 - Box identifier and day correction"), this);
    auto* boxRow = new QHBoxLayout(boxStep);
    detector_ = new QComboBox(boxStep);
    for (const std::string& item : ImportDetectorItems()) detector_->addItem(Q(item));
    detector_->setCurrentIndex(-1);
    dayCorrection_ = new QComboBox(boxStep);
    for (const std::string& item : ImportDayCorrectionItems()) dayCorrection_->addItem(Q(item));
    dayLabel_ = new QLabel(boxStep);
    boxRow->addWidget(detector_);
    boxRow->addWidget(dayCorrection_, 1);
    boxRow->addWidget(dayLabel_);
    layout->addWidget(boxStep);

    // 5: import, or save to a file.
    auto* endStep = Step(T("5 - Import ou sauvegarde", "5 - Import or save"), this);
    auto* endGrid = new QGridLayout(endStep);
    import_ = new QPushButton(T("Importer", "Import"), endStep);
    output_ = new QLineEdit(endStep);
    outputButton_ = DotsButton(endStep);
    save_ = new QPushButton(T("Sauver", "Save"), endStep);
    endGrid->addWidget(import_, 0, 0);
    endGrid->addWidget(output_, 1, 0);
    endGrid->addWidget(outputButton_, 1, 1);
    endGrid->addWidget(save_, 1, 2);
    layout->addWidget(endStep);

    information_ = new QListWidget(this);
    information_->setUniformItemSizes(true);
    information_->setMinimumHeight(160);
    layout->addWidget(information_, 1);

    auto* bottom = new QHBoxLayout();
    found_ = new QLabel(this);
    clear_ = new QPushButton(T("Effacer ces traces ^^^^^^", "Clear those logs ^^^^^^"), this);
    cancel_ = new QPushButton(T("Annuler", "Cancel"), this);
    bottom->addWidget(found_);
    bottom->addStretch(1);
    bottom->addWidget(clear_);
    bottom->addWidget(cancel_);
    layout->addLayout(bottom);

    connect(startMarker_, &QToolButton::clicked, this, [this] { StartMarkerMenu()->popup(QCursor::pos()); });
    connect(endMarker_, &QToolButton::clicked, this, [this] { EndMarkerMenu()->popup(QCursor::pos()); });
    connect(search_, &QPushButton::clicked, this, &CDlgImportElite::Search);
    connect(import_, &QPushButton::clicked, this, &CDlgImportElite::Import);
    connect(save_, &QPushButton::clicked, this, &CDlgImportElite::Save);
    connect(outputButton_, &QToolButton::clicked, this, &CDlgImportElite::ChooseOutputFile);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(clear_, &QPushButton::clicked, this, [this] {
        model_->Information().Clear();
        information_->clear();
    });
    connect(detector_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_->detectorIndex = index;
        RefreshButtons();
    });
    connect(dayCorrection_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_->dayCorrection = index < 0 ? 0 : index;
        ShowDayCorrection();
    });
}

bool CDlgImportElite::Searching() const {
    return runner_ && runner_->Busy();
}

void CDlgImportElite::ReadFields() {
    model_->logFile = StdText(logFile_->text());
    const QDate picked = date_->date();
    model_->date = {picked.year(), picked.month(), picked.day()};
    model_->startText = StdText(start_->text());
    model_->endText = StdText(end_->text());
    model_->showAbnormalEvents = abnormal_->isChecked();
    model_->detectorIndex = detector_->currentIndex();
    model_->dayCorrection = dayCorrection_->currentIndex() < 0 ? 0 : dayCorrection_->currentIndex();
    model_->outputFile = StdText(output_->text());
}

void CDlgImportElite::ShowDayCorrection() {
    const QString text = Q(model_->DayCorrectionText());
    dayLabel_->setText(text);
    dayLabel_->setVisible(!text.isEmpty());
}

void CDlgImportElite::RefreshButtons() {
    found_->setText(QString::number(model_->FoundCount()));
    const bool enabled = model_->CanImportOrSave() && !Searching();
    import_->setEnabled(enabled);
    save_->setEnabled(enabled);
}

void CDlgImportElite::ReloadInformation() {
    information_->clear();
    QStringList lines;
    for (const std::string& line : model_->Information().Lines()) lines.append(Q(line));
    information_->addItems(lines);
    information_->scrollToBottom();
}

void CDlgImportElite::AddInformation(const QStringList& lines) {
    for (const QString& line : lines) {
        const std::size_t dropped = model_->Information().Add(StdText(line));
        for (std::size_t i = 0; i < dropped && information_->count() > 0; ++i) {
            std::unique_ptr<QListWidgetItem> gone(information_->takeItem(0));
        }
        information_->addItem(Q(model_->Information().Lines().back()));
    }
    information_->scrollToBottom();
}

void CDlgImportElite::Focus(ImportDialogField field) {
    switch (field) {
        case ImportDialogField::LogFile:
            logFile_->setFocus();
            break;
        case ImportDialogField::StartTime:
            start_->setFocus();
            break;
        case ImportDialogField::EndTime:
            end_->setFocus();
            break;
        case ImportDialogField::OutputFile:
            output_->setFocus();
            break;
        case ImportDialogField::None:
            break;
    }
}

void CDlgImportElite::TakeDownload(const std::string& path, const std::string& detector) {
    if (path.empty()) return;
    model_->TakeDownloadedFile(path, detector);
    logFile_->setText(Q(model_->logFile));
    detector_->setCurrentIndex(model_->detectorIndex);
    RefreshButtons();
}

void CDlgImportElite::DownloadFromElite() {
    const DownloadedLog log = RunFtpTtyLogDialog(this, station_);
    TakeDownload(log.path, log.detector);
}

void CDlgImportElite::DownloadFromHandheld() {
    const DownloadedLog log = RunHandheldDownloadDialog(this, station_);
    TakeDownload(log.path, log.detector);
}

bool CDlgImportElite::DownloadFinished() {
    const int box = BoxDownloadingInto(station_.Boxes(), model_->logFile);
    if (box == 0) return true;
    // The box's worker still replays the reader's memory into the file: a search now would import
    // part of it and report it whole.
    waitPath_ = model_->logFile;
    waitState_ = std::make_unique<ProgressState>(Tr("Téléchargement en cours", "Download in progress"));
    waitState_->SetStatus(Format(
        Tr("Attente de la fin du téléchargement du boîtier %d...", "Waiting for the end of the download of box %d..."),
        box));
    waitProgress_ = std::make_unique<ProgressDialog>(*waitState_);
    waitProgress_->Create(this);
    downloadWait_.start();
    CheckDownloadWait();
    return false;
}

void CDlgImportElite::CheckDownloadWait() {
    if (!waitState_) return;
    const int box = BoxDownloadingInto(station_.Boxes(), waitPath_);
    if (box != 0 && !waitState_->CheckCancel()) {
        waitState_->SetCountText(
            Format(Tr("%d détections reçues", "%d detections received"), station_.Boxes().Box(box).DownloadedCount()));
        return;
    }
    const bool finished = box == 0;
    EndDownloadWait();
    if (finished) {
        Search();
        return;
    }
    AddInformation({Q(Format(Tr("Recherche non lancée : le téléchargement dans %s n'est pas terminé.",
                                "Search not started: the download into %s is not finished."),
                             waitPath_.c_str()))});
}

void CDlgImportElite::EndDownloadWait() {
    downloadWait_.stop();
    waitProgress_.reset();
    waitState_.reset();
}

void CDlgImportElite::Search() {
    if (Searching() || WaitingForDownload()) return;
    ReadFields();
    if (!DownloadFinished()) return;
    SearchPreparation prep = model_->PrepareSearch();
    // The day correction follows the picked date even when a field is refused.
    dayCorrection_->setCurrentIndex(model_->dayCorrection);
    if (!prep.ready) {
        station_.Prompt().Warn(prep.message);
        Focus(prep.focus);
        return;
    }
    ReloadInformation();
    if (!runner_->StartSearch(std::move(prep.request), std::move(prep.settings))) return;
    RefreshButtons();
    progress_ = std::make_unique<ProgressDialog>(*runner_->Progress());
    progress_->Create(this);
}

void CDlgImportElite::SearchEnded() {
    progress_.reset();
    model_->ApplySearchResult(runner_->TakeSearchResult(), &station_.Prompt());
    RefreshButtons();
}

void CDlgImportElite::Import() {
    ReadFields();
    const ButtonOutcome outcome = model_->RequestImport(station_.Prompt());
    Focus(outcome.focus);
    if (outcome.endDialog) accept();
}

void CDlgImportElite::Save() {
    ReadFields();
    const ButtonOutcome outcome = model_->RequestSave(station_.Prompt());
    output_->setText(Q(model_->outputFile));
    Focus(outcome.focus);
    if (outcome.endDialog) accept();
}

void CDlgImportElite::ChooseLogFile() {
    const QString filter = T("Sortie ELITE (*.log);;Fichier texte (*.txt)", "ELITE output (*.log);;Text file (*.txt)");
    const QString path =
        QFileDialog::getOpenFileName(this, T("Fichier ELITE", "ELITE file"), Q(model_->parseDir), filter);
    if (path.isEmpty()) return;
    model_->ChooseLogFile(StdText(path));
    logFile_->setText(path);
}

void CDlgImportElite::ChooseOutputFile() {
    QString current = output_->text();
    if (current.isEmpty() && !model_->saveDir.empty()) current = Q(model_->saveDir + "/");
    const QString path =
        ChooseRixSaveFile(this, T("Fichier de détections de sortie", "Output detection file"), current);
    if (path.isEmpty()) return;
    model_->ChooseOutputFile(StdText(path));
    output_->setText(path);
}

void CDlgImportElite::FillMarkerMenu(QMenu& menu, const std::vector<MarkerMenuEntry>& entries, QLineEdit* field) {
    menu.clear();
    for (const MarkerMenuEntry& entry : entries) {
        const QString value = Q(entry.fieldValue);
        menu.addAction(Q(entry.text), this, [field, value] { field->setText(value); });
    }
}

QMenu* CDlgImportElite::StartMarkerMenu() {
    FillMarkerMenu(*startMenu_, model_->StartMenu(), start_);
    return startMenu_;
}

QMenu* CDlgImportElite::EndMarkerMenu() {
    FillMarkerMenu(*endMenu_, model_->EndMenu(), end_);
    return endMenu_;
}

void CDlgImportElite::done(int result) {
    EndDownloadWait();
    if (Searching()) {
        // The search checks for a stop every hundred lines: the wait is short.
        runner_->StopAndWait();
        progress_.reset();
        RefreshButtons();
    }
    if (!closed_) {
        ReadFields();
        model_->Close();
        closed_ = true;
    }
    QDialog::done(result);
}

QObject* StartImportOrder(QWidget* owner, Station& station, const ImportOrder& order, const FoundDetections& found) {
    const ImportOrderServices services{station.Sounds(), &station.Events(), &station.Prompt(), station.Headless()};
    QPointer<QWidget> progressOwner(owner);
    auto progressWindow = [progressOwner](ProgressState& state) -> std::unique_ptr<QObject> {
        auto window = std::make_unique<ProgressDialog>(state);
        window->Create(progressOwner);
        return window;
    };
    QObject* parent = owner != nullptr ? static_cast<QObject*>(owner) : &station;
    return StartImportOrderRun(parent, services, progressWindow, order, found);
}

void RunImportDialog(QWidget* parent, Station& station) {
    ImportOrder order;
    FoundDetections found;
    {
        CDlgImportElite dialog(station, parent);
        dialog.exec();
        order = dialog.Model().Order();
        if (order.action != ImportAction::None) found = dialog.Model().Found();
    }
    StartImportOrder(parent, station, order, found);
}

}  // namespace winorvex
