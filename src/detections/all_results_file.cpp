// Writing every active record into one file (the export of all detections).
#include <cerrno>
#include <string>
#include <system_error>

#include "core/log.h"
#include "core/texts.h"
#include "detections/detection_store.h"
#include "detections/line_file_writer.h"
#include "detections/result_list.h"

namespace winorvex {
namespace {

void LogExportError(const std::string& path, int error) {
    LogF(0, Tr("Erreur d'écriture du fichier d'export %s : %s", "Error writing export file %s : %s"), path.c_str(),
         std::generic_category().message(error).c_str());
}

}  // namespace

bool WriteAllResults(const std::string& path) {
    // Written beside the target and renamed over it at the end, so that a failure leaves
    // the previous export whole instead of half a file.
    LineFileWriter writer(path);
    if (!writer.Open()) {
        LogExportError(path, writer.Error());
        return false;
    }
    {
        // One state of the list, copied under its lock; the writing happens outside it, so the
        // box workers never wait for the disk of an export.
        const std::vector<CRixResult> records = CopyActiveResults();
        int ordinal = 0;
        for (const CRixResult& record : records) writer.AddRecordLine(++ordinal, record);
    }
    if (!writer.Commit()) {
        LogExportError(path, writer.Error());
        return false;
    }
    return true;
}

}  // namespace winorvex
