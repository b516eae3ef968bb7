#pragma once
// What the two reader download dialogs show alike: the row of declared boxes with its refresh
// button, the destination folder row with its folder picker, and the result they hand back to
// the import dialog.
#include <string>
#include <vector>

#include "app/download_boxes.h"

class QComboBox;
class QDialog;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace winorvex {

// Empty until a download succeeded.
struct DownloadedLog {
    std::string path;
    std::string detector;  // the box's identifier; empty for the handheld
};

struct DownloadBoxRow {
    QComboBox* boxes = nullptr;  // item data: the box number
    QPushButton* refresh = nullptr;
};

// Adds the box row to `layout`, listing `declared`.
DownloadBoxRow AddDownloadBoxRow(QDialog& dialog, QVBoxLayout& layout, const std::vector<DeclaredBox>& declared);
// Adds the folder row to `layout`, showing `folder`; its "..." button opens the folder picker.
QLineEdit* AddDownloadFolderRow(QDialog& dialog, QVBoxLayout& layout, const std::string& folder);

}  // namespace winorvex
