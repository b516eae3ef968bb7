#include "core/file_utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace winorvex {
namespace {

namespace fs = std::filesystem;
using Pieces = std::vector<std::string>;

TEST(MakeFolderPath, CreatesMissingParentsAndAcceptsExistingFolders) {
    test::ScratchDir scratch;
    const std::string deep = scratch.str() + "/a/b/c/";
    EXPECT_TRUE(MakeFolderPath(deep));
    EXPECT_TRUE(fs::is_directory(scratch.path() / "a/b/c"));
    EXPECT_TRUE(MakeFolderPath(scratch.str() + "/a/b"));
    EXPECT_FALSE(MakeFolderPath(""));
}

TEST(MakeFolderPath, FailsWhenTheFolderIsNotThereAfterwards) {
    test::ScratchDir scratch;
    const std::string file = scratch.WriteFile("plain", "x");
    EXPECT_FALSE(MakeFolderPath(file));
    EXPECT_FALSE(MakeFolderPath(file + "/below"));
}

TEST(FileSizeOf, GivesTheSizeOfFilesAndZeroOtherwise) {
    test::ScratchDir scratch;
    EXPECT_EQ(FileSizeOf(scratch.WriteFile("f", std::string(1234, 'x'))), 1234u);
    EXPECT_EQ(FileSizeOf(scratch.str() + "/missing"), 0u);
    EXPECT_EQ(FileSizeOf(scratch.str()), 0u);
}

TEST(GetFileNamePart, TakesTheTextAfterTheLastSeparator) {
    EXPECT_EQ(GetFileNamePart("/data/logfiles/WinORVEX.log"), "WinORVEX.log");
    EXPECT_EQ(GetFileNamePart("C:\\export\\res.txt"), "res.txt");
    EXPECT_EQ(GetFileNamePart("mixed\\dir/name"), "name");
    EXPECT_EQ(GetFileNamePart("folder/"), "");
    EXPECT_EQ(GetFileNamePart("no-separator"), "");
}

TEST(DeleteFolderContents, RemovesFilesAndPlainFoldersButKeepsDotFolders) {
    test::ScratchDir scratch;
    scratch.WriteFile("top/a.txt", "a");
    scratch.WriteFile("top/sub/deeper/b.txt", "b");
    scratch.WriteFile("top/.hidden/keep.txt", "k");
    scratch.WriteFile("top/.dotfile", "d");
    const std::string readOnly = scratch.WriteFile("top/sub/ro.txt", "r");
    fs::permissions(readOnly, fs::perms::owner_read);

    EXPECT_FALSE(DeleteFolderContents(scratch.str() + "/top", true)) << "the dot folder keeps it from going";
    EXPECT_TRUE(fs::exists(scratch.path() / "top/.hidden/keep.txt"));
    EXPECT_FALSE(fs::exists(scratch.path() / "top/.dotfile"));
    EXPECT_FALSE(fs::exists(scratch.path() / "top/a.txt"));
    EXPECT_FALSE(fs::exists(scratch.path() / "top/sub"));

    fs::remove_all(scratch.path() / "top/.hidden");
    scratch.WriteFile("top/again.txt", "x");
    EXPECT_TRUE(DeleteFolderContents(scratch.str() + "/top", false));
    EXPECT_TRUE(fs::is_directory(scratch.path() / "top"));
    EXPECT_TRUE(fs::is_empty(scratch.path() / "top"));
    EXPECT_TRUE(DeleteFolderContents(scratch.str() + "/top", true));
    EXPECT_FALSE(fs::exists(scratch.path() / "top"));
}

TEST(DeleteFolderContents, NeverFollowsALinkOutOfTheFolder) {
    test::ScratchDir scratch;
    const std::string precious = scratch.WriteFile("outside/precious.txt", "keep me");
    scratch.WriteFile("inside/x.txt", "x");
    fs::create_directory_symlink(scratch.path() / "outside", scratch.path() / "inside/link");

    EXPECT_TRUE(DeleteFolderContents(scratch.str() + "/inside", true));
    EXPECT_FALSE(fs::exists(scratch.path() / "inside"));
    EXPECT_EQ(test::ReadWholeFile(precious), "keep me");
}

TEST(TrimChars, RemovesTheSetFromBothEndsOnly) {
    std::string text = "\t  a b\t ";
    TrimChars(text, " \t");
    EXPECT_EQ(text, "a b");
    std::string all = "xxx";
    TrimChars(all, "x");
    EXPECT_EQ(all, "");
    std::string none = "abc";
    TrimChars(none, "");
    EXPECT_EQ(none, "abc");
}

TEST(SplitText, KeepsEmptyPiecesBetweenDelimitersButNotAnEmptyLastOne) {
    Pieces out{"kept"};
    SplitText("a\\b;;c\\", "\\;", out);
    EXPECT_EQ(out, (Pieces{"kept", "a", "b", "", "c"}));

    Pieces single;
    SplitText("alone", "\\", single);
    EXPECT_EQ(single, Pieces{"alone"});

    Pieces empty;
    SplitText("", "\\", empty);
    EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace winorvex
