#include "import/remote_file_name.h"

namespace winorvex {

std::string PlainRemoteFileName(std::string_view remote) {
    const std::size_t slash = remote.find_last_of("/\\");
    if (slash != std::string_view::npos) remote.remove_prefix(slash + 1);
    std::string name;
    name.reserve(remote.size());
    for (const char c : remote) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) name.push_back(c);
    }
    if (name == "." || name == "..") name.clear();
    return name;
}

}  // namespace winorvex
