#pragma once
// Lines of an FTP LIST answer, in the two forms servers give: Unix ("-rw-r--r-- 1 u g 1234 Jan 1
// 12:00 name") and DOS ("01-31-24  09:15PM  1234 name", "<DIR>" for folders).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace winorvex {

struct FtpListEntry {
    std::string name;
    std::int64_t size = 0;
    bool directory = false;
};

// nullopt for lines that describe no entry ("total 12", blank, unknown forms).
std::optional<FtpListEntry> ParseFtpListLine(std::string_view line);

// Shell-style pattern ("*", "?", "[...]"), letters compared without case as the readers' servers do.
bool FtpNameMatches(std::string_view pattern, std::string_view name);

}  // namespace winorvex
