#include "ui/results_view.h"

#include <QAbstractItemModel>
#include <QFontDatabase>
#include <QPalette>

#include "ui/qt_text.h"

namespace winorvex {

ResultsView::ResultsView(QWidget* parent) : QListView(parent) {
    setObjectName(QStringLiteral("resultsView"));
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setContextMenuPolicy(Qt::PreventContextMenu);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    // The colour of a normal runner line; error and neutral lines bring their own.
    colours.setColor(QPalette::Text, QColor(0, 64, 0));
    setPalette(colours);
}

QString ResultsView::Title() {
    return T("Informations détections", "Detections information");
}

void ResultsView::SetResultsModel(QAbstractItemModel* model) {
    setModel(model);
    if (model == nullptr) return;
    // New answers at the end stay in sight.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { scrollToBottom(); });
}

}  // namespace winorvex
