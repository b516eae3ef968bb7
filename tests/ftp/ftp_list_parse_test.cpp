// LIST lines in the forms servers give, and name patterns.
#include "ftp/ftp_list_parse.h"

#include <gtest/gtest.h>

namespace winorvex {
namespace {

TEST(FtpListParseTest, UnixForms) {
    auto entry = ParseFtpListLine("-rw-r--r--   1 owner    group       12345 Jan 01 12:00 log 2024.log\r");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "log 2024.log");
    EXPECT_EQ(entry->size, 12345);
    EXPECT_FALSE(entry->directory);

    entry = ParseFtpListLine("-rw-r--r-- 1 owner 5000000000 Dec 31  2023 no-group.log");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "no-group.log");
    EXPECT_EQ(entry->size, 5000000000LL);

    entry = ParseFtpListLine("drwxr-xr-x 2 owner group 4096 Mar  5 09:10 archive");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->directory);

    entry = ParseFtpListLine("lrwxrwxrwx 1 owner group 7 Mar  5 09:10 last.log -> a.log");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "last.log");

    EXPECT_FALSE(ParseFtpListLine("total 24"));
    EXPECT_FALSE(ParseFtpListLine(""));
    EXPECT_FALSE(ParseFtpListLine("-rw-r--r-- 1 owner group size Jan 01 12:00 x"));
}

TEST(FtpListParseTest, DosForms) {
    auto entry = ParseFtpListLine("01-31-24  09:15PM                 2048 reader 1.log");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "reader 1.log");
    EXPECT_EQ(entry->size, 2048);
    entry = ParseFtpListLine("01-31-2024  09:15       <DIR>          old");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->directory);
    EXPECT_EQ(entry->name, "old");
    EXPECT_FALSE(ParseFtpListLine("01-31-24  09:15PM  2048"));
}

TEST(FtpListParseTest, PatternsIgnoreCaseAndMatchWholeNames) {
    EXPECT_TRUE(FtpNameMatches("*.log", "a.log"));
    EXPECT_TRUE(FtpNameMatches("*.log", "B.LOG"));
    EXPECT_FALSE(FtpNameMatches("*.log", "a.log.bak"));
    EXPECT_TRUE(FtpNameMatches("r?.log", "r1.log"));
    EXPECT_TRUE(FtpNameMatches("", "anything"));
}

}  // namespace
}  // namespace winorvex
