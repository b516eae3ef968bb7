#include "ui/download_dialog_rows.h"

#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace winorvex {

DownloadBoxRow AddDownloadBoxRow(QDialog& dialog, QVBoxLayout& layout, const std::vector<DeclaredBox>& declared) {
    DownloadBoxRow row;
    auto* line = new QHBoxLayout();
    row.boxes = new QComboBox(&dialog);
    for (const DeclaredBox& box : declared) row.boxes->addItem(Q(box.text), box.boxNumber);
    row.refresh = new QPushButton(T("Rafraîchir", "Refresh"), &dialog);
    line->addWidget(new QLabel(T("Boîtier", "Box"), &dialog));
    line->addWidget(row.boxes, 1);
    line->addWidget(row.refresh);
    layout.addLayout(line);
    return row;
}

QLineEdit* AddDownloadFolderRow(QDialog& dialog, QVBoxLayout& layout, const std::string& folder) {
    auto* line = new QHBoxLayout();
    auto* field = new QLineEdit(Q(folder), &dialog);
    auto* picker = new QToolButton(&dialog);
    picker->setText(QStringLiteral("..."));
    line->addWidget(new QLabel(T("Répertoire local", "Local folder"), &dialog));
    line->addWidget(field, 1);
    line->addWidget(picker);
    layout.addLayout(line);
    QObject::connect(picker, &QToolButton::clicked, &dialog, [&dialog, field] {
        const QString chosen = QFileDialog::getExistingDirectory(
            &dialog, T("Répertoire de téléchargement", "Download folder"), field->text());
        if (!chosen.isEmpty()) field->setText(chosen);
    });
    return field;
}

}  // namespace winorvex
