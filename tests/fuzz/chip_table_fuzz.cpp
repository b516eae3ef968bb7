// Feeds arbitrary bytes to the table reader as a file, then checks that the table it publishes
// is well formed and answers its own lookups.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "chips/chip_table.h"

namespace {

// One file per fuzzing process, reused for every input and removed at exit. It lives in memory
// when it can: rewriting a truncated file on a journalled disk flushes it on every close, which
// slows fuzzing a hundredfold.
std::filesystem::path ScratchFolder() {
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

struct ScratchFile {
    std::string path = (ScratchFolder() / ("winorvex-chip-table-fuzz-" + std::to_string(::getpid()) + ".dtb")).string();
    ~ScratchFile() { std::remove(path.c_str()); }
};

const std::string& ScratchPath() {
    static const ScratchFile file;
    return file.path;
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(ScratchPath().c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace winorvex;
    if (!WriteInput(data, size)) return 0;
    const bool loaded = ReadChipTableFile(ScratchPath());
    const auto table = ChipTableSnapshot();
    Check(table != nullptr);
    Check(loaded || table->Count() == 0);
    Check(ChipTableCount() == table->Count());

    std::int32_t bib = 0;
    FindBib("0580031A2B3C", bib);
    FindBib(std::string_view(reinterpret_cast<const char*>(data), size), bib);
    Check(!FindChip(12).empty());
    Check(FindChip(-1) == "65535" || table->FindByBib(65535) != nullptr);
    for (const auto& entry : table->Entries()) {
        Check(!entry.chip.empty() && entry.chip.size() <= ChipTable::kMaxChipLength);
        Check(entry.chip.find('\0') == std::string::npos);
        Check(entry.bib >= 0);
    }
    if (table->Count() > 0) {
        // The first entry always wins for its own chip and, when its bib fits, for its bib.
        const auto& first = table->Entries()[0];
        Check(FindBib(first.chip, bib) && bib == first.bib);
        if (first.bib <= 0xFFFF) Check(FindChip(first.bib) == first.chip);
    }
    return 0;
}
