// The "Serveurs  FTP" dialog's decisions, without widgets.
#include "ftp/ftp_servers_editor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log_fixture.h"

namespace winorvex::test {
namespace {

using ::testing::ElementsAre;

CFtpServer Server(const std::string& label, const std::string& site = "ftp.example.org") {
    CFtpServer server;
    server.label = label;
    server.site = site;
    server.user = "user";
    server.password = "pw";
    return server;
}

std::vector<std::string> Labels(const FtpServersEditor& editor) {
    std::vector<std::string> labels;
    for (const auto& row : editor.Rows()) labels.push_back(row.server.label + (row.checked ? "+" : ""));
    return labels;
}

void FillFields(FtpServersEditor& editor, const std::string& label, const std::string& site, const std::string& user,
                const std::string& password, const std::string& directory = "") {
    editor.SetField(FtpServerField::Label, label);
    editor.SetField(FtpServerField::Site, site);
    editor.SetField(FtpServerField::User, user);
    editor.SetField(FtpServerField::Password, password);
    editor.SetField(FtpServerField::Directory, directory);
}

class FtpServersEditorTest : public LogFixture {
protected:
    std::string Path() const { return (scratch_.path() / "FtpServers.dat").string(); }
};

TEST_F(FtpServersEditorTest, OpensSortedWithTheCallersLabelsCheckedInCompactView) {
    FtpServersEditor editor({Server("zeta"), Server("Alpha"), Server("beta")}, {}, {" beta ", "zeta", "nope"});
    EXPECT_THAT(Labels(editor), ElementsAre("Alpha", "beta+", "zeta+"));
    EXPECT_FALSE(editor.FullView());
    EXPECT_STREQ(editor.ViewButtonText(), ">>");
    editor.ToggleView();
    EXPECT_STREQ(editor.ViewButtonText(), "<<");
    EXPECT_EQ(editor.SelectedRow(), -1);
    editor.SelectRow(2);
    EXPECT_EQ(editor.Field(FtpServerField::Label), "zeta");
    EXPECT_EQ(editor.Field(FtpServerField::Password), "pw");
}

TEST_F(FtpServersEditorTest, ValidationChecksLabelUserPasswordServerInThatOrder) {
    FtpServersEditor editor({Server("Club")}, {}, {});
    editor.Add();
    EXPECT_TRUE(editor.Editing());
    EXPECT_FALSE(editor.ListEnabled());
    EXPECT_TRUE(editor.EditButtonsEnabled());
    EXPECT_EQ(editor.Focus(), FtpServerField::Label);

    SetLanguage(Language::French);
    auto check = editor.ValidateEdit();
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.message, "Label vide !");
    FillFields(editor, "New", "", "", "");
    check = editor.ValidateEdit();
    EXPECT_EQ(check.message, "Utilisateur vide !");
    EXPECT_EQ(editor.Focus(), FtpServerField::User);
    SetLanguage(Language::English);
    editor.SetField(FtpServerField::User, "bob");
    check = editor.ValidateEdit();
    EXPECT_EQ(check.message, "Password is empty!");
    EXPECT_EQ(editor.Focus(), FtpServerField::Password);
    editor.SetField(FtpServerField::Password, "pw");
    check = editor.ValidateEdit();
    EXPECT_EQ(check.message, "Server is empty!");
    EXPECT_EQ(editor.Focus(), FtpServerField::Site);
    EXPECT_TRUE(editor.Editing());

    editor.SetField(FtpServerField::Site, "ftp.new.org");
    check = editor.ValidateEdit();
    EXPECT_TRUE(check.ok) << check.message;
    EXPECT_FALSE(editor.Editing());
    EXPECT_THAT(Labels(editor), ElementsAre("Club", "New"));
    EXPECT_EQ(editor.SelectedRow(), 1);
}

TEST_F(FtpServersEditorTest, RefusesSeparatorsBackslashInLabelsAndLabelsAlreadyUsed) {
    FtpServersEditor editor({Server("Club"), Server("Other")}, {}, {});
    struct Case {
        FtpServerField field;
        std::string value;
    };
    const Case cases[] = {{FtpServerField::Password, "se;cret"}, {FtpServerField::Directory, "a\tb"},
                          {FtpServerField::User, "line\nbreak"}, {FtpServerField::Site, "ho\rst"},
                          {FtpServerField::Label, "a\\b"},       {FtpServerField::Label, " Other "}};
    for (const Case& bad : cases) {
        editor.Add();
        FillFields(editor, "Fresh", "ftp.x.org", "u", "p", "d");
        editor.SetField(bad.field, bad.value);
        const auto check = editor.ValidateEdit();
        EXPECT_FALSE(check.ok) << bad.value;
        EXPECT_EQ(check.focus, bad.field) << bad.value;
        EXPECT_EQ(editor.Focus(), bad.field);
        editor.CancelEdit();
    }
    EXPECT_THAT(Labels(editor), ElementsAre("Club", "Other"));
}

TEST_F(FtpServersEditorTest, ModifiedServerKeepsItsCheckMarkAndMovesToItsSortedPlace) {
    FtpServersEditor editor({Server("Alpha"), Server("Beta")}, {}, {"Alpha"});
    EXPECT_FALSE(editor.Modify());
    editor.SelectRow(0);
    ASSERT_TRUE(editor.Modify());
    editor.SetField(FtpServerField::Label, "Gamma");  // its own old label is no conflict either
    editor.SetField(FtpServerField::Directory, "out");
    ASSERT_TRUE(editor.ValidateEdit().ok);
    EXPECT_THAT(Labels(editor), ElementsAre("Beta", "Gamma+"));
    EXPECT_EQ(editor.SelectedRow(), 1);
    EXPECT_EQ(editor.Rows()[1].server.directory, "out");

    editor.SelectRow(0);
    ASSERT_TRUE(editor.Modify());
    editor.SetField(FtpServerField::Site, "changed");
    editor.CancelEdit();
    EXPECT_EQ(editor.Rows()[0].server.site, "ftp.example.org");
    EXPECT_EQ(editor.Field(FtpServerField::Site), "ftp.example.org");

    ASSERT_TRUE(editor.Remove());
    EXPECT_THAT(Labels(editor), ElementsAre("Gamma+"));
    EXPECT_EQ(editor.SelectedRow(), -1);
    EXPECT_EQ(editor.Field(FtpServerField::Label), "");
}

TEST_F(FtpServersEditorTest, OkOnlyOutsideEditingWritesEveryServerAndKeepsUnreadLines) {
    scratch_.WriteFile("FtpServers.dat", "Zed\tz.org\tu\tp\t\r\nBroken\tb.org\tu\tp;w\t\r\nAce\ta.org\tu\tp\tdir\r\n");
    FtpServersEditor editor = FtpServersEditor::Open(Path(), {"Zed", "Ace"});
    EXPECT_THAT(Labels(editor), ElementsAre("Ace+", "Zed+"));
    editor.SetChecked(1, false);

    editor.Add();
    EXPECT_FALSE(editor.Ok(Path()).accepted);
    editor.CancelEdit();

    const auto result = editor.Ok(Path());
    ASSERT_TRUE(result.accepted) << result.errorText;
    EXPECT_THAT(result.checkedLabels, ElementsAre("Ace"));
    EXPECT_EQ(scratch_.ReadFile("FtpServers.dat"),
              "Ace\ta.org\tu\tp\tdir\r\nZed\tz.org\tu\tp\t\r\nBroken\tb.org\tu\tp;w\t\r\n");

    const auto refused = editor.Ok((scratch_.path() / "missing" / "FtpServers.dat").string());
    EXPECT_FALSE(refused.accepted);
    EXPECT_EQ(refused.errorText, "Cannot create file");
}

}  // namespace
}  // namespace winorvex::test
