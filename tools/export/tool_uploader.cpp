#include "tool_uploader.h"

namespace winorvex::exporttool {

std::unique_ptr<ExportUploader> MakeToolUploader() {
    return nullptr;
}

}  // namespace winorvex::exporttool
