#include "export/export_files.h"

#include <string>
#include <system_error>

#include "core/log.h"
#include "core/texts.h"
#include "detections/line_file_writer.h"
#include "export/time_texts.h"

namespace winorvex {

namespace {

bool Finish(LineFileWriter& writer) {
    if (writer.Commit()) return true;
    LogF(0, Tr("## Erreur d'écriture du fichier %s : %s", "## Error writing file %s: %s"), writer.Path().c_str(),
         std::generic_category().message(writer.Error()).c_str());
    return false;
}

bool Open(LineFileWriter& writer) {
    if (writer.Open()) return true;
    LogF(0, Tr("## Impossible de créer le fichier %s : %s", "## Cannot create file %s: %s"), writer.Path().c_str(),
         std::generic_category().message(writer.Error()).c_str());
    return false;
}

}  // namespace

bool WriteResultFile(const std::string& path, const WorkResultPointers& results) {
    LineFileWriter writer(path);
    if (!Open(writer)) return false;
    int ordinal = 0;
    for (const CWorkResult* result : results) {
        if (result->IsActive()) writer.AddRecordLine(++ordinal, *result);
    }
    return Finish(writer);
}

bool WritePassingFile(const std::string& path, const WorkResultPointers& results, const CChrono& handicap, bool compact,
                      int* skippedAbsolute) {
    if (skippedAbsolute != nullptr) *skippedAbsolute = 0;
    LineFileWriter writer(path);
    if (!Open(writer)) return false;
    if (compact) {
        writer.AddText("dossard\ttemps\tcommentaire\r\n");
        writer.AddText("dossard\tperformancen\tcommentaire\r\n");
        std::string line;
        for (const CWorkResult* result : results) {
            if (!result->IsActive()) continue;
            if (result->IsAbsolute()) {
                if (skippedAbsolute != nullptr) ++*skippedAbsolute;
                continue;
            }
            line.assign(result->bib);
            line += '\t';
            line += CompactTimeText(PassingTime(result->time, handicap));
            line += "\t\r\n";
            writer.AddText(line);
        }
        return Finish(writer);
    }
    int ordinal = 0;
    for (const CWorkResult* result : results) {
        if (!result->IsActive()) continue;
        if (result->IsAbsolute()) {
            writer.AddRecordLine(++ordinal, *result);
            continue;
        }
        writer.AddRecordLine(++ordinal, *result, PassingTimeText(PassingTime(result->time, handicap)));
    }
    return Finish(writer);
}

}  // namespace winorvex
