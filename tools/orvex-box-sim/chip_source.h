#pragma once
// Which chip each simulated read carries: a fixed list walked in order, with deterministic
// repeats of the previous chip and optional seen markers.
#include <cstdint>
#include <string>
#include <vector>

#include "frame.h"

namespace winorvex::sim {

// The n-th generated chip (n from 1): "0580" followed by n as eight uppercase hexadecimal digits.
ChipId GeneratedChip(uint32_t n);
std::vector<ChipId> GeneratedChips(uint32_t count);

// Reads one chip per line: blank lines and lines starting with '#' are skipped; every other line
// must hold exactly twelve hexadecimal digits (blanks around them allowed). False with a reason
// naming the faulty line otherwise, or when the file holds no chip.
bool LoadChipFile(const std::string& path, std::vector<ChipId>* chips, std::string* error);

// Small, fast and reproducible: the same seed gives the same run on every machine.
class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }

private:
    uint64_t state_;
};

struct ChipPick {
    const ChipId* chip = nullptr;
    SeenMarker marker = SeenMarker::kNone;
};

class ChipSource {
public:
    // `repeat_percent` (0-100) of the reads repeat the previous chip instead of moving on. With
    // `markers`, a chip's first read of a passage carries "FS" and its repeats carry "LS".
    ChipSource(std::vector<ChipId> chips, int repeat_percent, bool markers, uint64_t seed);

    ChipPick Next();
    std::size_t size() const { return chips_.size(); }

private:
    std::vector<ChipId> chips_;
    uint64_t repeat_threshold_;  // compared with a 32-bit draw
    bool markers_;
    SplitMix64 rng_;
    std::size_t next_ = 0;
    std::size_t last_ = 0;
    bool has_last_ = false;
};

}  // namespace winorvex::sim
