#pragma once
// The most recent chip reads of one box, used to drop a chip read again within the repeat gap.
// Fixed storage (no allocation per read); most recent identifier first, one element per
// identifier, identifiers compared exactly (case-sensitive).
//
// Every list registers itself so that ClearAllLastReadLists() can empty all of them from another
// thread (forgetting all detections). A small per-list mutex makes that safe: its owner worker is
// the only other user, so the lock is uncontended in practice and costs a few nanoseconds per read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/chrono.h"

namespace winorvex {

class CLastBoxDetectionList {
public:
    static constexpr std::size_t kCapacity = 50;
    // Longer identifiers are never stored nor found: decoded identifiers are at most 12 characters.
    static constexpr std::size_t kMaxIdentifier = 31;

    CLastBoxDetectionList();
    ~CLastBoxDetectionList();
    CLastBoxDetectionList(const CLastBoxDetectionList&) = delete;
    CLastBoxDetectionList& operator=(const CLastBoxDetectionList&) = delete;

    // Looks the identifier up and makes it the most recent element with time `time` (the least
    // recent element falls off past kCapacity). Returns true and sets `previous` when it was there.
    bool Touch(std::string_view identifier, const CChrono& time, CChrono& previous);
    bool Find(std::string_view identifier, CChrono& time) const;
    void Clear();
    std::size_t Count() const;
    // Identifier at position `index` from the most recent (0); empty past the end.
    std::string IdentifierAt(std::size_t index) const;

private:
    struct Element {
        CChrono time;
        std::uint8_t length = 0;
        char identifier[kMaxIdentifier + 1] = {};
    };
    int IndexOfLocked(std::string_view identifier) const;  // position in order_, -1 when absent

    mutable std::mutex mutex_;
    std::array<Element, kCapacity> slots_{};
    std::array<std::uint8_t, kCapacity> order_{};  // slot numbers, most recent first
    std::size_t count_ = 0;
};

// Empties the last-read list of every box (all detections forgotten). Safe from any thread.
void ClearAllLastReadLists();

}  // namespace winorvex
