// A passing-time file read back: a time of day earlier than the handicap is written with a minus
// sign, and reading that text must give the same negative value, whatever the form written next.
#include <sstream>

#include "export/export_files.h"
#include "export/time_texts.h"
#include "export_fixture.h"

namespace winorvex::test {
namespace {

using PassingTimeRoundTripTest = ExportFixture;

// The results of a six-field file, as an export reads detection-file lines.
CWorkResultList ReadBack(const std::string& text) {
    CWorkResultList results;
    std::istringstream lines(text);
    std::uint32_t serial = 0;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        EXPECT_EQ(fields.size(), 6u) << line;
        if (fields.size() != 6) continue;
        CRixResult record;
        record.detector = fields[1];
        record.bib = fields[2];
        record.timeText = fields[4];
        record.absoluteClock = fields[5] == "2" ? 1 : 0;
        record.serial = ++serial;
        results.emplace_back(record);
    }
    return results;
}

TEST_F(PassingTimeRoundTripTest, TheSignedReaderReadsWhatPassingTimeTextWrites) {
    const CChrono handicap = Clock("10:30:00.00");
    for (const char* time : {"09:59:59.50", "10:29:59.99", "00:00:00.01", "10:30:00.00", "11:15:30.25", "08:00:00"}) {
        const CChrono passing = PassingTime(Clock(time), handicap);
        const std::string text = PassingTimeText(passing);
        CChrono back(1, 1);
        ASSERT_TRUE(ParseSignedClock(text, back)) << text;
        EXPECT_EQ(back, passing) << time << " -> " << text;
    }
    CChrono value;
    ASSERT_TRUE(ParseSignedClock(" -00:30:00.50", value));
    EXPECT_EQ(PassingTimeText(value), "-00:30:00.50");
    EXPECT_TRUE(ParseSignedClock("7:5:3", value));
    EXPECT_EQ(value, CChrono(25503, 0));
    // Signs anywhere else are not a passing time; a failed read leaves the value.
    for (const char* text : {"--00:30:00", "-+00:30:00", "- 00:30:00", "-00:-30:00", "-", "-10:00", "x"}) {
        EXPECT_FALSE(ParseSignedClock(text, value)) << text;
    }
    EXPECT_EQ(value, CChrono(25503, 0));
}

TEST_F(PassingTimeRoundTripTest, ANegativePassingTimeFileReadsBackInEveryMode) {
    // Runner 3 passes twenty and a half seconds apart, both before the handicap.
    CWorkResultList results = {Work("12", "3", "09:59:59.50"), Work("12", "3", "10:00:20.00"),
                               Work("12", "8", "10:45:00.00")};
    const std::string first = out_.str() + "/first.rix";
    ASSERT_TRUE(WritePassingFile(first, PointersTo(results), Clock("10:30:00.00"), false));
    const std::string written = ReadWholeFile(first);
    ASSERT_EQ(written,
              "1\t12\t3\t1\t-00:30:00.50\t1\r\n"
              "2\t12\t3\t1\t-00:29:40.00\t1\r\n"
              "3\t12\t8\t1\t00:15:00.00\t1\r\n");

    CWorkResultList back = ReadBack(written);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].time, PassingTime(results[0].time, Clock("10:30:00.00")));
    EXPECT_EQ(back[1].time, PassingTime(results[1].time, Clock("10:30:00.00")));
    // Read back in order: the earlier passage sorts first.
    EXPECT_TRUE(back[0].time < back[1].time);

    // Time of day (mode 0), passing time with no handicap (mode 1), compact (mode 2).
    const std::string again = out_.str() + "/again.rix";
    ASSERT_TRUE(WriteResultFile(again, PointersTo(back)));
    EXPECT_EQ(ReadWholeFile(again), written);
    ASSERT_TRUE(WritePassingFile(again, PointersTo(back), CChrono(), false));
    EXPECT_EQ(ReadWholeFile(again), written);
    const std::string compact = out_.str() + "/again-ljk.txt";
    ASSERT_TRUE(WritePassingFile(compact, PointersTo(back), CChrono(), true));
    EXPECT_EQ(ReadWholeFile(compact),
              "dossard\ttemps\tcommentaire\r\n"
              "dossard\tperformancen\tcommentaire\r\n"
              "3\t-3001\t\r\n"
              "3\t-2940\t\r\n"
              "8\t1500\t\r\n");
    // The distribution shows them as they are written.
    for (const DisplayMode mode : {DisplayMode::TimeOfDay, DisplayMode::PassingTime}) {
        EXPECT_EQ(DisplayTimeText(back[0].time, CChrono(), mode), "-00:30:00.50");
    }
    EXPECT_EQ(DisplayTimeText(back[0].time, CChrono(), DisplayMode::Compact), "-3001");
}

}  // namespace
}  // namespace winorvex::test
