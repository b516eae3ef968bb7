#pragma once
// What the "Serveurs  FTP" dialog decides, without widgets: the checked list of servers sorted by
// label, the compact and full views, the server fields and their editing, the checks made before
// an edit is taken, and OK (file rewritten, checked labels handed back). The widget shows this
// model and forwards the operator's actions to it.
#include <string>
#include <vector>

#include "ftp/ftp_servers.h"

namespace winorvex {

// The dialog's own texts.
namespace ftp_servers_dialog {
inline constexpr const char* kTitle = "Serveurs  FTP";
inline constexpr const char* kListColumn = "Servers";
inline constexpr const char* kShowFull = ">>";
inline constexpr const char* kShowCompact = "<<";
inline constexpr const char* kGroup = "Information serveur";
inline constexpr const char* kLabelCaption = "Label :";
inline constexpr const char* kSiteCaption = "Site :";
inline constexpr const char* kUserCaption = "Uitilisateur :";
inline constexpr const char* kPasswordCaption = "Mot de passe :";  // its field is masked
inline constexpr const char* kDirectoryCaption = "Répertoire destination :";
inline constexpr const char* kAdd = "Ajouter";
inline constexpr const char* kRemove = "Supprimer";
inline constexpr const char* kModify = "Modifier";
inline constexpr const char* kValidateEdit = "Valider l'édition";
inline constexpr const char* kCancelEdit = "Annuler l'édition";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Annuler";
}  // namespace ftp_servers_dialog

enum class FtpServerField { Label, Site, User, Password, Directory };

struct FtpServerEditCheck {
    bool ok = true;
    std::string message;                           // for a warning box when !ok
    FtpServerField focus = FtpServerField::Label;  // where the cursor goes
};

struct FtpServersDialogResult {
    bool accepted = false;                   // false: stay open (editing, or the file could not be written)
    std::vector<std::string> checkedLabels;  // in list order
    std::string errorText;
};

class FtpServersEditor {
public:
    struct Row {
        CFtpServer server;
        bool checked = false;
    };

    // selectedLabels: the caller's current choice; compared with white space trimmed.
    FtpServersEditor(std::vector<CFtpServer> servers, std::vector<std::string> unreadLines,
                     const std::vector<std::string>& selectedLabels);
    // Loads the file (missing or broken: what could be read, logged by the loader).
    static FtpServersEditor Open(const std::string& path, const std::vector<std::string>& selectedLabels);

    const std::vector<Row>& Rows() const { return rows_; }
    int SelectedRow() const { return selected_; }
    void SelectRow(int row);  // shows the row's server in the fields; ignored while editing
    void SetChecked(int row, bool checked);

    bool FullView() const { return fullView_; }
    void ToggleView() { fullView_ = !fullView_; }
    const char* ViewButtonText() const;

    const std::string& Field(FtpServerField field) const;
    void SetField(FtpServerField field, std::string value);
    FtpServerField Focus() const { return focus_; }

    bool Editing() const { return editing_; }
    bool ListEnabled() const { return !editing_; }        // the list, "Ajouter", "Supprimer", "Modifier"
    bool EditButtonsEnabled() const { return editing_; }  // "Valider l'édition", "Annuler l'édition"

    void Add();
    bool Modify();  // false without a selection
    bool Remove();  // false without a selection
    FtpServerEditCheck ValidateEdit();
    void CancelEdit();

    // OK: refused while editing; writes every server to `path` and gives the checked labels.
    FtpServersDialogResult Ok(const std::string& path) const;

private:
    static bool RowBefore(const Row& a, const Row& b);
    void SortRows();
    void ShowRow(int row);
    std::string& FieldRef(FtpServerField field);

    std::vector<Row> rows_;
    std::vector<std::string> unreadLines_;
    CFtpServer fields_;
    int selected_ = -1;
    int editedRow_ = -1;  // -1 while adding
    bool editing_ = false;
    bool fullView_ = false;
    FtpServerField focus_ = FtpServerField::Label;
};

}  // namespace winorvex
