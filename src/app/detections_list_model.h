#pragma once
// The detections pane as a Qt table model over DetectionsPaneModel: one row per pane line, its
// tab-separated parts as columns. Rows arrive in batches drained from the workers' queue, so a
// start line of thousands of reads a second costs one model update per drain, not one per read.
#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

#include "detections/detections_pane.h"

namespace winorvex {

class DetectionsListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumns = 4;
    // The record behind a row: its serial (0: none) under this role, its removed mark under the next.
    static constexpr int kSerialRole = Qt::UserRole + 1;
    static constexpr int kRemovedRole = Qt::UserRole + 2;
    // The most lines one drain shows (a few times a second): more than anyone reads.
    static constexpr std::size_t kMaxLinesPerDrain = 2000;

    explicit DetectionsListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Takes what waits in the queue. Returns the number of rows appended.
    std::size_t DrainQueue();
    void Clear();
    // Extended status mode: rows of removed records say so under kRemovedRole.
    void SetMarkRemoved(bool on) { markRemoved_ = on; }
    // The records' active flags changed: redraw the marks.
    void RefreshMarks();
    std::vector<std::uint32_t> SerialsOf(const std::vector<int>& rows) const;

    const DetectionsPaneModel& Pane() const { return pane_; }
    DetectionsPaneModel& Pane() { return pane_; }

private:
    DetectionsPaneModel pane_;
    bool markRemoved_ = false;
};

}  // namespace winorvex
