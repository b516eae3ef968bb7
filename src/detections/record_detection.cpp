#include "detections/record_detection.h"

#include <cstring>
#include <memory>

#include "chips/chip_table.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "detections/tag_read.h"

namespace winorvex {

namespace {

constexpr std::string_view kAddRixClockHead = "AddRixClock(";

// Forwards each new record from inside the list's lock.
class ForwardToResultsProgram final : public ResultAddedObserver {
public:
    explicit ForwardToResultsProgram(DetectionOutputs& outputs) : outputs_(outputs) {}

    // Under the lock the published count is the list's length, this record the last one.
    void OnResultAdded(const CRixResult& result) override { outputs_.ForwardDetection(result, ResultCount() - 1); }

private:
    DetectionOutputs& outputs_;
};

int Length(std::string_view text) {
    return static_cast<int>(text.size());
}

}  // namespace

void DetectionOutputs::ForwardDetection(const CRixResult& record, std::size_t) {
    if (!IsDirectConnected()) return;
    char buffer[256];
    const std::size_t length = FormatAddRixClock(buffer, sizeof buffer, record);
    if (length > 0) {
        SendDirectLine(std::string_view(buffer, length));
    } else {
        SendDirectLine(MakeAddRixClock(record));
    }
}

CRixResult RecordDetection(std::string_view identifier, std::string_view detector, const CChrono& absoluteTime,
                           const CChrono& dailyTime, DetectionOutputs& outputs) {
    ForwardToResultsProgram forward(outputs);
    const bool absoluteClock = Settings().absClock.load(std::memory_order_relaxed) != 0;
    return AddResult(detector, identifier, absoluteTime, dailyTime, absoluteClock, true, &forward);
}

std::size_t FormatAddRixClock(char* buffer, std::size_t capacity, const CRixResult& record) {
    // The record line is "1\t<detector>\t<bib>\t1\t<time text>", as FormatResultLine makes it.
    const std::size_t needed =
        kAddRixClockHead.size() + 2 + record.detector.size() + 1 + record.bib.size() + 3 + record.timeText.size() + 1;
    if (needed >= capacity) return 0;
    char* out = buffer;
    auto put = [&out](std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    };
    put(kAddRixClockHead);
    put("1\t");
    put(record.detector);
    put("\t");
    put(record.bib);
    put("\t1\t");
    put(record.timeText);
    put(")");
    *out = '\0';
    return static_cast<std::size_t>(out - buffer);
}

std::string MakeAddRixClock(const CRixResult& record) {
    std::string message(kAddRixClockHead);
    message += FormatResultLine(record);
    message += ')';
    return message;
}

std::size_t FormatDetectionDisplayText(char* buffer, std::size_t capacity, std::string_view boxName,
                                       const DecodedRead& read) {
    const int nameLength = Length(boxName);
    const std::string_view chip = read.Chip();
    if (Settings().sendNumbers.load(std::memory_order_relaxed) != 0) {
        const std::string_view identifier = read.Identifier();
        return FormatTo(buffer, capacity, "%.*s\t# %.*s", nameLength, boxName.data(), Length(identifier),
                        identifier.data());
    }
    const ChipTable& table = ChipTableForThisThread();
    if (table.Count() == 0) {
        return FormatTo(buffer, capacity, "%.*s\t%.*s", nameLength, boxName.data(), Length(chip), chip.data());
    }
    std::int32_t bib = -1;
    if (table.FindBib(chip, bib)) {
        return FormatTo(buffer, capacity, "%.*s\t%.*s\t# %d", nameLength, boxName.data(), Length(chip), chip.data(),
                        bib);
    }
    return FormatTo(buffer, capacity, "%.*s\t%.*s\t# ????", nameLength, boxName.data(), Length(chip), chip.data());
}

}  // namespace winorvex
