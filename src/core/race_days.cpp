#include <charconv>

#include "core/local_time.h"
#include "core/settings.h"
#include "core/station_settings.h"

namespace winorvex {

namespace {

std::uint32_t DateNumber(const std::string& yyyymmdd) {
    std::uint32_t value = 0;
    const auto* end = yyyymmdd.data() + yyyymmdd.size();
    const auto result = std::from_chars(yyyymmdd.data(), end, value);
    return (result.ec == std::errc() && result.ptr == end) ? value : 0;
}

}  // namespace

int RaceDays::IndexOf(std::uint32_t yyyymmdd) const {
    for (int i = 0; i < static_cast<int>(dates.size()); ++i) {
        if (dates[static_cast<std::size_t>(i)].load(std::memory_order_acquire) == yyyymmdd) return i;
    }
    return -1;
}

std::string RaceDays::DateText(int index) const {
    if (index < 0 || index >= static_cast<int>(dates.size())) return {};
    const std::uint32_t value = dates[static_cast<std::size_t>(index)].load(std::memory_order_acquire);
    return value == 0 ? std::string() : std::to_string(value);
}

RaceDays& RaceDayDates() {
    static RaceDays days;
    return days;
}

void ComputeRaceDays() {
    const int daysToAdd = Settings().daysToAdd.load();
    const int first = daysToAdd >= 1 ? -daysToAdd : 0;
    auto& dates = RaceDayDates().dates;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        dates[i].store(DateNumber(DateInDaysText(first + static_cast<int>(i))), std::memory_order_release);
    }
}

int TrackDayOffset() {
    const std::uint32_t today = DateNumber(TodayText());
    const int index = today == 0 ? -1 : RaceDayDates().IndexOf(today);
    const int offset = index < 0 ? 0 : index;
    if (Settings().daysToAdd.exchange(offset) != offset) WriteSettingInt(keys::kSettings, "GDaysToAdd", offset);
    return offset;
}

}  // namespace winorvex
