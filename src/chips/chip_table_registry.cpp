// The process-wide table and its publication.
//
// Workers look chips up for every read, so a lookup must not take a lock or bump a shared
// reference count. Each thread keeps its own reference to the table it last used, together with
// the generation it was published under; a lookup only compares that generation with the
// current one (one atomic load) and refreshes its reference, under the publication lock, when a
// reload happened. A reader therefore always holds the table it reads, which keeps the table
// alive until it moves on: no lookup can touch freed memory, and a table is only ever published
// once fully built.
#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include "chips/chip_table.h"
#include "chips/chip_table_file.h"
#include "core/folders.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

const std::shared_ptr<const ChipTable>& EmptyTable() {
    static const std::shared_ptr<const ChipTable> empty = BuildChipTable({});
    return empty;
}

struct Registry {
    // Serialises whole loads and clears, so two reloads never interleave their publications.
    std::mutex loadMutex;
    // Guards `current` only; held for a pointer copy, never across file or network work.
    std::mutex publishMutex;
    std::shared_ptr<const ChipTable> current = EmptyTable();
    std::atomic<std::uint64_t> generation{1};

    void Publish(std::shared_ptr<const ChipTable> table) {
        std::shared_ptr<const ChipTable> previous;
        {
            std::lock_guard lock(publishMutex);
            previous = std::exchange(current, std::move(table));
            generation.fetch_add(1, std::memory_order_release);
        }
        // `previous` is released here, outside the lock; readers still holding it keep it alive.
    }

    std::shared_ptr<const ChipTable> Current() {
        std::lock_guard lock(publishMutex);
        return current;
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

struct ThreadView {
    std::uint64_t generation = 0;  // 0: never loaded by this thread
    std::shared_ptr<const ChipTable> table;
};

// The table as this thread sees it now; cheap when nothing was reloaded since its last lookup.
const ChipTable& TableForThisThread() {
    thread_local ThreadView view;
    Registry& registry = TheRegistry();
    if (registry.generation.load(std::memory_order_acquire) != view.generation) {
        std::shared_ptr<const ChipTable> fresh;
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(registry.publishMutex);
            fresh = registry.current;
            generation = registry.generation.load(std::memory_order_relaxed);
        }
        // The table this thread let go of may be the last reference: free it outside the lock.
        view.table = std::move(fresh);
        view.generation = generation;
    }
    return *view.table;
}

// Reads and publishes one file; count receives the size of the table it published, which a
// racing reload may already have replaced by the time the caller reports it.
bool ReadAndPublish(const std::string& path, std::size_t& count, ChipTableFileStats& stats) {
    Registry& registry = TheRegistry();
    std::lock_guard load(registry.loadMutex);
    registry.Publish(EmptyTable());
    count = 0;
    std::vector<ChipTable::Entry> entries;
    if (!ReadChipTableEntries(path, entries, stats)) return false;
    count = entries.size();
    if (count > 0) registry.Publish(BuildChipTable(std::move(entries)));
    return true;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

bool ReadChipTableFile(const std::string& path) {
    std::size_t count = 0;
    ChipTableFileStats stats;
    return ReadAndPublish(path, count, stats);
}

std::string ChipTableStatsLine(const ChipTableFileStats& stats) {
    const int taken = static_cast<int>(stats.taken);
    const int rejected = static_cast<int>(stats.rejected);
    const bool english = CurrentLanguage() == Language::English;
    std::string line;
    if (stats.LooksBinary()) {
        line = english ? "### Chip table file looks binary, not a text table: "
                       : "### Le fichier de table de correspondance semble binaire, pas une table texte : ";
    } else {
        line = english ? "+++ Chip table: " : "+++ Table de correspondance : ";
    }
    line += english ? Format("%d line%s taken, %d rejected", taken, taken > 1 ? "s" : "", rejected)
                    : Format("%d ligne%s prise%s, %d rejetée%s", taken, taken > 1 ? "s" : "", taken > 1 ? "s" : "",
                             rejected, rejected > 1 ? "s" : "");
    if (stats.firstRejectedLine > 0) {
        line += Format(Tr(" (première rejetée : ligne %d)", " (first rejected: line %d)"),
                       static_cast<int>(stats.firstRejectedLine));
    }
    if (stats.nulBytes) line += Tr(", octets NUL", ", NUL bytes");
    return line;
}

void ClearChipTable() {
    Registry& registry = TheRegistry();
    std::lock_guard load(registry.loadMutex);
    registry.Publish(EmptyTable());
}

std::size_t ChipTableCount() {
    return TableForThisThread().Count();
}

bool FindBib(std::string_view chip, std::int32_t& bib) {
    return TableForThisThread().FindBib(chip, bib);
}

std::string FindChip(int bib) {
    const auto bib16 = static_cast<std::uint16_t>(bib);
    if (const ChipTable::Entry* entry = TableForThisThread().FindByBib(bib16)) return entry->chip;
    return Format("%d", static_cast<int>(bib16));
}

std::shared_ptr<const ChipTable> ChipTableSnapshot() {
    return TheRegistry().Current();
}

const ChipTable& ChipTableForThisThread() {
    return TableForThisThread();
}

bool LoadChipTableFrom(const std::string& dataFolder, const std::string& programFolder, const std::string& fileName,
                       std::string& message) {
    std::string detail;
    return LoadChipTableFrom(dataFolder, programFolder, fileName, message, detail);
}

bool LoadChipTableFrom(const std::string& dataFolder, const std::string& programFolder, const std::string& fileName,
                       std::string& message, std::string& detail) {
    detail.clear();
    static constexpr const char* kDefaultName = "ChipTable.dtb";
    std::string candidates[4];
    std::size_t count = 0;
    for (const std::string* folder : {&dataFolder, &programFolder}) {
        if (folder->empty()) continue;
        candidates[count++] = *folder + "/" + kDefaultName;
        candidates[count++] = *folder + "/" + fileName;
    }
    const std::string* found = nullptr;
    for (std::size_t i = 0; i < count && found == nullptr; ++i) {
        if (IsRegularFile(candidates[i])) found = &candidates[i];
    }
    if (found == nullptr) {
        message = Format(Tr("### Pas de table de correspondance trouvée (fichier ChipTable.dtb ou %s)",
                            "### No chip translation table found (file ChipTable.dtb or %s)"),
                         fileName.c_str());
        return false;
    }
    std::size_t loaded = 0;
    ChipTableFileStats stats;
    if (!ReadAndPublish(*found, loaded, stats)) {
        message = Format(Tr("### Erreur chargement du fichier %s", "### Error loading file"), found->c_str());
        return false;
    }
    message = Format(Tr("+++ Table de correspondance chargée (%d entrées). Fichier %s",
                        "+++ Chip translation table loaded (%d entries). File %s"),
                     static_cast<int>(loaded), found->c_str());
    detail = ChipTableStatsLine(stats);
    return true;
}

bool LoadChipTable(const std::string& fileName, std::string& message) {
    return LoadChipTableFrom(GetDataFolder(), GetProgramFolder(), fileName, message);
}

bool LoadChipTable(const std::string& fileName, std::string& message, std::string& detail) {
    return LoadChipTableFrom(GetDataFolder(), GetProgramFolder(), fileName, message, detail);
}

}  // namespace winorvex
