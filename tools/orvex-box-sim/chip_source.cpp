#include "chip_source.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace winorvex::sim {

ChipId GeneratedChip(uint32_t n) {
    static constexpr char kUpperHex[] = "0123456789ABCDEF";
    ChipId chip{'0', '5', '8', '0'};
    for (int i = 11; i >= 4; --i) {
        chip[static_cast<std::size_t>(i)] = kUpperHex[n & 0xfu];
        n >>= 4;
    }
    return chip;
}

std::vector<ChipId> GeneratedChips(uint32_t count) {
    std::vector<ChipId> chips;
    chips.reserve(count);
    for (uint32_t n = 1; n <= count; ++n) chips.push_back(GeneratedChip(n));
    return chips;
}

bool LoadChipFile(const std::string& path, std::vector<ChipId>* chips, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot open chip file " + path;
        return false;
    }
    chips->clear();
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        const auto last = line.find_last_not_of(" \t\r");
        const std::string text = line.substr(first, last - first + 1);
        bool hex = text.size() == 12;
        for (const char c : text) hex = hex && std::isxdigit(static_cast<unsigned char>(c));
        if (!hex) {
            *error = path + ":" + std::to_string(number) + ": a chip must be 12 hexadecimal digits: " + text;
            return false;
        }
        ChipId chip{};
        for (std::size_t i = 0; i < chip.size(); ++i) chip[i] = text[i];
        chips->push_back(chip);
    }
    if (chips->empty()) {
        *error = "no chip in " + path;
        return false;
    }
    return true;
}

ChipSource::ChipSource(std::vector<ChipId> chips, int repeat_percent, bool markers, uint64_t seed)
    : chips_(std::move(chips)),
      repeat_threshold_((static_cast<uint64_t>(std::clamp(repeat_percent, 0, 100)) << 32) / 100),
      markers_(markers),
      rng_(seed) {
    if (chips_.empty()) chips_.push_back(GeneratedChip(1));
}

ChipPick ChipSource::Next() {
    const bool repeat = has_last_ && repeat_threshold_ > 0 && (rng_.Next() & 0xffffffffull) < repeat_threshold_;
    ChipPick pick;
    if (repeat) {
        pick.chip = &chips_[last_];
        pick.marker = markers_ ? SeenMarker::kLastSeen : SeenMarker::kNone;
        return pick;
    }
    last_ = next_;
    has_last_ = true;
    next_ = (next_ + 1) % chips_.size();
    pick.chip = &chips_[last_];
    pick.marker = markers_ ? SeenMarker::kFirstSeen : SeenMarker::kNone;
    return pick;
}

}  // namespace winorvex::sim
