#include "detections/record_detection.h"

#include <gtest/gtest.h>

#include <string>

#include "detections/detection_file.h"
#include "detections/detection_pipeline.h"
#include "detections/result_list.h"
#include "tag_line_helpers.h"

namespace winorvex {
namespace {

using filters_test::Feed;
using filters_test::RecordingOutputs;
using filters_test::TagLine;
using filters_test::TagText;

constexpr const char* kChip = "0580031A2B3C";

class RecordDetectionTest : public filters_test::StationStateTest {
protected:
    CLastBoxDetectionList list_;
    RecordingOutputs outputs_;
    DetectionPipeline box_{{"Box 1 [h1:10000 31]", "31", "[h1:10000 31]"}, list_, outputs_.Services()};
};

TEST_F(RecordDetectionTest, RecordGoesToListAndFileAndIsForwardedOnlyWhenConnected) {
    const std::string file = scratch_.str() + "/incoming.dat";
    OpenDetectionFile(file);
    DrainLogWindowQueue();

    const CRixResult first = RecordDetection("12", "31", CChrono(1716020130, 250), CChrono(36930, 250), outputs_);
    EXPECT_EQ(first.bib, "12");
    EXPECT_EQ(first.detector, "31");
    EXPECT_EQ(first.timeText, "10:15:30.25");
    EXPECT_FALSE(first.IsAbsolute());
    EXPECT_TRUE(outputs_.sent.empty());

    outputs_.connected = true;
    Settings().absClock = 1;
    const CRixResult second = RecordDetection("13", "31", CChrono(1716020131, 50), CChrono(36931, 50), outputs_);
    EXPECT_TRUE(second.IsAbsolute());
    ASSERT_EQ(outputs_.sent.size(), 1U);
    EXPECT_EQ(outputs_.sent[0], "AddRixClock(" + FormatResultLine(second) + ")");
    EXPECT_EQ(outputs_.sent[0], "AddRixClock(1\t31\t13\t1\t" + second.timeText + ")");

    EXPECT_EQ(ResultCount(), 2U);
    CloseDetectionFile();
    const std::string written = test::ReadWholeFile(file);
    EXPECT_NE(written.find("1\t31\t12\t1\t10:15:30.25\t1\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("2\t31\t13\t1\t" + second.timeText + "\t2\r\n"), std::string::npos) << written;
}

TEST_F(RecordDetectionTest, ForwardedLineSurvivesAnyFieldLength) {
    CRixResult record;
    record.bib = "12";
    record.detector = "31";
    record.timeText = "25:02:03.04";
    char buffer[256];
    const std::size_t length = FormatAddRixClock(buffer, sizeof buffer, record);
    EXPECT_EQ(std::string(buffer, length), MakeAddRixClock(record));
    EXPECT_EQ(FormatAddRixClock(buffer, 20, record), 0U);

    // A detector name too long for the stack buffer still goes out whole.
    outputs_.connected = true;
    const std::string detector(400, 'D');
    const CRixResult made = RecordDetection("7", detector, CChrono(1716020130, 0), CChrono(36930, 0), outputs_);
    ASSERT_EQ(outputs_.sent.size(), 1U);
    EXPECT_EQ(outputs_.sent[0], "AddRixClock(" + FormatResultLine(made) + ")");
    EXPECT_EQ(outputs_.sent[0].size(), std::string("AddRixClock(1\t\t7\t1\t10:15:30.00)").size() + 400);
}

TEST_F(RecordDetectionTest, DisplayTextDependsOnTranslationAndTable) {
    DecodedRead read;
    char text[128];
    auto display = [&](const std::string& line) {
        EXPECT_TRUE(DecodeTagRead(line, read)) << read.error;
        return std::string(text, FormatDetectionDisplayText(text, sizeof text, "[h1:10000 31]", read));
    };
    const std::string known = TagText(kChip, "240518", "101530", 0);
    const std::string unknown = TagText("FFFFFFFFFFFF", "240518", "101530", 0);

    EXPECT_EQ(display(known), "[h1:10000 31]\t0580031A2B3C");  // no table
    LoadChips("12 0580031A2B3C\n");
    EXPECT_EQ(display(known), "[h1:10000 31]\t0580031A2B3C\t# 12");
    EXPECT_EQ(display(unknown), "[h1:10000 31]\tFFFFFFFFFFFF\t# ????");
    Settings().sendNumbers = 1;
    EXPECT_EQ(display(known), "[h1:10000 31]\t# 12");
    EXPECT_EQ(display(unknown), "[h1:10000 31]\t# FFFFFFFFFFFF");

    // Cut safely when the buffer is small.
    EXPECT_TRUE(DecodeTagRead(known, read));
    const std::size_t cut = FormatDetectionDisplayText(text, 8, "[h1:10000 31]", read);
    EXPECT_LT(cut, 8U);
    EXPECT_EQ(text[cut], '\0');
}

TEST_F(RecordDetectionTest, AcceptedReadIsShownAsTheSettingsSay) {
    LoadChips("12 0580031A2B3C\n");
    Settings().sendNumbers = 1;
    outputs_.connected = true;
    ASSERT_EQ(Feed(box_, TagLine(kChip, "240519", "010203", 4)), LineOutcome::Recorded);

    const CRixResult& record = box_.LastRecord();
    EXPECT_EQ(record.bib, "12");
    EXPECT_EQ(record.detector, "31");
    EXPECT_EQ(record.timeText, "25:02:03.04");
    EXPECT_EQ(outputs_.refreshes, 1);
    EXPECT_EQ(outputs_.sounds, 1);
    ASSERT_EQ(outputs_.sent.size(), 1U);
    EXPECT_EQ(outputs_.sent[0], "AddRixClock(1\t31\t12\t1\t25:02:03.04)");
    ASSERT_EQ(outputs_.pane.size(), 1U);
    EXPECT_EQ(outputs_.pane[0].text, "[h1:10000 31]\t# 12");
    EXPECT_EQ(outputs_.pane[0].serial, record.serial);
    EXPECT_EQ(outputs_.pane[0].daily, CChrono(25 * 3600 + 2 * 60 + 3, 40));

    Settings().beepDetections = false;
    Settings().logDetections = 0;
    outputs_.connected = false;
    ASSERT_EQ(Feed(box_, TagLine(kChip, "240519", "020000", 0)), LineOutcome::Recorded);
    EXPECT_EQ(outputs_.refreshes, 2);
    EXPECT_EQ(outputs_.sounds, 1);
    EXPECT_EQ(outputs_.pane.size(), 1U);
    EXPECT_EQ(outputs_.sent.size(), 1U);
    EXPECT_EQ(CountActiveResults(), 2U);
}

}  // namespace
}  // namespace winorvex
