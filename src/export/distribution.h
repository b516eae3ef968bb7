#pragma once
// The per-detector distribution list of the export dialog, as texts: six columns, one row per
// detector line, each row holding its own copy of the line.
#include <array>
#include <string>
#include <vector>

#include "export/export_settings.h"
#include "export/pass_stats.h"

namespace winorvex {

inline constexpr std::size_t kDistributionColumns = 6;

// "Dét." "MaxPass" "Nb" "Meill. Temps" "Dossard" "Handicap" (or their English forms).
std::array<std::string, kDistributionColumns> DistributionHeadings();

struct DistributionRow {
    CStatLineEntry line;
    std::array<std::string, kDistributionColumns> cells;
};

// detector, maxPass, detections, first time in the display mode (passing time in modes 1 and
// 2), first bib, handicap.
DistributionRow MakeDistributionRow(const CStatLineEntry& line, DisplayMode mode);
std::vector<DistributionRow> MakeDistributionRows(const std::vector<DetectorPasses>& statistics, DisplayMode mode);

}  // namespace winorvex
