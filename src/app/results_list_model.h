#pragma once
// The results pane as a Qt list model over the station's ResultsPaneModel: one line per runner
// the results program answered about. The view draws the error mark (kErrorRole).
#include <QAbstractListModel>

namespace winorvex {

class ResultsPaneModel;

class ResultsListModel : public QAbstractListModel {
    Q_OBJECT

public:
    static constexpr int kErrorRole = Qt::UserRole + 1;

    explicit ResultsListModel(const ResultsPaneModel& pane, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The pane changed (an item appended, a purge, cleared).
    void Refresh();

private:
    const ResultsPaneModel& pane_;
    int shown_ = 0;
};

}  // namespace winorvex
