#include "app/detections_list_model.h"

#include <QString>
#include <string_view>

#include "detections/result_list.h"

namespace winorvex {

namespace {

// The part of a tab-separated line at this column (the last column takes the rest).
std::string_view Part(std::string_view line, int column) {
    for (int i = 0; i < column; ++i) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return {};
        line.remove_prefix(tab + 1);
    }
    if (column == DetectionsListModel::kColumns - 1) return line;
    return line.substr(0, line.find('\t'));
}

}  // namespace

DetectionsListModel::DetectionsListModel(QObject* parent) : QAbstractTableModel(parent) {}

int DetectionsListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(pane_.Size());
}

int DetectionsListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant DetectionsListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= pane_.Size()) return {};
    const DetectionsPaneLine& line = pane_.Line(static_cast<std::size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole: {
            const std::string_view part = Part(line.text, index.column());
            return QString::fromUtf8(part.data(), static_cast<qsizetype>(part.size()));
        }
        case kSerialRole:
            return QVariant::fromValue(line.serial);
        case kRemovedRole: {
            // The view draws the mark (Qt Gui is not ours to use here).
            if (!markRemoved_ || line.serial == 0) return false;
            CRixResult record;
            return FindResult(line.serial, record) && !record.IsActive();
        }
        default:
            return {};
    }
}

std::size_t DetectionsListModel::DrainQueue() {
    DetectionsPaneBatch batch = DrainDetectionsPaneQueue();
    if (batch.lines.empty()) return 0;
    // A start line can bring tens of thousands of lines between two drains: the pane keeps only
    // its newest ones anyway, so the older part of such a batch is let go before the view sees it
    // (the records themselves are in the list and the file).
    if (batch.lines.size() > kMaxLinesPerDrain) {
        batch.lines.erase(batch.lines.begin(),
                          batch.lines.begin() + static_cast<std::ptrdiff_t>(batch.lines.size() - kMaxLinesPerDrain));
    }
    const std::size_t before = pane_.Size();
    const std::size_t n = batch.lines.size();
    // A batch that makes the pane purge its oldest lines is shown as a new content; others are
    // plain appends at the end.
    const bool purges = before + n > DetectionsPaneModel::kMaxLines;
    if (purges) {
        beginResetModel();
    } else {
        beginInsertRows(QModelIndex(), static_cast<int>(before), static_cast<int>(before + n - 1));
    }
    for (DetectionsPaneLine& line : batch.lines) pane_.Append(std::move(line));
    if (purges) {
        endResetModel();
    } else {
        endInsertRows();
    }
    return n;
}

void DetectionsListModel::Clear() {
    beginResetModel();
    pane_.Clear();
    endResetModel();
}

void DetectionsListModel::RefreshMarks() {
    if (pane_.Size() == 0) return;
    emit dataChanged(index(0, 0), index(static_cast<int>(pane_.Size()) - 1, kColumns - 1));
}

std::vector<std::uint32_t> DetectionsListModel::SerialsOf(const std::vector<int>& rows) const {
    std::vector<std::size_t> indexes;
    indexes.reserve(rows.size());
    for (int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < pane_.Size()) indexes.push_back(static_cast<std::size_t>(row));
    }
    return pane_.SerialsOf(indexes);
}

}  // namespace winorvex
