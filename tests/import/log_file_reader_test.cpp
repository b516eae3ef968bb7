// The log reader's pieces across its buffer refills.
#include "import/log_file_reader.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace winorvex {
namespace {

TEST(LogFileReader, PiecesCoverTheFileExactlyAcrossRefills) {
    test::ScratchDir scratch;
    std::string contents;
    for (int i = 0; contents.size() < 300 * 1024; ++i) {
        contents.append(static_cast<std::size_t>((i * 37) % 1300), static_cast<char>('a' + i % 26));
        contents.push_back('\n');
    }
    contents += "no line end at the end";
    const std::string path = scratch.WriteFile("big.log", contents);

    LogFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, error)) << error;
    std::string joined;
    std::string_view piece;
    std::size_t pieces = 0;
    while (reader.Next(piece)) {
        ++pieces;
        ASSERT_LE(piece.size(), LogFileReader::kPieceLength);
        ASSERT_FALSE(piece.empty());
        const bool ends = piece.back() == '\n';
        // A piece ends at its first line feed, or is a whole 511 bytes, or is the file's tail.
        EXPECT_EQ(piece.find('\n'), ends ? piece.size() - 1 : std::string_view::npos);
        if (!ends && piece.size() < LogFileReader::kPieceLength) {
            EXPECT_EQ(joined.size() + piece.size(), contents.size()) << "a short piece without line end mid-file";
        }
        joined.append(piece);
    }
    EXPECT_FALSE(reader.Failed()) << reader.Error();
    EXPECT_EQ(joined, contents);
    EXPECT_EQ(reader.BytesRead(), contents.size());
    EXPECT_GT(pieces, 400u);
}

TEST(LogFileReader, EmptyFileAndOpenFailures) {
    test::ScratchDir scratch;
    LogFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(scratch.WriteFile("empty.log", ""), error));
    std::string_view piece;
    EXPECT_FALSE(reader.Next(piece));
    EXPECT_FALSE(reader.Failed());

    EXPECT_FALSE(reader.Open(scratch.str() + "/missing.log", error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(reader.Next(piece));
    EXPECT_FALSE(reader.Open(scratch.str(), error));
    EXPECT_EQ(error, "Is a directory");
}

}  // namespace
}  // namespace winorvex
