#pragma once
// The chip translation table: chip identifier text -> bib number, first entry wins, letter case
// ignored. One table per process. Lookups are O(1) and lock-free for readers: a reload builds a
// new table and publishes it whole, so a worker never sees freed or half-built data.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace winorvex {

// One immutable loaded table. Entries keep the file order; duplicates are kept.
class ChipTable;

// Finds the table file (data folder, then program folder; "ChipTable.dtb" first, then the given
// name) and loads it. message receives the log text of the outcome. A missing file keeps the
// previous table; a file that cannot be read leaves the table empty.
bool LoadChipTable(const std::string& fileName, std::string& message);
bool ReadChipTableFile(const std::string& path);
void ClearChipTable();
std::size_t ChipTableCount();
// Found: bib set. Empty table: not found and bib untouched; otherwise bib is -1 when not found.
bool FindBib(std::string_view chip, std::int32_t& bib);
// First chip whose bib equals the bib taken as an unsigned 16-bit number, else the bib as "%d".
std::string FindChip(int bib);

// The current table, for callers that make several lookups on one consistent table.
std::shared_ptr<const ChipTable> ChipTableSnapshot();

class ChipTable {
public:
    struct Entry {
        std::string chip;  // as in the file, at most 63 characters
        std::int32_t bib = 0;
    };
    std::size_t Count() const;
    bool FindBib(std::string_view chip, std::int32_t& bib) const;
    const Entry* FindByBib(std::uint16_t bib) const;
    // Implementation details (entries, indexes) are private to chips/.
    struct Impl;
    explicit ChipTable(std::unique_ptr<Impl> impl);
    ~ChipTable();

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace winorvex
