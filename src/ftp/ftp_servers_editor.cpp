#include "ftp/ftp_servers_editor.h"

#include <strings.h>

#include <algorithm>

#include "core/file_utils.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

std::string Trimmed(std::string text) {
    TrimChars(text, kWhiteSpace);
    return text;
}

const char* FieldName(FtpServerField field) {
    switch (field) {
        case FtpServerField::Label:
            return "Label";
        case FtpServerField::Site:
            return Tr("Serveur", "Server");
        case FtpServerField::User:
            return Tr("Utilisateur", "User");
        case FtpServerField::Password:
            return Tr("Mot de passe", "Password");
        case FtpServerField::Directory:
            return Tr("Répertoire", "Folder");
    }
    return "";
}

FtpServerEditCheck Refuse(FtpServerField field, std::string message) {
    return {false, std::move(message), field};
}

}  // namespace

FtpServersEditor::FtpServersEditor(std::vector<CFtpServer> servers, std::vector<std::string> unreadLines,
                                   const std::vector<std::string>& selectedLabels)
    : unreadLines_(std::move(unreadLines)) {
    std::vector<std::string> wanted;
    for (const std::string& label : selectedLabels) wanted.push_back(Trimmed(label));
    for (CFtpServer& server : servers) {
        const bool checked = std::find(wanted.begin(), wanted.end(), Trimmed(server.label)) != wanted.end();
        rows_.push_back({std::move(server), checked});
    }
    SortRows();
}

FtpServersEditor FtpServersEditor::Open(const std::string& path, const std::vector<std::string>& selectedLabels) {
    std::vector<CFtpServer> servers;
    std::vector<std::string> unread;
    std::string error;
    LoadFtpServers(servers, path, error, &unread);
    return FtpServersEditor(std::move(servers), std::move(unread), selectedLabels);
}

bool FtpServersEditor::RowBefore(const Row& a, const Row& b) {
    const int folded = ::strcasecmp(a.server.label.c_str(), b.server.label.c_str());
    return folded != 0 ? folded < 0 : a.server.label < b.server.label;
}

void FtpServersEditor::SortRows() {
    std::stable_sort(rows_.begin(), rows_.end(), RowBefore);
}

void FtpServersEditor::ShowRow(int row) {
    selected_ = row;
    fields_ = row >= 0 ? rows_[static_cast<std::size_t>(row)].server : CFtpServer{};
}

void FtpServersEditor::SelectRow(int row) {
    if (editing_) return;
    if (row < 0 || row >= static_cast<int>(rows_.size())) row = -1;
    ShowRow(row);
}

void FtpServersEditor::SetChecked(int row, bool checked) {
    if (editing_ || row < 0 || row >= static_cast<int>(rows_.size())) return;
    rows_[static_cast<std::size_t>(row)].checked = checked;
}

const char* FtpServersEditor::ViewButtonText() const {
    return fullView_ ? ftp_servers_dialog::kShowCompact : ftp_servers_dialog::kShowFull;
}

std::string& FtpServersEditor::FieldRef(FtpServerField field) {
    switch (field) {
        case FtpServerField::Label:
            return fields_.label;
        case FtpServerField::Site:
            return fields_.site;
        case FtpServerField::User:
            return fields_.user;
        case FtpServerField::Password:
            return fields_.password;
        case FtpServerField::Directory:
            return fields_.directory;
    }
    return fields_.label;
}

const std::string& FtpServersEditor::Field(FtpServerField field) const {
    return const_cast<FtpServersEditor*>(this)->FieldRef(field);
}

void FtpServersEditor::SetField(FtpServerField field, std::string value) {
    FieldRef(field) = std::move(value);
}

void FtpServersEditor::Add() {
    if (editing_) return;
    fields_ = CFtpServer{};
    editedRow_ = -1;
    editing_ = true;
    focus_ = FtpServerField::Label;
}

bool FtpServersEditor::Modify() {
    if (editing_ || selected_ < 0) return false;
    ShowRow(selected_);
    editedRow_ = selected_;
    editing_ = true;
    focus_ = FtpServerField::Label;
    return true;
}

bool FtpServersEditor::Remove() {
    if (editing_ || selected_ < 0) return false;
    rows_.erase(rows_.begin() + selected_);
    ShowRow(-1);
    return true;
}

FtpServerEditCheck FtpServersEditor::ValidateEdit() {
    if (!editing_) return {};
    CFtpServer candidate = fields_;
    candidate.label = Trimmed(candidate.label);
    candidate.site = Trimmed(candidate.site);
    candidate.user = Trimmed(candidate.user);

    FtpServerEditCheck check;
    const std::pair<FtpServerField, const std::string*> required[] = {
        {FtpServerField::Label, &candidate.label},
        {FtpServerField::User, &candidate.user},
        {FtpServerField::Password, &candidate.password},
        {FtpServerField::Site, &candidate.site},
    };
    for (const auto& [field, value] : required) {
        if (value->empty()) {
            check = Refuse(field, std::string(FieldName(field)) + Tr(" vide !", " is empty!"));
            break;
        }
    }
    // A tab, ";" or line break would split the file's line; a "\" would split the export setting.
    const std::pair<FtpServerField, const std::string*> all[] = {
        {FtpServerField::Label, &candidate.label},         {FtpServerField::Site, &candidate.site},
        {FtpServerField::User, &candidate.user},           {FtpServerField::Password, &candidate.password},
        {FtpServerField::Directory, &candidate.directory},
    };
    for (const auto& [field, value] : all) {
        if (!check.ok) break;
        if (value->find_first_of("\t;\r\n") != std::string::npos) {
            check = Refuse(field, Format(Tr("%s : tabulation, « ; » et saut de ligne interdits",
                                            "%s: tab, \";\" and line breaks are not allowed"),
                                         FieldName(field)));
        }
    }
    if (check.ok && candidate.label.find('\\') != std::string::npos) {
        check = Refuse(FtpServerField::Label, Tr("Label : « \\ » interdit", "Label: \"\\\" is not allowed"));
    }
    for (std::size_t i = 0; check.ok && i < rows_.size(); ++i) {
        if (static_cast<int>(i) != editedRow_ && Trimmed(rows_[i].server.label) == candidate.label) {
            check = Refuse(
                FtpServerField::Label,
                Format(Tr("Le label « %s » existe déjà !", "Label \"%s\" is already used!"), candidate.label.c_str()));
        }
    }
    if (!check.ok) {
        focus_ = check.focus;
        return check;
    }

    bool checked = false;
    if (editedRow_ >= 0) {
        checked = rows_[static_cast<std::size_t>(editedRow_)].checked;
        rows_.erase(rows_.begin() + editedRow_);
    }
    const Row row{candidate, checked};
    const auto at = std::upper_bound(rows_.begin(), rows_.end(), row, RowBefore);
    const auto index = static_cast<int>(at - rows_.begin());
    rows_.insert(at, row);
    editing_ = false;
    editedRow_ = -1;
    ShowRow(index);
    return check;
}

void FtpServersEditor::CancelEdit() {
    if (!editing_) return;
    editing_ = false;
    editedRow_ = -1;
    ShowRow(selected_ < static_cast<int>(rows_.size()) ? selected_ : -1);
}

FtpServersDialogResult FtpServersEditor::Ok(const std::string& path) const {
    FtpServersDialogResult result;
    if (editing_) return result;
    std::vector<CFtpServer> servers;
    for (const Row& row : rows_) {
        servers.push_back(row.server);
        if (row.checked) result.checkedLabels.push_back(row.server.label);
    }
    if (SaveFtpServers(servers, path, result.errorText, unreadLines_) != 0) {
        result.checkedLabels.clear();
        return result;
    }
    result.accepted = true;
    return result;
}

}  // namespace winorvex
