#include "core/file_utils.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace winorvex {

namespace fs = std::filesystem;

bool MakeFolderPath(std::string path) {
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    // Success means the folder is there now: a component that could not be created for any
    // reason (permissions, a file in the way) is a failure, not only a missing parent.
    return fs::is_directory(path, ec);
}

std::uint64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::string GetFileNamePart(std::string_view path) {
    const auto separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos) return {};
    return std::string(path.substr(separator + 1));
}

namespace {

// Empties one folder; never follows a symbolic link, so nothing outside the folder is touched.
bool EmptyFolder(const fs::path& folder) {
    std::error_code walkError;
    fs::directory_iterator it(folder, walkError);
    if (walkError) return false;
    bool allRemoved = true;
    for (const fs::directory_iterator end; it != end; it.increment(walkError)) {
        std::error_code ec;
        const fs::path entry = it->path();
        const fs::file_status status = fs::symlink_status(entry, ec);
        if (fs::is_directory(status)) {
            if (entry.filename().string().front() == '.') continue;
            fs::permissions(entry, fs::perms::owner_all, fs::perm_options::add, ec);
            allRemoved = EmptyFolder(entry) && allRemoved;
            allRemoved = fs::remove(entry, ec) && allRemoved;
            continue;
        }
        if (fs::is_regular_file(status)) fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, ec);
        allRemoved = fs::remove(entry, ec) && allRemoved;
    }
    return !walkError && allRemoved;
}

}  // namespace

bool DeleteFolderContents(const std::string& folder, bool alsoRemoveFolder) {
    if (folder.empty()) return false;
    bool ok = EmptyFolder(folder);
    if (alsoRemoveFolder) {
        std::error_code ec;
        ok = fs::remove(folder, ec) && ok;
    }
    return ok;
}

void TrimChars(std::string& text, std::string_view characterSet) {
    const auto last = text.find_last_not_of(characterSet);
    if (last == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(last + 1);
    text.erase(0, text.find_first_not_of(characterSet));
}

void SplitText(std::string_view text, std::string_view delimiters, std::vector<std::string>& out) {
    std::size_t start = 0;
    while (true) {
        const auto at = text.find_first_of(delimiters, start);
        if (at == std::string_view::npos) break;
        out.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
    if (start < text.size()) out.emplace_back(text.substr(start));
}

}  // namespace winorvex
