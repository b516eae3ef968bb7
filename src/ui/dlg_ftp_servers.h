#pragma once
// The "Serveurs  FTP" window (CDlgFtpServers): the servers of "FtpServers.dat" as a check list
// sorted by label, a compact view (the list) and a full one (">>": the server's fields and the
// list buttons), the editing of one server, and OK that rewrites the file and hands back the
// checked labels. FtpServersEditor decides; this window shows it and forwards the clicks.
#include <QDialog>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/ftp_servers_editor.h"

class QGroupBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace winorvex {

class OperatorPrompt;

class CDlgFtpServers : public QDialog {
    Q_OBJECT

public:
    // path: the servers file (GetFtpServersFilePath() in the station). prompt: where the
    // refusals go; without one, message boxes over this window.
    CDlgFtpServers(const std::vector<std::string>& selectedLabels, std::string path, QWidget* parent = nullptr,
                   OperatorPrompt* prompt = nullptr);
    ~CDlgFtpServers() override;

    const FtpServersEditor& Editor() const { return editor_; }
    QListWidget* List() const { return list_; }
    QLineEdit* Field(FtpServerField field) const { return fields_[static_cast<std::size_t>(field)]; }
    QGroupBox* InformationGroup() const { return group_; }
    QPushButton* ViewButton() const { return view_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* ModifyButton() const { return modify_; }
    QPushButton* ValidateButton() const { return validate_; }
    QPushButton* CancelEditButton() const { return cancelEdit_; }
    QPushButton* OkButton() const { return ok_; }
    // The checked labels in list order, once OK was accepted.
    const std::vector<std::string>& CheckedLabels() const { return checked_; }

    void accept() override;

private:
    void FillList();
    void ShowFields();
    void UpdateState();
    void ToggleView();
    void ItemChanged(QListWidgetItem* item);
    void Validate();
    void Warn(const std::string& text);

    FtpServersEditor editor_;
    std::string path_;
    OperatorPrompt* prompt_ = nullptr;
    std::unique_ptr<OperatorPrompt> ownPrompt_;
    QListWidget* list_ = nullptr;
    QGroupBox* group_ = nullptr;
    std::array<QLineEdit*, 5> fields_{};
    QPushButton* view_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* modify_ = nullptr;
    QPushButton* validate_ = nullptr;
    QPushButton* cancelEdit_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool filling_ = false;  // the list is being rebuilt: its signals are not the operator's
    std::vector<std::string> checked_;
};

// The server choice over "FtpServers.dat": the checked labels on OK, nothing on "Annuler".
std::optional<std::vector<std::string>> RunFtpServersDialog(QWidget* parent, const std::vector<std::string>& selected);

}  // namespace winorvex
