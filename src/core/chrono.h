#pragma once
// A time value: whole seconds and milliseconds. The caller knows which kind it holds:
// absolute (seconds since 1970, UTC, truncated to 32 bits) or daily (seconds since local
// midnight of the first race day, 24 hours more per later race day). All-zero means "no time".
#include <cstdint>
#include <string>
#include <string_view>

namespace winorvex {

class CChrono {
public:
    enum Kind { kUnset = 0, kNowAbs = 1, kNowDaily = 2 };

    constexpr CChrono() = default;
    // Stored unchanged, without normalising: 1000 ms or more stays in the millisecond field.
    constexpr CChrono(std::int32_t seconds, std::uint16_t milliseconds) : seconds_(seconds), ms_(milliseconds) {}
    explicit CChrono(Kind kind);

    std::int32_t Seconds() const { return seconds_; }
    std::uint16_t Milliseconds() const { return ms_; }
    int Hundredths() const { return ms_ / 10; }

    void SetNowAbs();
    void SetNowDaily();
    void Clear() {
        seconds_ = 0;
        ms_ = 0;
    }
    bool IsSet() const { return seconds_ != 0 || ms_ != 0; }

    // Text setters: true on success; on failure the value is left as it was.
    bool SetFromReaderStamp(std::string_view dateYYYYMMDD, std::string_view timeHHMMSS, int hundredths);
    bool SetFromReaderTime(std::string_view timeHHMMSS, int hundredths);
    bool ParseClock(std::string_view text);
    bool ParseSecondsHundredths(std::string_view text);

    void AbsToDaily();
    void DailyToAbs();

    friend CChrono operator-(const CChrono& a, const CChrono& b);
    friend CChrono operator+(const CChrono& a, const CChrono& b);
    friend bool operator==(const CChrono& a, const CChrono& b) { return a.seconds_ == b.seconds_ && a.ms_ == b.ms_; }
    // Unset values order after every set value; two unset values are equal.
    friend bool operator<(const CChrono& a, const CChrono& b);
    friend bool operator<=(const CChrono& a, const CChrono& b);
    friend bool operator>(const CChrono& a, const CChrono& b);
    friend bool operator>=(const CChrono& a, const CChrono& b);

    // Text forms (French day and month names, UTF-8, whatever the interface language).
    std::string FormatDateLong() const;            // absolute: "Sam 18 Mai 2024"
    std::string FormatDateShort() const;           // absolute: "18/05/2024"
    std::string FormatAbsClockHundredths() const;  // absolute: "hh:mm:ss.cc"
    std::string FormatAbsClock() const;            // absolute: "hh:mm:ss"
    std::string FormatDailyHundredths() const;     // daily: "26:05:00.30"
    std::string FormatDailyRoundedUp() const;      // daily, seconds rounded up
    std::string FormatDailyWithDays() const;       // daily, "+24h 02:05:01"
    std::string FormatDailyCompact() const;        // daily, rounded up, no ':' nor leading '0'
    std::string FormatDailyTruncated() const;      // daily, milliseconds ignored

    // Allocation-free form of FormatDailyHundredths for the per-line path; returns the length
    // written (buffer of at least 24 bytes), always zero-terminated.
    std::size_t FormatDailyHundredthsTo(char* buffer, std::size_t capacity) const;

private:
    std::int32_t seconds_ = 0;
    std::uint16_t ms_ = 0;
};

}  // namespace winorvex
