#pragma once
// The results pane ("Detections information"): one line per runner the results program answers
// about. It shows whatever model it is given; until the results-program link provides one it is
// an empty list. Drawn on white, like the results program's own lists.
#include <QListView>
#include <QString>

class QAbstractItemModel;

namespace winorvex {

class ResultsView : public QListView {
    Q_OBJECT

public:
    explicit ResultsView(QWidget* parent = nullptr);

    // The pane's title, shown above it.
    static QString Title();
    // The lines to show; null shows an empty pane. The model is not owned.
    void SetResultsModel(QAbstractItemModel* model);
};

}  // namespace winorvex
