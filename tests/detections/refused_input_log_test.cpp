// What a box logs about input it refuses: bounded per kind (20 lines a second, then a summary),
// the reader's bytes escaped, and never at the cost of a detection.
#include <gtest/gtest.h>

#include <string>

#include "detections/detection_pipeline.h"
#include "detections/reader_line.h"
#include "detections/result_list.h"
#include "tag_line_helpers.h"

namespace winorvex {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;
using filters_test::CountContaining;
using filters_test::DrainLogTexts;
using filters_test::RecordingOutputs;
using filters_test::TagLineAt;

constexpr const char* kLabel = "Box 1 [h1:10000 31]";

class RefusedInputLogTest : public filters_test::StationStateTest {
protected:
    // As the box worker handles a received line.
    void Receive(const std::string& received) {
        ReaderLine line;
        if (!ClassifyReaderLine(received, line, &box_.FloodLimit())) {
            box_.LogInvalidInput(line.text);
        } else if (line.kind == kLineTagRead) {
            box_.HandleTagRead(line);
        }
    }

    static std::string Chip(int n) {
        char text[16];
        std::snprintf(text, sizeof text, "0580%08X", n);
        return text;
    }

    CLastBoxDetectionList list_;
    RecordingOutputs outputs_;
    DetectionPipeline box_{{kLabel, "31", "[h1:10000 31]"}, list_, outputs_.Services()};
};

TEST_F(RefusedInputLogTest, GarbageIsLoggedTwentyTimesASecondPerKindWhileEveryDetectionIsRecorded) {
    for (int n = 0; n < 400; ++n) {
        Receive("garbage " + std::to_string(n));
        if (n % 20 == 0) Receive(TagLineAt(Chip(n), 3600000 + n * 100));
    }
    EXPECT_EQ(ResultCount(), 20u) << "no detection is held back";
    EXPECT_EQ(box_.Counters().recorded, 20u);

    box_.FloodLimit().Flush(LogFloodLimit::Clock::now() + 1s);
    const auto texts = DrainLogTexts();
    EXPECT_EQ(CountContaining(texts, ".. Unknown command: garbage"), 20);
    EXPECT_EQ(CountContaining(texts, std::string("+ ") + kLabel + " : Invalid input: garbage"), 20);
    EXPECT_EQ(CountContaining(texts, std::string("+ ") + kLabel + " : ... 380 more lines like this in the last second"),
              2);
    EXPECT_EQ(outputs_.pane.size(), 20u);
}

TEST_F(RefusedInputLogTest, AnEmptyTableRefusesEveryReadAndSaysSoWithinTheBound) {
    Settings().sendNumbers = 1;  // translation on, no table loaded
    for (int n = 0; n < 100; ++n) Receive(TagLineAt(Chip(n), 3600000 + n * 100));
    EXPECT_EQ(ResultCount(), 0u);
    EXPECT_EQ(box_.Counters().invalid, 100u) << "every read is counted, logged or not";
    box_.FloodLimit().Flush(LogFloodLimit::Clock::now() + 1s);
    const auto texts = DrainLogTexts();
    EXPECT_EQ(CountContaining(texts, " : Invalid detection: aa01"), 20);
    EXPECT_EQ(CountContaining(texts, " : ... 80 more lines like this in the last second"), 1);
}

TEST_F(RefusedInputLogTest, ReaderBytesAreEscapedAndANulNoLongerHidesTheRest) {
    Receive("xy\0zz\x01\xff tail"s);
    Receive("ab\0\x1b[2J"s);  // an "ab" reply too short for its checksum
    const auto texts = DrainLogTexts();
    EXPECT_EQ(CountContaining(texts, ".. Unknown command: xy\\x00zz\\x01\\xFF tail"), 1);
    EXPECT_EQ(CountContaining(texts, std::string(kLabel) + " : Invalid input: xy\\x00zz\\x01\\xFF tail"), 1);
    EXPECT_EQ(CountContaining(texts, std::string(kLabel) + " : Invalid input: ab\\x00\\x1B[2J"), 1);

    // The reason of a refused read quotes the line escaped as well.
    const std::string badTime = "aa01" + Chip(1) + "0a0b24051810\x01" + "0019";
    ASSERT_EQ(box_.HandleTagRead(badTime, badTime, kNoMarker), LineOutcome::Invalid);
    EXPECT_EQ(CountContaining(DrainLogTexts(),
                              "Invalid time string chAbs: [aa01058000000001"
                              "0a0b24051810\\x010019]"),
              1);
}

}  // namespace
}  // namespace winorvex
