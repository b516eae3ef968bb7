#pragma once
// The four box status pictures. Each shows its box number on the colour of its state (grey
// undefined, red not connected, orange reconnecting, green connected) with the box's tip; a click
// opens the box's Connect/Disconnect menu. The panel follows the station's statusChanged signal.
#include <QPixmap>
#include <QWidget>
#include <array>

#include "app/station.h"

class QToolButton;

namespace winorvex {

// The picture of one box in one state, size x size pixels.
QPixmap BoxStatusPixmap(BoxStatus status, int boxNumber, int size);
// Its fill colour (the tests tell the states apart by it).
QColor BoxStatusColour(BoxStatus status);

class BoxStatusPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPictureSize = 32;

    explicit BoxStatusPanel(Station& station, QWidget* parent = nullptr);

    // The picture of box n (1 to 4), for balloons that point at it.
    QWidget* Picture(int boxNumber) const;

private:
    void Refresh();
    void OpenBoxMenu(int boxNumber);

    Station& station_;
    std::array<QToolButton*, Station::kBoxCount> pictures_{};
};

}  // namespace winorvex
