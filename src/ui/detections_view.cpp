#include "ui/detections_view.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <array>

#include "app/detections_list_model.h"
#include "app/station.h"
#include "detections/detections_pane.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

// Draws the removed mark (a red bar crossed out) in front of the first column of removed rows,
// and their text greyed.
class RemovedMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool removed = index.data(DetectionsListModel::kRemovedRole).toBool();
        if (!removed) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem greyed(option);
        greyed.palette.setColor(QPalette::Text, QColor(128, 128, 128));
        if (index.column() != 0) {
            QStyledItemDelegate::paint(painter, greyed, index);
            return;
        }
        const int mark = option.rect.height();
        greyed.rect.adjust(mark, 0, 0, 0);
        // The selection colour under the mark too, so a selected removed row reads as one line.
        if (option.state & QStyle::State_Selected) {
            painter->fillRect(QRect(option.rect.left(), option.rect.top(), mark, option.rect.height()),
                              option.palette.brush(QPalette::Highlight));
        }
        QStyledItemDelegate::paint(painter, greyed, index);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF box(option.rect.left() + mark * 0.2, option.rect.top() + mark * 0.2, mark * 0.6, mark * 0.6);
        painter->setPen(QPen(QColor(200, 0, 0), std::max(1.5, mark / 8.0)));
        painter->drawLine(box.topLeft(), box.bottomRight());
        painter->drawLine(box.topRight(), box.bottomLeft());
        painter->restore();
    }
};

}  // namespace

DetectionsView::DetectionsView(Station& station, QWidget* parent) : QTableView(parent), station_(station) {
    setObjectName(QStringLiteral("detectionsView"));
    setModel(&station_.Detections());
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Selected lines in white on dark blue, whatever the style's own colours.
    QPalette colours = palette();
    colours.setColor(QPalette::Highlight, QColor(0, 0, 128));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(colours);

    const bool extended = station_.ExtendedStatusMode();
    station_.Detections().SetMarkRemoved(extended);
    if (extended) {
        setSelectionMode(QAbstractItemView::ExtendedSelection);
        setItemDelegate(new RemovedMarkDelegate(this));
        setContextMenuPolicy(Qt::DefaultContextMenu);
    } else {
        // Removing and restoring are for extended status mode only: no menu here.
        setSelectionMode(QAbstractItemView::SingleSelection);
        setContextMenuPolicy(Qt::PreventContextMenu);
    }
    SizeColumns();

    connect(&station_, &Station::detectionsTopLineChanged, this, &DetectionsView::ShowTopLine);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (scrollingByProgram_) return;
        // Per-item scrolling: the bar's value is the top row.
        station_.Detections().Pane().SetTopLine(static_cast<std::size_t>(std::max(0, value)));
    });
    // A reset (the purge of the oldest lines, a clear) moves the bar by itself: not the operator.
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] { scrollingByProgram_ = true; });
    connect(model(), &QAbstractItemModel::modelReset, this, [this] { scrollingByProgram_ = false; });
}

int DetectionsView::VisibleLines() const {
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    return std::max(1, viewport()->height() / rowHeight);
}

void DetectionsView::SizeColumns() {
    // The widths of a line with a day prefix, so that "+24h" times never shift the columns.
    const std::array<int, 4> widths = DetectionsPaneColumnWidths("+");
    const int charWidth = fontMetrics().averageCharWidth();
    for (int column = 0; column < static_cast<int>(widths.size()) - 1; ++column) {
        setColumnWidth(column, widths[static_cast<std::size_t>(column)] * charWidth);
    }
}

void DetectionsView::ShowTopLine(int row) {
    if (!station_.ScrollDetections() || row < 0 || row >= model()->rowCount()) return;
    scrollingByProgram_ = true;
    // The rows may have arrived in this very event: the scroll range must know them first.
    executeDelayedItemsLayout();
    updateGeometries();
    scrollTo(model()->index(row, 0), QAbstractItemView::PositionAtTop);
    scrollingByProgram_ = false;
}

std::vector<int> DetectionsView::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void DetectionsView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const std::vector<std::uint32_t> serials = station_.Detections().SerialsOf(rows);
    const RemoveRestoreMenu state = MenuForSelection(ClassifySelection(serials));
    if (!state.show) return;

    QMenu menu(this);
    QAction* removeAction = menu.addAction(QString::fromUtf8(RemoveSelectedMenuText()));
    removeAction->setEnabled(state.removeEnabled);
    QAction* restoreAction = menu.addAction(QString::fromUtf8(RestoreSelectedMenuText()));
    restoreAction->setEnabled(state.restoreEnabled);
    menu.addSeparator();
    menu.addAction(QString::fromUtf8(CancelMenuText()));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == removeAction) {
        station_.RemoveOrRestoreRows(true, rows);
    } else if (chosen == restoreAction) {
        station_.RemoveOrRestoreRows(false, rows);
    }
    viewport()->update();
}

void DetectionsView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    station_.Detections().Pane().SetVisibleLines(static_cast<std::size_t>(VisibleLines()));
}

}  // namespace winorvex
