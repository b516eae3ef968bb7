#include "ui/box_status_panel.h"

#include <QAction>
#include <QCursor>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

#include "ui/qt_text.h"

namespace winorvex {

QColor BoxStatusColour(BoxStatus status) {
    switch (status) {
        case BoxStatus::NotConnected:
            return QColor(200, 30, 30);
        case BoxStatus::Reconnecting:
            return QColor(240, 140, 0);
        case BoxStatus::Connected:
            return QColor(20, 160, 40);
        case BoxStatus::Undefined:
            break;
    }
    return QColor(150, 150, 150);
}

QPixmap BoxStatusPixmap(BoxStatus status, int boxNumber, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill = BoxStatusColour(status);
    const qreal margin = size / 16.0;
    const QRectF body(margin, margin, size - 2 * margin, size - 2 * margin);
    painter.setPen(QPen(fill.darker(160), size / 16.0));
    painter.setBrush(fill);
    painter.drawRoundedRect(body, size / 5.0, size / 5.0);
    // A reconnecting box gets a ring, so the state is readable without telling colours apart.
    if (status == BoxStatus::Reconnecting) {
        painter.setPen(QPen(Qt::white, size / 14.0, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(body.adjusted(size / 8.0, size / 8.0, -size / 8.0, -size / 8.0));
    }
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size / 2);
    painter.setFont(font);
    painter.setPen(status == BoxStatus::Undefined ? QColor(235, 235, 235) : Qt::white);
    painter.drawText(body, Qt::AlignCenter, QString::number(boxNumber));
    return pixmap;
}

BoxStatusPanel::BoxStatusPanel(Station& station, QWidget* parent) : QWidget(parent), station_(station) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (int n = 1; n <= Station::kBoxCount; ++n) {
        auto* picture = new QToolButton(this);
        picture->setObjectName(QStringLiteral("boxStatus%1").arg(n));
        picture->setAutoRaise(true);
        picture->setFocusPolicy(Qt::NoFocus);
        picture->setIconSize(QSize(kPictureSize, kPictureSize));
        connect(picture, &QToolButton::clicked, this, [this, n] { OpenBoxMenu(n); });
        layout->addWidget(picture);
        pictures_[static_cast<std::size_t>(n - 1)] = picture;
    }
    connect(&station_, &Station::statusChanged, this, &BoxStatusPanel::Refresh);
    Refresh();
}

QWidget* BoxStatusPanel::Picture(int boxNumber) const {
    if (boxNumber < 1 || boxNumber > Station::kBoxCount) return nullptr;
    return pictures_[static_cast<std::size_t>(boxNumber - 1)];
}

void BoxStatusPanel::Refresh() {
    for (int n = 1; n <= Station::kBoxCount; ++n) {
        QToolButton* picture = pictures_[static_cast<std::size_t>(n - 1)];
        picture->setIcon(QIcon(BoxStatusPixmap(station_.StatusOf(n), n, kPictureSize)));
        picture->setToolTip(station_.TipOf(n));
    }
}

void BoxStatusPanel::OpenBoxMenu(int boxNumber) {
    const BoxMenuState state = station_.BoxMenuFor(boxNumber);
    if (!state.show) return;
    QMenu menu(this);
    QAction* connectAction = menu.addAction(T("Connexion", "Connect"));
    connectAction->setEnabled(state.connectEnabled);
    QAction* disconnectAction = menu.addAction(T("Déconnexion", "Disconnect"));
    disconnectAction->setEnabled(state.disconnectEnabled);
    QAction* chosen = menu.exec(QCursor::pos() + QPoint(4, 5));
    if (chosen == connectAction) {
        station_.BoxMenuConnect(boxNumber);
    } else if (chosen == disconnectAction) {
        station_.BoxMenuDisconnect(boxNumber);
    }
}

}  // namespace winorvex
