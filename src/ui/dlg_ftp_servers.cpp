#include "ui/dlg_ftp_servers.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/folders.h"
#include "core/station_events.h"
#include "ui/message_box_prompt.h"
#include "ui/qt_text.h"

namespace winorvex {

namespace {

constexpr std::array<FtpServerField, 5> kFields = {FtpServerField::Label, FtpServerField::Site, FtpServerField::User,
                                                   FtpServerField::Password, FtpServerField::Directory};

}  // namespace

CDlgFtpServers::CDlgFtpServers(const std::vector<std::string>& selectedLabels, std::string path, QWidget* parent,
                               OperatorPrompt* prompt)
    : QDialog(parent), editor_(FtpServersEditor::Open(path, selectedLabels)), path_(std::move(path)), prompt_(prompt) {
    namespace d = ftp_servers_dialog;
    if (prompt_ == nullptr) {
        ownPrompt_ = std::make_unique<MessageBoxPrompt>(this);
        prompt_ = ownPrompt_.get();
    }
    setWindowTitle(Q(d::kTitle));
    auto* layout = new QHBoxLayout(this);

    auto* left = new QVBoxLayout();
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("servers"));
    list_->setAccessibleName(Q(d::kListColumn));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    left->addWidget(list_);
    auto* bottom = new QHBoxLayout();
    view_ = new QPushButton(this);
    ok_ = new QPushButton(Q(d::kOk), this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(Q(d::kCancel), this);
    bottom->addWidget(view_);
    bottom->addStretch();
    bottom->addWidget(ok_);
    bottom->addWidget(cancel);
    left->addLayout(bottom);
    layout->addLayout(left);

    group_ = new QGroupBox(Q(d::kGroup), this);
    auto* groupLayout = new QVBoxLayout(group_);
    auto* form = new QFormLayout();
    const std::array<const char*, 5> captions = {d::kLabelCaption, d::kSiteCaption, d::kUserCaption,
                                                 d::kPasswordCaption, d::kDirectoryCaption};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        auto* edit = new QLineEdit(group_);
        fields_[i] = edit;
        form->addRow(Q(captions[i]), edit);
        const FtpServerField field = kFields[i];
        connect(edit, &QLineEdit::textEdited, this,
                [this, field](const QString& text) { editor_.SetField(field, text.toStdString()); });
    }
    Field(FtpServerField::Password)->setEchoMode(QLineEdit::Password);
    groupLayout->addLayout(form);
    auto* listButtons = new QHBoxLayout();
    add_ = new QPushButton(Q(d::kAdd), group_);
    remove_ = new QPushButton(Q(d::kRemove), group_);
    modify_ = new QPushButton(Q(d::kModify), group_);
    listButtons->addWidget(add_);
    listButtons->addWidget(remove_);
    listButtons->addWidget(modify_);
    groupLayout->addLayout(listButtons);
    auto* editButtons = new QHBoxLayout();
    validate_ = new QPushButton(Q(d::kValidateEdit), group_);
    cancelEdit_ = new QPushButton(Q(d::kCancelEdit), group_);
    editButtons->addWidget(validate_);
    editButtons->addWidget(cancelEdit_);
    groupLayout->addLayout(editButtons);
    layout->addWidget(group_);

    connect(view_, &QPushButton::clicked, this, &CDlgFtpServers::ToggleView);
    connect(ok_, &QPushButton::clicked, this, &CDlgFtpServers::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgFtpServers::reject);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (filling_) return;
        editor_.SelectRow(row);
        ShowFields();
        UpdateState();
    });
    connect(list_, &QListWidget::itemChanged, this, &CDlgFtpServers::ItemChanged);
    connect(add_, &QPushButton::clicked, this, [this] {
        editor_.Add();
        ShowFields();
        UpdateState();
    });
    connect(modify_, &QPushButton::clicked, this, [this] {
        if (!editor_.Modify()) return;
        ShowFields();
        UpdateState();
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        if (!editor_.Remove()) return;
        FillList();
        ShowFields();
        UpdateState();
    });
    connect(validate_, &QPushButton::clicked, this, &CDlgFtpServers::Validate);
    connect(cancelEdit_, &QPushButton::clicked, this, [this] {
        editor_.CancelEdit();
        FillList();
        ShowFields();
        UpdateState();
    });

    FillList();
    ShowFields();
    UpdateState();
}

CDlgFtpServers::~CDlgFtpServers() = default;

void CDlgFtpServers::FillList() {
    filling_ = true;
    list_->clear();
    for (const FtpServersEditor::Row& row : editor_.Rows()) {
        auto* item = new QListWidgetItem(Q(row.server.label), list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(row.checked ? Qt::Checked : Qt::Unchecked);
    }
    list_->setCurrentRow(editor_.SelectedRow());
    filling_ = false;
}

void CDlgFtpServers::ShowFields() {
    for (std::size_t i = 0; i < kFields.size(); ++i) fields_[i]->setText(Q(editor_.Field(kFields[i])));
}

void CDlgFtpServers::UpdateState() {
    const bool editing = editor_.Editing();
    list_->setEnabled(editor_.ListEnabled());
    add_->setEnabled(editor_.ListEnabled());
    remove_->setEnabled(editor_.ListEnabled() && editor_.SelectedRow() >= 0);
    modify_->setEnabled(editor_.ListEnabled() && editor_.SelectedRow() >= 0);
    validate_->setEnabled(editor_.EditButtonsEnabled());
    cancelEdit_->setEnabled(editor_.EditButtonsEnabled());
    ok_->setEnabled(!editing);
    // Outside editing the fields only show the selected server: what is typed there would be lost.
    for (QLineEdit* edit : fields_) edit->setReadOnly(!editing);
    group_->setVisible(editor_.FullView());
    view_->setText(Q(editor_.ViewButtonText()));
    if (editing) {
        QLineEdit* focus = Field(editor_.Focus());
        focus->setFocus();
        focus->selectAll();
    }
}

void CDlgFtpServers::ToggleView() {
    editor_.ToggleView();
    UpdateState();
    adjustSize();
}

void CDlgFtpServers::ItemChanged(QListWidgetItem* item) {
    if (filling_ || item == nullptr) return;
    const int row = list_->row(item);
    editor_.SetChecked(row, item->checkState() == Qt::Checked);
}

void CDlgFtpServers::Validate() {
    const FtpServerEditCheck check = editor_.ValidateEdit();
    if (!check.ok) {
        Warn(check.message);
        UpdateState();
        return;
    }
    FillList();
    ShowFields();
    UpdateState();
}

void CDlgFtpServers::Warn(const std::string& text) {
    prompt_->Warn(text);
}

void CDlgFtpServers::accept() {
    const FtpServersDialogResult result = editor_.Ok(path_);
    if (!result.accepted) {
        if (!result.errorText.empty()) Warn(result.errorText);
        return;
    }
    checked_ = result.checkedLabels;
    QDialog::accept();
}

std::optional<std::vector<std::string>> RunFtpServersDialog(QWidget* parent, const std::vector<std::string>& selected) {
    CDlgFtpServers dialog(selected, GetFtpServersFilePath(), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.CheckedLabels();
}

}  // namespace winorvex
