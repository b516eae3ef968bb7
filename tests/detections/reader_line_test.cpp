#include "detections/reader_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tag_line_helpers.h"

namespace winorvex {
namespace {

using filters_test::Checksum;
using filters_test::Contains;
using filters_test::DrainLogTexts;
using filters_test::Framed;
using filters_test::TagBody;

class ReaderLineTest : public filters_test::StationStateTest {};

const std::string kBody = TagBody("0580031A2B3C", "240518", "101530", 25);

TEST_F(ReaderLineTest, TagReadIsTrimmedAndLosesChecksumAndMarker) {
    const std::string whole = Framed("aa", kBody);
    const std::string received = "  \r\n" + whole + " \r\n";
    ReaderLine line;
    ASSERT_TRUE(ClassifyReaderLine(received, line));
    EXPECT_EQ(line.kind, kLineTagRead);
    EXPECT_EQ(line.seenMarker, kNoMarker);
    EXPECT_EQ(line.text, "aa" + kBody);
    EXPECT_EQ(line.fullLine, whole);

    for (const auto& [marker, expected] : {std::pair{"FS", kMarkerFS}, std::pair{"LS", kMarkerLS}}) {
        const std::string marked = Framed("aa", kBody, marker);
        const std::string markedReceived = marked + "\r";  // the views point into it
        ASSERT_TRUE(ClassifyReaderLine(markedReceived, line)) << marker;
        EXPECT_EQ(line.seenMarker, expected);
        EXPECT_EQ(line.text, "aa" + kBody);
        EXPECT_EQ(line.fullLine, marked);
    }
}

TEST_F(ReaderLineTest, ChecksumMustMatchInLowerCaseHexadecimal) {
    // Find a body whose checksum holds a letter, so that its upper-case form differs.
    std::string body = kBody;
    for (int i = 0; i < 40 && Checksum(body).find_first_of("abcdef") == std::string::npos; ++i) {
        body.back() = static_cast<char>('0' + i);
    }
    const std::string sum = Checksum(body);
    std::string upper = sum;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    ReaderLine line;
    const std::string right = "aa" + body + sum + "FS";
    const std::string upperMarked = "aa" + body + upper + "FS";
    const std::string upperPlain = "aa" + body + upper;
    EXPECT_TRUE(ClassifyReaderLine(right, line));
    EXPECT_FALSE(ClassifyReaderLine(upperMarked, line));
    EXPECT_FALSE(ClassifyReaderLine(upperPlain, line));
    std::string wrong = "aa" + body + sum;
    wrong[10] = wrong[10] == '1' ? '2' : '1';
    EXPECT_FALSE(ClassifyReaderLine(wrong, line));
    // A marker is only looked for on tag reads: on a reply "FS" stands where the checksum is.
    const std::string replyMarked = Framed("ab", "000902") + "FS";
    EXPECT_FALSE(ClassifyReaderLine(replyMarked, line));
    // No message of its own: the worker reports the invalid input.
    EXPECT_FALSE(Contains(DrainLogTexts(), "Unknown command"));
}

TEST_F(ReaderLineTest, ReplyKindsFollowTheCommandCode) {
    struct Case {
        const char* body;
        int kind;
    };
    const Case cases[] = {
        {"000001", kLineClockSetAck},
        {"0009022405180618453000", kLineClockReply},
        {"00004b", kLineLoggingAck},
        {"000c4b0102030405060708090a0b0c", kLineLoggingDetail},
        {"000d4b01", kLineLoggingDetail},
        {"00014b00", kLineLoggingReply},
        {"00034bd02040", kLineClearingProgress},
        {"00014b01", kLineUnhandled},
        {"000027", kLineUnhandled},
        {"00", kLineUnhandled},
    };
    for (const Case& c : cases) {
        const std::string whole = Framed("ab", c.body);
        const std::string received = whole + "\r\n";
        ReaderLine line;
        ASSERT_TRUE(ClassifyReaderLine(received, line)) << whole;
        EXPECT_EQ(line.kind, c.kind) << whole;
        EXPECT_EQ(line.seenMarker, kNoMarker);
        EXPECT_EQ(line.fullLine, whole);
        // The logging detail keeps its checksum for the counters that reach it.
        EXPECT_EQ(line.text, c.kind == kLineLoggingDetail ? whole : "ab" + std::string(c.body)) << whole;
    }
    // The reader's acknowledgement of a clock setting, as it arrives on the wire.
    ReaderLine ack;
    ASSERT_TRUE(ClassifyReaderLine("ab00000121\r\n", ack));
    EXPECT_EQ(ack.kind, kLineClockSetAck);
}

TEST_F(ReaderLineTest, OtherPrefixesAreUnknownCommandsAndShortLinesInvalid) {
    ReaderLine line;
    EXPECT_FALSE(ClassifyReaderLine(" xy123\r\n", line));
    const std::string upperPrefix = "AA" + kBody + Checksum(kBody);
    EXPECT_FALSE(ClassifyReaderLine(upperPrefix, line));
    const auto logged = DrainLogTexts();
    EXPECT_TRUE(Contains(logged, ".. Unknown command: xy123"));
    EXPECT_TRUE(Contains(logged, ".. Unknown command: AA"));
    EXPECT_EQ(line.kind, kLineUnhandled);
    EXPECT_TRUE(line.fullLine.empty());

    for (const char* shortLine : {"", "a", "aa", "ab", "aa0", "aaFS", "aa0LS", "ab1"}) {
        EXPECT_FALSE(ClassifyReaderLine(shortLine, line)) << shortLine;
        EXPECT_EQ(line.kind, kLineUnhandled) << shortLine;
    }
}

// Lines of every length and random bytes, NUL included: the views must stay inside the input
// (the sanitizer builds catch any read past it) and the outcome must be consistent.
TEST_F(ReaderLineTest, AnyBytesOfAnyLengthAreHandledInBounds) {
    SetLogWindowAttached(false);  // thousands of unknown-command lines are of no interest here
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t length : {0, 1, 2, 3, 4, 5, 35, 36, 37, 38, 39, 1023, 1024, 5000}) {
        for (int round = 0; round < 40; ++round) {
            std::string input(length, '\0');
            for (char& c : input) c = static_cast<char>(byte(random));
            if (length >= 2 && round % 2 == 0) input.replace(0, 2, round % 4 == 0 ? "aa" : "ab");
            ReaderLine line;
            const bool ok = ClassifyReaderLine(input, line);
            const char* begin = input.data();
            const char* end = begin + input.size();
            EXPECT_TRUE(line.text.empty() || (line.text.data() >= begin && line.text.data() + line.text.size() <= end));
            if (ok) {
                EXPECT_GE(line.fullLine.size(), 4U);
                EXPECT_GE(line.kind, kLineUnhandled);
            }
        }
        // Binary bytes (above 127 too) between a prefix and a right checksum make a valid line.
        std::string body(length, '\0');
        for (char& c : body) c = static_cast<char>(byte(random));
        const std::string framed = Framed("ab", body);
        ReaderLine line;
        EXPECT_TRUE(ClassifyReaderLine(framed, line)) << length;
        EXPECT_EQ(line.fullLine.size(), framed.size());
        EXPECT_EQ(line.fullLine.data(), framed.data());
    }
}

TEST_F(ReaderLineTest, InPlaceFormRewritesTheBuffer) {
    const std::string whole = Framed("aa", kBody, "LS");
    char buffer[1024];
    const std::string received = " " + whole + "\r";
    std::memcpy(buffer, received.data(), received.size());
    buffer[received.size()] = '\0';
    std::size_t length = received.size();
    std::string fullLine;
    int kind = 99;
    int marker = 99;
    ASSERT_TRUE(ClassifyReaderLine(buffer, length, fullLine, kind, marker));
    EXPECT_EQ(std::string(buffer), "aa" + kBody);
    EXPECT_EQ(length, 2 + kBody.size());
    EXPECT_EQ(fullLine, whole);
    EXPECT_EQ(kind, kLineTagRead);
    EXPECT_EQ(marker, kMarkerLS);

    std::strcpy(buffer, "\r\nzz\r\n");
    length = std::strlen(buffer);
    EXPECT_FALSE(ClassifyReaderLine(buffer, length, fullLine, kind, marker));
    EXPECT_STREQ(buffer, "zz");
    EXPECT_EQ(kind, kLineUnhandled);
}

}  // namespace
}  // namespace winorvex
