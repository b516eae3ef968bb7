#pragma once
// The name of a detection file chosen in a save dialog (the configuration's export file, the
// import's Save): ".rix" is appended unless the name already ends with it in any letter case.
#include <cctype>
#include <string>

namespace winorvex {

inline std::string WithRixExtension(std::string path) {
    static constexpr char kExtension[] = ".rix";
    constexpr std::size_t kLength = sizeof kExtension - 1;
    bool has = path.size() >= kLength;
    for (std::size_t i = 0; has && i < kLength; ++i) {
        has = std::tolower(static_cast<unsigned char>(path[path.size() - kLength + i])) == kExtension[i];
    }
    if (!has) path += kExtension;
    return path;
}

}  // namespace winorvex
