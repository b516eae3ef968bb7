#include "core/ini_document.h"

#include <gtest/gtest.h>

namespace winorvex {
namespace {

TEST(IniDocument, KeepsForeignLinesCommentsAndSpellingThroughEdits) {
    const std::string text =
        "; written by hand\n"
        "\n"
        "[Settings]\n"
        "  GDaysToAdd = 2  \n"
        "this line means nothing\n"
        "; about the next one\n"
        "GOrvexDdeName=ORVEX\n"
        "\n"
        "[Other]\n"
        "x=1\n";
    IniDocument doc = IniDocument::Parse(text);
    EXPECT_EQ(doc.Serialise(), text);

    ASSERT_TRUE(doc.Set("settings", "gdaystoadd", "3"));
    ASSERT_TRUE(doc.Set("SETTINGS", "NewKey", "v"));
    EXPECT_EQ(doc.Serialise(),
              "; written by hand\n"
              "\n"
              "[Settings]\n"
              "GDaysToAdd=3\n"
              "this line means nothing\n"
              "; about the next one\n"
              "GOrvexDdeName=ORVEX\n"
              "NewKey=v\n"
              "\n"
              "[Other]\n"
              "x=1\n");
}

TEST(IniDocument, FindsWithoutCaseAndTrimsBlanks) {
    const IniDocument doc = IniDocument::Parse("[ DirectConnection ]\n\tHost =  10.0.0.5 \t\nPort=\n[b]\nHost=other\n");
    ASSERT_TRUE(doc.Find("directconnection", "HOST"));
    EXPECT_EQ(*doc.Find("directconnection", "HOST"), "10.0.0.5");
    ASSERT_TRUE(doc.Find("DirectConnection", "Port"));
    EXPECT_EQ(*doc.Find("DirectConnection", "Port"), "");
    EXPECT_EQ(*doc.Find("B", "host"), "other");
    EXPECT_FALSE(doc.Find("DirectConnection", "Missing"));
    EXPECT_FALSE(doc.Find("Missing", "Host"));
}

TEST(IniDocument, KeysBelongOnlyToTheirOwnSection) {
    // Keys before the first header and in later sections must not answer for another section.
    const IniDocument doc = IniDocument::Parse("Host=outside\n[A]\n[B]\nHost=b\n");
    EXPECT_FALSE(doc.Find("A", "Host"));
    EXPECT_EQ(*doc.Find("B", "Host"), "b");
}

TEST(IniDocument, FirstOfDuplicatesWinsForReadAndWrite) {
    IniDocument doc = IniDocument::Parse("[A]\nk=1\nk=2\n[a]\nk=3\n");
    EXPECT_EQ(*doc.Find("A", "k"), "1");
    ASSERT_TRUE(doc.Set("a", "K", "9"));
    EXPECT_EQ(doc.Serialise(), "[A]\nk=9\nk=2\n[a]\nk=3\n");
}

TEST(IniDocument, NewSectionGoesAtTheEndAndNewKeyAfterTheLastKey) {
    IniDocument doc = IniDocument::Parse("[A]\n; only a comment\n\n[B]\nb=1\n\n; trailing\n");
    ASSERT_TRUE(doc.Set("A", "a", "1"));
    ASSERT_TRUE(doc.Set("B", "c", "2"));
    ASSERT_TRUE(doc.Set("C", "d", "3"));
    EXPECT_EQ(doc.Serialise(), "[A]\na=1\n; only a comment\n\n[B]\nb=1\nc=2\n\n; trailing\n[C]\nd=3\n");

    IniDocument empty;
    ASSERT_TRUE(empty.Set("S", "k", "v"));
    EXPECT_EQ(empty.Serialise(), "[S]\nk=v\n");
}

TEST(IniDocument, KeepsWindowsLineEndsAndByteOrderMark) {
    const std::string text = "\xEF\xBB\xBF[A]\r\nk=1\r\n";
    IniDocument doc = IniDocument::Parse(text);
    EXPECT_EQ(*doc.Find("A", "k"), "1");
    ASSERT_TRUE(doc.Set("A", "j", "2"));
    EXPECT_EQ(doc.Serialise(), "\xEF\xBB\xBF[A]\r\nk=1\r\nj=2\r\n");
}

TEST(IniDocument, LastLineWithoutLineEndIsKept) {
    IniDocument doc = IniDocument::Parse("[A]\nk=1");
    EXPECT_EQ(*doc.Find("A", "k"), "1");
    EXPECT_EQ(doc.Serialise(), "[A]\nk=1\n");
}

TEST(IniDocument, RefusesNamesThatWouldReadBackAsSomethingElse) {
    IniDocument doc = IniDocument::Parse("[A]\nk=1\n");
    const std::string before = doc.Serialise();
    EXPECT_FALSE(doc.Set("A", "a=b", "x"));
    EXPECT_FALSE(doc.Set("A", "two\nlines", "x"));
    EXPECT_FALSE(doc.Set("A", "  ", "x"));
    EXPECT_FALSE(doc.Set("A", ";comment", "x"));
    EXPECT_FALSE(doc.Set("A", "[B]", "x"));
    EXPECT_FALSE(doc.Set("A]x", "k", "x"));
    EXPECT_FALSE(doc.Set("", "k", "x"));
    EXPECT_EQ(doc.Serialise(), before);
}

TEST(IniDocument, LineBreaksInAValueCannotInjectLines) {
    IniDocument doc = IniDocument::Parse("[A]\n");
    ASSERT_TRUE(doc.Set("A", "Host", "evil\n[Settings]\r\nGDaysToAdd=3"));
    const IniDocument reread = IniDocument::Parse(doc.Serialise());
    EXPECT_EQ(*reread.Find("A", "Host"), "evil [Settings]  GDaysToAdd=3");
    EXPECT_FALSE(reread.Find("Settings", "GDaysToAdd"));
}

TEST(IniDocument, ValueMayHoldEqualsSigns) {
    IniDocument doc;
    ASSERT_TRUE(doc.Set("A", "k", "a=b=c"));
    EXPECT_EQ(*IniDocument::Parse(doc.Serialise()).Find("A", "k"), "a=b=c");
}

}  // namespace
}  // namespace winorvex
