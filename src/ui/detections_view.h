#pragma once
// The detections pane: a table over the station's detections model, one row per pane line and
// one column per tab-separated part. In extended status mode several rows can be selected, rows
// of removed records carry a mark, and a right click offers to remove or restore the selection.
//
// Scrolling: while the "Scroll" option is on, the view puts the row the station names at the top
// (detectionsTopLineChanged). When the operator scrolls, the pane is told its new top line and
// its height in lines, so that later detections scroll on from where the operator left it.
#include <QTableView>
#include <vector>

namespace winorvex {

class Station;

class DetectionsView : public QTableView {
    Q_OBJECT

public:
    explicit DetectionsView(Station& station, QWidget* parent = nullptr);

    // The view's height in whole lines.
    int VisibleLines() const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SizeColumns();
    void ShowTopLine(int row);
    std::vector<int> SelectedRows() const;

    Station& station_;
    bool scrollingByProgram_ = false;
};

}  // namespace winorvex
