#include "ui/command_panel.h"

#include <QGridLayout>
#include <QPainter>
#include <QPushButton>

#include "app/box_commands.h"
#include "app/station.h"
#include "results_link/link_state_reaction.h"
#include "ui/box_command_buttons.h"
#include "ui/config_dialog.h"
#include "ui/dlg_import_elite.h"
#include "ui/insert_detection_dialog.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

// The three images of the direct-connection button.
QIcon DirectIcon(DirectButtonImage image) {
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = image == DirectButtonImage::On           ? QColor(40, 170, 60)
                          : image == DirectButtonImage::Connecting ? QColor(240, 160, 30)
                                                                   : QColor(200, 40, 40);
    painter.setPen(QPen(colour.darker(150), 1.5));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2, 2, 14, 14));
    return QIcon(pixmap);
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

CommandPanel::CommandPanel(Station& station, QWidget* parent)
    : QWidget(parent), station_(station), commands_(std::make_unique<BoxCommands>(station)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    configuration_ = Button(QStringLiteral("Configuration..."), "configuration", this);
    insert_ = Button(T("Insérer\nune détection", "Insert\na detection"), "insertDetection", this);
    boxButtons_ = new BoxCommandButtons(station_, *commands_, station_.Services().keyboard, this);
    import_ = Button(T("Import détections\nboîtiers ou fichiers", "Import detections\nfrom boxes or files"),
                     "importDetections", this);
    direct_ = Button(T("Connexion directe à KtORVEX", "Direct KtORVEX connection"), "directConnection", this);
    direct_->setCheckable(true);

    grid->addWidget(configuration_, 0, 0);
    grid->addWidget(insert_, 1, 0);
    grid->addWidget(boxButtons_, 0, 1, 2, 1);
    grid->addWidget(import_, 0, 2);
    grid->addWidget(direct_, 1, 2);

    connect(configuration_, &QPushButton::clicked, this, &CommandPanel::OpenConfiguration);
    connect(insert_, &QPushButton::clicked, this, &CommandPanel::OpenInsertion);
    connect(import_, &QPushButton::clicked, this, &CommandPanel::OpenImport);
    // clicked: the operator's press only; the station's own changes come back as directButtonChanged.
    connect(direct_, &QPushButton::clicked, this, [this](bool down) { station_.DirectConnectionButton(down); });
    connect(&station_, &Station::directButtonChanged, this, &CommandPanel::RefreshDirectButton);
    RefreshDirectButton();
}

CommandPanel::~CommandPanel() = default;

void CommandPanel::RefreshDirectButton() {
    direct_->setChecked(station_.DirectButtonDown());
    direct_->setIcon(DirectIcon(static_cast<DirectButtonImage>(station_.DirectButtonImage())));
}

void CommandPanel::OpenConfiguration() {
    if (dialogOpen_ || station_.Exiting() || commands_->Busy()) return;
    dialogOpen_ = true;
    RunConfigurationDialog(window(), station_);
    station_.RefreshDayOffset();
    dialogOpen_ = false;
}

void CommandPanel::OpenInsertion() {
    if (dialogOpen_ || station_.Exiting()) return;
    dialogOpen_ = true;
    RunInsertDetectionDialog(window(), station_);
    dialogOpen_ = false;
}

void CommandPanel::OpenImport() {
    if (dialogOpen_ || station_.Exiting()) return;
    dialogOpen_ = true;
    RunImportDialog(window(), station_);
    dialogOpen_ = false;
}

}  // namespace winorvex
