#include "export/distribution.h"

#include "core/text_format.h"
#include "core/texts.h"
#include "export/time_texts.h"

namespace winorvex {

std::array<std::string, kDistributionColumns> DistributionHeadings() {
    return {Tr("Dét.", "Det."),   "MaxPass", Tr("Nb", "Count"), Tr("Meill. Temps", "Best time"),
            Tr("Dossard", "Bib"), "Handicap"};
}

DistributionRow MakeDistributionRow(const CStatLineEntry& line, DisplayMode mode) {
    DistributionRow row;
    row.line = line;
    row.cells = {line.detector,
                 Format("%d", line.maxPass),
                 Format("%d", line.detections),
                 DisplayTimeText(line.firstTime, line.handicap, mode),
                 line.firstBib,
                 line.handicap.FormatDailyHundredths()};
    return row;
}

std::vector<DistributionRow> MakeDistributionRows(const std::vector<DetectorPasses>& statistics, DisplayMode mode) {
    std::vector<DistributionRow> rows;
    rows.reserve(statistics.size());
    for (const DetectorPasses& entry : statistics) rows.push_back(MakeDistributionRow(entry.line, mode));
    return rows;
}

}  // namespace winorvex
