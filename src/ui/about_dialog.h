#pragma once
// The about box: the program's name and its version text.
#include <QDialog>

namespace winorvex {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(const QString& versionText, QWidget* parent = nullptr);
};

}  // namespace winorvex
