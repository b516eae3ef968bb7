#include "app/results_list_model.h"

#include <QString>

#include "results_link/results_pane.h"

namespace winorvex {

ResultsListModel::ResultsListModel(const ResultsPaneModel& pane, QObject* parent)
    : QAbstractListModel(parent), pane_(pane), shown_(static_cast<int>(pane.Size())) {}

int ResultsListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

QVariant ResultsListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= shown_ ||
        static_cast<std::size_t>(index.row()) >= pane_.Size()) {
        return {};
    }
    const CSummaryItem& item = pane_.Item(static_cast<std::size_t>(index.row()));
    if (role == kErrorRole) return item.error;
    if (role != Qt::DisplayRole) return {};
    // Name, bib, time, pass and result in columns, as the results program lists them.
    return QStringLiteral("%1 %2  %3 %4  %5")
        .arg(QString::fromStdString(item.name))
        .arg(item.bib, 5)
        .arg(QString::fromStdString(item.time))
        .arg(QString::fromStdString(item.pass), -3)
        .arg(QString::fromStdString(item.result));
}

void ResultsListModel::Refresh() {
    const int now = static_cast<int>(pane_.Size());
    if (now == shown_ + 1) {
        beginInsertRows(QModelIndex(), shown_, shown_);
        shown_ = now;
        endInsertRows();
        return;
    }
    // A purge or a clear: shown anew.
    beginResetModel();
    shown_ = now;
    endResetModel();
}

}  // namespace winorvex
