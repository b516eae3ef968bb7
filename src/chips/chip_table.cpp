#include "chips/chip_table.h"

#include <limits>
#include <utility>

namespace winorvex {

namespace {

constexpr std::uint32_t kNoEntry = std::numeric_limits<std::uint32_t>::max();

// ASCII-only folding, like the C runtime's case-insensitive comparison in the "C" locale: bytes
// above 0x7F compare exactly.
constexpr unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

std::uint64_t FoldedHash(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a over the folded bytes
    for (const char ch : text) {
        h ^= FoldAscii(static_cast<unsigned char>(ch));
        h *= 0x100000001b3ULL;
    }
    h ^= h >> 29;  // FNV's low bits are weak for short keys; the index masks them
    return h;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

}  // namespace

struct ChipTable::Impl {
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t entry = kNoEntry;
    };

    std::vector<Entry> entries;
    // Open addressing, linear probing, at most half full; holds only the first entry of each
    // chip (case folded), which is what "first entry wins" asks of a lookup.
    std::vector<Slot> chipSlots;
    std::size_t slotMask = 0;
    // Same scheme keyed by bib (only bibs that fit 16 bits are ever looked up): the first entry
    // of each bib.
    std::vector<std::uint32_t> bibSlots;

    std::size_t FindBibSlot(std::uint16_t bib) const {
        for (std::size_t i = (bib * std::size_t{0x9E3779B1u} >> 7) & slotMask;; i = (i + 1) & slotMask) {
            const std::uint32_t entry = bibSlots[i];
            if (entry == kNoEntry || entries[entry].bib == bib) return i;
        }
    }

    // The slot holding the chip, or the free slot where it would go. The index is never full,
    // so the probe always ends.
    std::size_t FindSlot(std::string_view chip, std::uint64_t hash) const {
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t i = static_cast<std::size_t>(hash) & slotMask;; i = (i + 1) & slotMask) {
            const Slot& slot = chipSlots[i];
            if (slot.entry == kNoEntry) return i;
            if (slot.hash == tag && EqualsIgnoringCase(entries[slot.entry].chip, chip)) return i;
        }
    }

    void BuildIndexes() {
        if (entries.empty()) return;
        std::size_t capacity = 16;
        while (capacity < entries.size() * 2) capacity <<= 1;
        chipSlots.assign(capacity, Slot{});
        slotMask = capacity - 1;
        bibSlots.assign(capacity, kNoEntry);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            const std::uint64_t hash = FoldedHash(e.chip);
            Slot& slot = chipSlots[FindSlot(e.chip, hash)];
            if (slot.entry == kNoEntry) {
                slot.hash = static_cast<std::uint32_t>(hash >> 32);
                slot.entry = static_cast<std::uint32_t>(i);
            }
            if (e.bib >= 0 && e.bib <= 0xFFFF) {
                std::uint32_t& bibSlot = bibSlots[FindBibSlot(static_cast<std::uint16_t>(e.bib))];
                if (bibSlot == kNoEntry) bibSlot = static_cast<std::uint32_t>(i);
            }
        }
    }
};

ChipTable::ChipTable(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChipTable::~ChipTable() = default;

std::size_t ChipTable::Count() const {
    return impl_->entries.size();
}

std::span<const ChipTable::Entry> ChipTable::Entries() const {
    return impl_->entries;
}

bool ChipTable::FindBib(std::string_view chip, std::int32_t& bib) const {
    if (impl_->entries.empty()) return false;
    bib = -1;
    const Impl::Slot& slot = impl_->chipSlots[impl_->FindSlot(chip, FoldedHash(chip))];
    if (slot.entry == kNoEntry) return false;
    bib = impl_->entries[slot.entry].bib;
    return true;
}

const ChipTable::Entry* ChipTable::FindByBib(std::uint16_t bib) const {
    if (impl_->bibSlots.empty()) return nullptr;
    const std::uint32_t index = impl_->bibSlots[impl_->FindBibSlot(bib)];
    return index == kNoEntry ? nullptr : &impl_->entries[index];
}

std::shared_ptr<const ChipTable> BuildChipTable(std::vector<ChipTable::Entry> entries) {
    auto impl = std::make_unique<ChipTable::Impl>();
    // Indexes hold 32-bit positions; a table file can never come near that many lines in
    // practice, but a cut table is better than a wrapped index.
    if (entries.size() >= kNoEntry) entries.resize(kNoEntry - 1);
    impl->entries = std::move(entries);
    impl->BuildIndexes();
    return std::make_shared<const ChipTable>(std::move(impl));
}

}  // namespace winorvex
