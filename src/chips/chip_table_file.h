#pragma once
// Reading a chip table file into entries (no publication; see chip_table_registry.cpp).
#include <string>
#include <vector>

#include "chips/chip_table.h"

namespace winorvex {

// Lines are read in pieces of at most 510 bytes, line end included (a longer line arrives as
// several lines); CR is a blank, and a line ends for parsing at its first NUL byte. Entry bytes are kept
// unconverted. Fails when the file cannot be opened or read, has fewer than 3 bytes, or starts
// with a UTF-16 byte-order mark; a UTF-8 byte-order mark is skipped.
bool ReadChipTableEntries(const std::string& path, std::vector<ChipTable::Entry>& entries);
// The same, with what the file's lines gave (see ChipTableFileStats).
bool ReadChipTableEntries(const std::string& path, std::vector<ChipTable::Entry>& entries, ChipTableFileStats& stats);

}  // namespace winorvex
