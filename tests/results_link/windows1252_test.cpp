#include "results_link/windows1252.h"

#include <gtest/gtest.h>

#include <string>

namespace winorvex {
namespace {

TEST(Windows1252, AccentedLettersAndPunctuationBecomeUtf8) {
    // "Hélène Müller" as the results program sends it.
    EXPECT_EQ(Windows1252ToUtf8("H\xE9l\xE8ne M\xFCller"), "Hélène Müller");
    EXPECT_EQ(Windows1252ToUtf8("\x80 \x8C\x9C \x96 \x85 \xC6\xFF"), "€ Œœ – … Æÿ");
    EXPECT_EQ(Windows1252ToUtf8("plain ASCII\\kt04"), "plain ASCII\\kt04");
    EXPECT_EQ(Windows1252ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Windows1252, UndefinedBytesShowAsReplacement) {
    EXPECT_EQ(Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Windows1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
        all += static_cast<char>(b);
    }
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(Windows1252, Utf8WithoutACodePageCharacterIsReplaced) {
    EXPECT_EQ(Utf8ToWindows1252("Hélène – 東京"), "H\xE9l\xE8ne \x96 ??");
    // Malformed sequences: a lone continuation byte, a cut sequence at the end.
    EXPECT_EQ(Utf8ToWindows1252("a\x80z\xC3"), "a?z?");
    EXPECT_EQ(Utf8ToWindows1252("\xE2\x82"), "??");
}

}  // namespace
}  // namespace winorvex
