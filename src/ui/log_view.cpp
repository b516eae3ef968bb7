#include "ui/log_view.h"

#include <QScrollBar>

#include "app/log_list_model.h"
#include "app/station.h"

namespace winorvex {

LogView::LogView(Station& station, QWidget* parent) : QListView(parent) {
    setObjectName(QStringLiteral("logView"));
    setModel(&station.LogLines());
    // Thousands of lines of one height each: no per-row size query.
    setUniformItemSizes(true);
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
