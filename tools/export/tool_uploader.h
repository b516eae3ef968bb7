#pragma once
// The uploader behind --ftp. Null while this build has no FTP subsystem: the tool then refuses
// --ftp instead of pretending to send anything.
#include <memory>

#include "export/export_uploader.h"

namespace winorvex::exporttool {

std::unique_ptr<ExportUploader> MakeToolUploader();

}  // namespace winorvex::exporttool
