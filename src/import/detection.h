#pragma once
// What a reader-log search finds: detections and the operator's markers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/chrono.h"

namespace winorvex {

// One found detection. Its identifier lives inside the object: a search may find a million of
// them, and a found detection then costs its 32 bytes and no allocation of its own.
class CDetection {
public:
    static constexpr std::size_t kIdentifierCapacity = 15;  // a chip is 12 characters, a bib fewer

    CDetection() = default;
    CDetection(const CChrono& daily, const CChrono& absolute, std::string_view identifier)
        : dailyTime(daily), absoluteTime(absolute) {
        SetIdentifier(identifier);
    }

    CChrono dailyTime;     // reader time of day, no day offset
    CChrono absoluteTime;  // reader date and time as a local calendar instant

    std::string_view Identifier() const { return {identifier_, length_}; }
    // Longer texts are cut to the capacity.
    void SetIdentifier(std::string_view identifier) {
        length_ = static_cast<std::uint8_t>(identifier.size() < kIdentifierCapacity ? identifier.size()
                                                                                    : kIdentifierCapacity);
        if (length_ > 0) std::memcpy(identifier_, identifier.data(), length_);
    }

private:
    char identifier_[kIdentifierCapacity] = {};
    std::uint8_t length_ = 0;
};

// A marker the operator had the reader write into its log ("KMark-" lines).
struct COrvexMarker {
    std::string date;   // yyyymmdd
    std::string time;   // hhmmss
    std::string label;  // the rest of the line
};

}  // namespace winorvex
