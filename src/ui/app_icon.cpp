#include "ui/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace winorvex {

namespace {

QPixmap IconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 70, 140));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    // Two arcs: the chip reader's field.
    painter.setPen(QPen(QColor(250, 215, 60), size / 14.0, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(size * 0.30, size * 0.10, size * 0.40, size * 0.40), 30 * 16, 120 * 16);
    painter.drawArc(QRectF(size * 0.18, size * 0.02, size * 0.64, size * 0.50), 35 * 16, 110 * 16);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(size / 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, size * 0.35, size, size * 0.62), Qt::AlignCenter, QStringLiteral("W"));
    return pixmap;
}

}  // namespace

QIcon WinorvexIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) icon.addPixmap(IconPixmap(size));
    return icon;
}

}  // namespace winorvex
