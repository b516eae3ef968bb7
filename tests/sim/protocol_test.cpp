// The simulator's line formats, checked the way the station reads them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "chip_source.h"
#include "frame.h"
#include "line_client.h"
#include "options.h"
#include "reader_clock.h"
#include "reader_memory.h"
#include "support/test_support.h"

namespace winorvex::sim {
namespace {

using test::CommandFrame;
using test::HasValidChecksum;

int Hex(const std::string& line, int first_1based, int digits) {
    return static_cast<int>(
        std::strtol(line.substr(static_cast<std::size_t>(first_1based - 1), static_cast<std::size_t>(digits)).c_str(),
                    nullptr, 16));
}

TEST(SimFrame, HostCommandTableIsAcceptedWithItsCodeAndData) {
    struct Case {
        std::string head;
        uint8_t command;
        std::string data;
    };
    const Case cases[] = {
        {"ab00070126051803123045", 0x01, "26051803123045"},
        {"ab000002", 0x02, ""},
        {"ab00010405", 0x04, "05"},
        {"ab00024b0001", 0x4b, "0001"},
        {"ab00004b", 0x4b, ""},
        {"ab00014bd0", 0x4b, "d0"},
        {"ab00000a", 0x0a, ""},
        {"ab000027", 0x27, ""},
        {"ab00034b070105", 0x4b, "070105"},
        {"ab00ff4b", 0x4b, ""},
        {"ab000049", 0x49, ""},
    };
    for (const Case& c : cases) {
        sim::CommandFrame frame;
        std::string reason;
        const std::string text = CommandFrame(c.head);  // the parsed data points into it
        ASSERT_TRUE(ParseCommandFrame(text, &frame, &reason)) << c.head << ": " << reason;
        EXPECT_EQ(frame.command, c.command) << c.head;
        EXPECT_EQ(frame.data_hex, c.data) << c.head;
    }
    // The frames the host documents byte for byte.
    EXPECT_EQ(CommandFrame("ab000002"), "ab00000222\r\n");
    EXPECT_EQ(CommandFrame("ab00024b0001"), "ab00024b000119\r\n");
    EXPECT_EQ(CommandFrame("ab000049"), "ab0000492d\r\n");
}

TEST(SimFrame, MalformedFramesAreRefused) {
    const std::string bad[] = {
        "ab00000222x",     // odd length
        "ab0000022",       // too short
        "ab00000223",      // wrong checksum
        "ab00024B000119",  // a changed digit breaks the sum
        "aa00000222",      // not a command
        "ab0001042e",      // length 1 but no data
        "ab00g00222",      // not hexadecimal
        "",
    };
    for (const std::string& line : bad) {
        sim::CommandFrame frame;
        std::string reason;
        EXPECT_FALSE(ParseCommandFrame(line + "\r\n", &frame, &reason)) << line;
        EXPECT_FALSE(reason.empty());
    }
    // The host writes its checksum in lowercase only: the uppercase form of a valid one is refused.
    const std::string good = CommandFrame("ab00014b03");
    std::string upper = good;
    for (std::size_t i = upper.size() - 4; i < upper.size() - 2; ++i)
        upper[i] = static_cast<char>(std::toupper(upper[i]));
    ASSERT_NE(good, upper) << "pick a frame whose checksum holds a letter";
    sim::CommandFrame frame;
    std::string reason;
    EXPECT_TRUE(ParseCommandFrame(good, &frame, &reason));
    EXPECT_FALSE(ParseCommandFrame(upper, &frame, &reason));
}

TEST(SimFrame, RepliesCarryTheirKindAndAValidChecksum) {
    std::string out;
    AppendReply(out, 0x01, "");
    EXPECT_EQ(out, "ab00000121\r\n");  // the clock-setting acknowledgement
    out.clear();
    AppendReply(out, 0x4b, "00");
    EXPECT_EQ(out.substr(0, 10), "ab00014b00");
    EXPECT_TRUE(HasValidChecksum(out));
    out.clear();
    AppendReply(out, 0x4b, "");
    EXPECT_EQ(out.substr(0, 8), "ab00004b");
    EXPECT_TRUE(HasValidChecksum(out));
}

TEST(SimFrame, TagReadLayoutChecksumMarkerAndSequence) {
    const ChipId chip = GeneratedChip(0x1a2b);
    StampText stamp;
    const std::string text = "240518101530";
    std::copy(text.begin(), text.end(), stamp.yymmddhhmmss.begin());
    stamp.hundredths = 99;
    char buffer[kMaxTagLine];
    const uint64_t seq = 0xabcdef;
    std::string line(buffer, FormatTagRead(buffer, chip, seq, stamp, SeenMarker::kNone));
    ASSERT_EQ(line.size(), 38u);
    EXPECT_EQ(line.substr(36), "\r\n");
    EXPECT_EQ(line.substr(0, 2), "aa");
    EXPECT_EQ(line.substr(4, 12), "058000001A2B");
    EXPECT_EQ(line.substr(20, 6), "240518");
    EXPECT_EQ(line.substr(26, 6), "101530");
    EXPECT_EQ(line.substr(32, 2), "63");
    EXPECT_TRUE(HasValidChecksum(line));
    EXPECT_EQ(TagReadSequence(line), 0xabcdef);

    line.assign(buffer, FormatTagRead(buffer, chip, 0x1000001, stamp, SeenMarker::kFirstSeen));
    EXPECT_EQ(line.substr(36), "FS\r\n");
    EXPECT_TRUE(HasValidChecksum(line));
    EXPECT_EQ(TagReadSequence(line), 1);  // 24 bits only
    line.assign(buffer, FormatTagRead(buffer, chip, 7, stamp, SeenMarker::kLastSeen));
    EXPECT_EQ(line.substr(36), "LS\r\n");
    EXPECT_TRUE(HasValidChecksum(line));
}

TEST(SimMemory, LoggingDetailDecodesToTheMemoryState) {
    ReaderMemory memory;
    const std::string read = "aa00058000000001000024051810153000ff\r\n";
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(memory.Record(read));
    char line[kMaxTagLine];
    for (int i = 0; i < 45; ++i) ASSERT_GT(memory.ReplayNext(line), 0u);

    std::string detail;
    AppendLoggingDetail(detail, memory.Counters(true, false));
    ASSERT_TRUE(HasValidChecksum(detail));
    const std::string whole = detail.substr(0, detail.find('\r'));
    ASSERT_GE(whole.size(), 34u);
    EXPECT_EQ(whole.substr(4, 4), "0c4b");
    const int a = Hex(whole, 11, 2), b = Hex(whole, 13, 4), c = Hex(whole, 17, 2), d = Hex(whole, 19, 4);
    const int f = Hex(whole, 25, 2), g = Hex(whole, 27, 4);
    EXPECT_EQ(a * g + b, 300);
    EXPECT_EQ(g * c + d, 45);
    EXPECT_EQ((a - c) * g + b - d, 255);
    EXPECT_EQ((f - a) * g - b, static_cast<int>(ReaderMemory::kCapacity) - 300);

    memory.MarkAllRead();
    EXPECT_EQ(memory.remaining(), 0u);
    memory.Rewind();
    EXPECT_EQ(memory.remaining(), 300u);
    EXPECT_EQ(memory.ReplayNext(line), read.size());
    EXPECT_EQ(std::string(line, read.size()), read);
}

TEST(SimMemory, RecordingStopsWhenFull) {
    ReaderMemory memory;
    const std::string read = "aa00058000000001000024051810153000ff\r\n";
    for (std::size_t i = 0; i < ReaderMemory::kCapacity; ++i) ASSERT_TRUE(memory.Record(read));
    EXPECT_FALSE(memory.Record(read));
    EXPECT_EQ(memory.recorded(), ReaderMemory::kCapacity);
}

TEST(SimMemory, ClearingProgressGivesItsPercentInTheLastSixCharacters) {
    std::string line;
    AppendClearingProgress(line, 0x20, 0x40);
    ASSERT_TRUE(HasValidChecksum(line));
    const std::string whole = line.substr(0, line.find('\r'));
    EXPECT_EQ(whole.substr(0, 10), "ab00034bd0");
    const std::string last6 = whole.substr(whole.size() - 6);
    EXPECT_EQ(std::stoi(last6.substr(0, 2), nullptr, 16) * 100 / std::stoi(last6.substr(2, 2), nullptr, 16), 50);
}

TEST(SimChips, GeneratedChipsAndRepeatsAreDeterministic) {
    EXPECT_EQ(std::string(GeneratedChip(1).data(), 12), "058000000001");
    EXPECT_EQ(std::string(GeneratedChip(0xabcdef12).data(), 12), "0580ABCDEF12");

    ChipSource plain(GeneratedChips(3), 0, false, 1);
    std::string order;
    for (int i = 0; i < 6; ++i) order += std::string(plain.Next().chip->data(), 12).substr(11);
    EXPECT_EQ(order, "123123");

    ChipSource a(GeneratedChips(50), 30, true, 42);
    ChipSource b(GeneratedChips(50), 30, true, 42);
    int repeats = 0;
    std::string previous;
    for (int i = 0; i < 2000; ++i) {
        const ChipPick pa = a.Next();
        const ChipPick pb = b.Next();
        const std::string chip(pa.chip->data(), 12);
        ASSERT_EQ(chip, std::string(pb.chip->data(), 12));
        ASSERT_EQ(pa.marker, pb.marker);
        if (pa.marker == SeenMarker::kLastSeen) {
            ++repeats;
            EXPECT_EQ(chip, previous);
        } else {
            EXPECT_EQ(pa.marker, SeenMarker::kFirstSeen);
            if (i > 0) {
                EXPECT_NE(chip, previous);
            }
        }
        previous = chip;
    }
    EXPECT_GT(repeats, 450);  // about 30 % of 2000
    EXPECT_LT(repeats, 750);
}

TEST(SimChips, ChipFileSkipsCommentsAndNamesTheBadLine) {
    winorvex::test::ScratchDir dir;
    std::vector<ChipId> chips;
    std::string error;
    const std::string good = dir.WriteFile("good.txt", "# start line\n\n  0580AABBCCDD \r\n058000000002\n");
    ASSERT_TRUE(LoadChipFile(good, &chips, &error)) << error;
    ASSERT_EQ(chips.size(), 2u);
    EXPECT_EQ(std::string(chips[0].data(), 12), "0580AABBCCDD");

    const std::string bad = dir.WriteFile("bad.txt", "058000000001\n05800000002\n");
    EXPECT_FALSE(LoadChipFile(bad, &chips, &error));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    EXPECT_FALSE(LoadChipFile(dir.WriteFile("empty.txt", "# nothing\n"), &chips, &error));
    EXPECT_FALSE(LoadChipFile(dir.str() + "/missing.txt", &chips, &error));
}

TEST(SimClock, SetShiftAndStampFollowLocalTime) {
    ReaderClock clock;
    const auto now = std::chrono::system_clock::now();
    ASSERT_TRUE(clock.SetLocal(2024, 5, 18, 10, 15, 30, now));
    ReaderTime t = clock.At(now);
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 5);
    EXPECT_EQ(t.day, 18);
    EXPECT_EQ(t.weekday, 6);  // a Saturday
    EXPECT_EQ(t.hour, 10);
    EXPECT_EQ(t.minute, 15);
    EXPECT_EQ(t.second, 30);
    t = clock.At(now + std::chrono::milliseconds(1250));
    EXPECT_EQ(t.second, 31);
    EXPECT_EQ(t.hundredths, 25);

    const int64_t before = clock.offset_ms();
    EXPECT_FALSE(clock.SetLocal(2024, 2, 31, 10, 0, 0, now));
    EXPECT_FALSE(clock.SetLocal(2024, 13, 1, 10, 0, 0, now));
    EXPECT_FALSE(clock.SetLocal(2024, 5, 18, 24, 0, 0, now));
    EXPECT_EQ(clock.offset_ms(), before);

    ASSERT_TRUE(clock.ShiftToDate(20241225, now));
    t = clock.At(now);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 25);
    EXPECT_EQ(t.hour, 10);  // the time of day is kept, across the change to winter time
    EXPECT_EQ(t.minute, 15);
    EXPECT_FALSE(clock.ShiftToDate(20241232, now));

    StampCache cache;
    const int64_t ms = clock.ReaderMs(now);
    const StampText& stamp = cache.At(ms);
    EXPECT_EQ(std::string(stamp.yymmddhhmmss.data(), 12).substr(0, 10), "2412251015");
}

TEST(SimOptions, ParsesAndRefusesBadValues) {
    Options o;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseOptions(
        {"--model", "lite", "--port", "0", "--rate", "2.5", "--count", "7", "--chip-count", "9", "--repeat-percent",
         "10", "--markers", "--date", "20240518", "--start-paused", "--control-port", "0"},
        &o, &help, &error))
        << error;
    EXPECT_EQ(o.model, Model::kLite);
    EXPECT_EQ(o.port, 0);
    EXPECT_DOUBLE_EQ(o.rate, 2.5);
    EXPECT_EQ(o.count, 7u);
    EXPECT_EQ(o.chip_count, 9u);
    EXPECT_TRUE(o.markers);
    EXPECT_EQ(o.date, 20240518);
    EXPECT_TRUE(o.start_paused);
    EXPECT_EQ(o.control_port, 0);

    const std::vector<std::vector<std::string>> bad = {
        {"--port", "70000"},
        {"--port"},
        {"--rate", "-1"},
        {"--rate", "nan"},
        {"--repeat-percent", "101"},
        {"--date", "2024051"},
        {"--model", "pro"},
        {"--bogus", "1"},
        {"--count", "12x"},
        {"--chips", "a", "--chip-count", "3"},
    };
    for (const auto& args : bad) {
        Options fresh;
        EXPECT_FALSE(ParseOptions(args, &fresh, &help, &error)) << args[0];
    }
}

}  // namespace
}  // namespace winorvex::sim
