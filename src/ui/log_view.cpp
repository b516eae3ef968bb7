#include "ui/log_view.h"

#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "app/log_list_model.h"
#include "app/station.h"

namespace winorvex {

namespace {

// With uniform item sizes every line takes the size of the first one, which is often the short
// start banner: the lines are given room for a long message instead, so that they are scrolled
// to, not cut off.
class LogLineDelegate : public QStyledItemDelegate {
public:
    static constexpr int kLineChars = 200;
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize base = QStyledItemDelegate::sizeHint(option, index);
        return {std::max(base.width(), kLineChars * option.fontMetrics.averageCharWidth()), base.height()};
    }
};

}  // namespace

LogView::LogView(Station& station, QWidget* parent) : QListView(parent) {
    setObjectName(QStringLiteral("logView"));
    setModel(&station.LogLines());
    // Thousands of lines of one height each: no per-row size query.
    setUniformItemSizes(true);
    setItemDelegate(new LogLineDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The background menu of the window is not offered over the log.
    setContextMenuPolicy(Qt::PreventContextMenu);

    connect(model(), &QAbstractItemModel::rowsAboutToBeInserted, this, &LogView::RememberPosition);
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, &LogView::RememberPosition);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &LogView::FollowIfAtBottom);
    connect(model(), &QAbstractItemModel::modelReset, this, &LogView::FollowIfAtBottom);
}

bool LogView::AtBottom() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void LogView::RememberPosition() {
    wasAtBottom_ = AtBottom();
}

void LogView::FollowIfAtBottom() {
    if (wasAtBottom_) scrollToBottom();
}

}  // namespace winorvex
