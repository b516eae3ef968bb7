#pragma once
// The log window as a Qt list model over LogViewModel, fed in batches from the log queue.
#include <QAbstractListModel>

#include "core/log_view_model.h"

namespace winorvex {

class LogListModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit LogListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Appends a drained batch; returns the number of lines appended.
    std::size_t Append(const std::vector<LogEntry>& entries);
    void Clear();
    const LogViewModel& View() const { return view_; }

private:
    LogViewModel view_;
};

}  // namespace winorvex
