#include "app/log_list_model.h"

#include <QString>

namespace winorvex {

LogListModel::LogListModel(QObject* parent) : QAbstractListModel(parent) {}

int LogListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(view_.Size());
}

QVariant LogListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= view_.Size()) {
        return {};
    }
    return QString::fromStdString(view_.Line(static_cast<std::size_t>(index.row())));
}

std::size_t LogListModel::Append(const std::vector<LogEntry>& entries) {
    if (entries.empty()) return 0;
    const std::size_t before = view_.Size();
    const std::size_t n = entries.size();
    const bool purges = before + n > LogViewModel::kMaxLines;
    if (purges) {
        beginResetModel();
    } else {
        beginInsertRows(QModelIndex(), static_cast<int>(before), static_cast<int>(before + n - 1));
    }
    view_.Append(entries);
    if (purges) {
        endResetModel();
    } else {
        endInsertRows();
    }
    return n;
}

void LogListModel::Clear() {
    beginResetModel();
    view_.Clear();
    endResetModel();
}

}  // namespace winorvex
