// Feeds arbitrary text to the time-text readers. A rejected text must leave the value as it was;
// an accepted clock text must print and read back to the same value, in both printing paths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/chrono.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using winorvex::CChrono;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CChrono sentinel(12345, 670);

    CChrono clock = sentinel;
    if (clock.ParseClock(text)) {
        char buffer[32];
        const std::size_t length = clock.FormatDailyHundredthsTo(buffer, sizeof buffer);
        Check(length == std::strlen(buffer));
        Check(clock.FormatDailyHundredths() == std::string_view(buffer, length));
        CChrono again;
        Check(again.ParseClock(buffer));
        Check(again == clock);
    } else {
        Check(clock == sentinel);
    }

    CChrono results = sentinel;
    if (!results.ParseSecondsHundredths(text)) Check(results == sentinel);

    // Split the input as a reader's date and time fields.
    const std::size_t cut = size / 2;
    const int hundredths = size > 0 ? data[0] : 0;
    CChrono stamp = sentinel;
    if (!stamp.SetFromReaderStamp(text.substr(0, cut), text.substr(cut), hundredths)) {
        Check(stamp == sentinel);
    } else {
        (void)stamp.FormatDateLong();
        (void)stamp.FormatAbsClockHundredths();
    }
    CChrono daily = sentinel;
    if (daily.SetFromReaderTime(text, hundredths)) {
        (void)daily.FormatDailyWithDays();
        (void)daily.FormatDailyCompact();
    } else {
        Check(daily == sentinel);
    }
    return 0;
}
