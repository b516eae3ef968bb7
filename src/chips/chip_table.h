#pragma once
// The chip translation table: chip identifier text -> bib number, first entry wins, letter case
// ignored. One table per process. Lookups are O(1) and lock-free for readers: a reload builds a
// new table and publishes it whole, so a worker never sees freed or half-built data.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

// One immutable loaded table. Entries keep the file order; duplicates are kept.
class ChipTable;

// What the lines of a table file gave. Blank lines count as neither.
struct ChipTableFileStats {
    std::size_t taken = 0;              // line pieces that gave an entry
    std::size_t rejected = 0;           // non-blank line pieces that gave none
    std::size_t firstRejectedLine = 0;  // line number (from 1) of the first rejected one; 0: none
    bool nulBytes = false;              // the file holds NUL bytes
    // Not a text table: more rejected than taken, or NUL bytes.
    bool LooksBinary() const { return nulBytes || rejected > taken; }
};
// The line logged after the load message: "+++ Chip table: 120 lines taken, 3 rejected (first
// rejected: line 17)", or "### Chip table file looks binary: ..." for a file that is mostly binary.
std::string ChipTableStatsLine(const ChipTableFileStats& stats);

// Finds the table file (data folder, then program folder; "ChipTable.dtb" first, then the given
// name) and loads it. message receives the log text of the outcome. A missing file keeps the
// previous table; a file that cannot be read leaves the table empty. detail receives the
// ChipTableStatsLine of a file that was read, and is emptied otherwise: log it after message.
bool LoadChipTable(const std::string& fileName, std::string& message);
bool LoadChipTable(const std::string& fileName, std::string& message, std::string& detail);
// Same search with the two folders given; an empty folder is not searched (it would otherwise
// mean the root of the file system).
bool LoadChipTableFrom(const std::string& dataFolder, const std::string& programFolder, const std::string& fileName,
                       std::string& message);
bool LoadChipTableFrom(const std::string& dataFolder, const std::string& programFolder, const std::string& fileName,
                       std::string& message, std::string& detail);
// Empties the published table, then reads the file and publishes the new table whole. While it
// runs, lookups see the previous table or the empty one, never a partial one. Fails (table left
// empty) when the file cannot be read, has fewer than 3 bytes or starts with a UTF-16 mark.
bool ReadChipTableFile(const std::string& path);
void ClearChipTable();
std::size_t ChipTableCount();
// Found: bib set. Empty table: not found and bib untouched; otherwise bib is -1 when not found.
bool FindBib(std::string_view chip, std::int32_t& bib);
// First chip whose bib equals the bib taken as an unsigned 16-bit number, else that 16-bit
// number as "%d".
std::string FindChip(int bib);

// The current table, for callers that make several lookups on one consistent table. Never null:
// an empty table when nothing is loaded.
std::shared_ptr<const ChipTable> ChipTableSnapshot();
// The same for the per-read path of the workers: the table this thread holds, refreshed only when
// a reload happened since its last use, so a read takes no lock and touches no shared count.
// Valid until this thread's next call of this function or of ChipTableCount, FindBib, FindChip.
const ChipTable& ChipTableForThisThread();

class ChipTable {
public:
    // Longest chip text kept in an entry; longer fields are cut.
    static constexpr std::size_t kMaxChipLength = 63;

    struct Entry {
        std::string chip;  // as in the file, at most 63 characters
        std::int32_t bib = 0;
    };
    std::size_t Count() const;
    bool FindBib(std::string_view chip, std::int32_t& bib) const;
    const Entry* FindByBib(std::uint16_t bib) const;
    // All entries in file order.
    std::span<const Entry> Entries() const;
    // Implementation details (entries, indexes) are private to chips/.
    struct Impl;
    explicit ChipTable(std::unique_ptr<Impl> impl);
    ~ChipTable();
    ChipTable(const ChipTable&) = delete;
    ChipTable& operator=(const ChipTable&) = delete;

private:
    std::unique_ptr<Impl> impl_;
};

// Builds a table with its lookup indexes from entries in file order.
std::shared_ptr<const ChipTable> BuildChipTable(std::vector<ChipTable::Entry> entries);

// Turns one line of a table file into an entry; false when the line gives none.
bool ParseChipTableLine(std::string_view line, ChipTable::Entry& entry);

}  // namespace winorvex
