// Reader bytes shown in the log: control bytes, a backslash and invalid UTF-8 escaped, a NUL in
// the middle no longer hiding the rest, and cuts that never split an escape or a character.
#include "core/escape_bytes.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "log_fixture.h"

namespace winorvex::test {
namespace {

using namespace std::string_literals;

TEST(EscapeBytes, ControlBytesInvalidUtf8AndANulAreEscapedValidTextStays) {
    EXPECT_EQ(EscapeBytes("aa0105800A"), "aa0105800A");
    EXPECT_EQ(EscapeBytes("before\0after"s), "before\\x00after");
    EXPECT_EQ(EscapeBytes("\x01\x1b[2J\x7f\t"), "\\x01\\x1B[2J\\x7F\\x09");
    EXPECT_EQ(EscapeBytes("C:\\dir"), "C:\\x5Cdir") << "a backslash from the reader cannot fake an escape";
    EXPECT_EQ(EscapeBytes("d\xc3\xa9tection \xe2\x82\xac \xf0\x9f\x98\x80"),
              "d\xc3\xa9tection \xe2\x82\xac \xf0\x9f\x98\x80");
    // A lone continuation byte, a cut sequence, an overlong form, a surrogate, past U+10FFFF.
    EXPECT_EQ(EscapeBytes("\x80"), "\\x80");
    EXPECT_EQ(EscapeBytes("\xe2\x82"), "\\xE2\\x82");
    EXPECT_EQ(EscapeBytes("\xc0\xaf"), "\\xC0\\xAF");
    EXPECT_EQ(EscapeBytes("\xed\xa0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(EscapeBytes("\xf4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");
    // Line ends are left to the log's own <CR> / <LF> form.
    EXPECT_EQ(EscapeBytes("a\r\nb"), "a\r\nb");
}

TEST(EscapeBytes, ACutNeverSplitsAnEscapeOrACharacter) {
    char out[8];
    EXPECT_EQ(EscapeBytesTo("ab\x01zz", out, sizeof out), 7u);
    EXPECT_STREQ(out, "ab\\x01z");
    EXPECT_EQ(EscapeBytesTo("abcde\x01", out, sizeof out), 5u);
    EXPECT_STREQ(out, "abcde");
    EXPECT_EQ(EscapeBytesTo("abcde\xc3\xa9\xc3\xa9", out, sizeof out), 7u);
    EXPECT_STREQ(out, "abcde\xc3\xa9");
    EXPECT_EQ(EscapeBytesTo("x", out, 1), 0u);
    EXPECT_STREQ(out, "");

    const std::string binary(4000, '\0');
    const EscapedBytes shown(binary);
    EXPECT_EQ(shown.View().size(), 1020u);  // 255 whole escapes in the 1023 bytes kept
    EXPECT_EQ(shown.View().substr(0, 8), "\\x00\\x00");
}

using EscapedLogTest = LogFixture;

TEST_F(EscapedLogTest, ANulInTheMiddleOfAReaderLineNoLongerHidesTheRest) {
    const std::string received = "xy\0zz\x01"s;
    const EscapedBytes shown(received);
    LogF(0, ".. Unknown command: %.*s", shown.Length(), shown.Data());
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(TextOf(lines[0]), ".. Unknown command: xy\\x00zz\\x01");
}

}  // namespace
}  // namespace winorvex::test
