#include "app/command_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "core/folders.h"

namespace winorvex {

std::string CommandServiceFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string base = runtime != nullptr && *runtime != '\0' ? std::string(runtime) : GetDataFolder();
    return base + "/WinORVEX";
}

std::string CommandServicePath(const std::string& serviceName) {
    return CommandServiceFolder() + "/" + serviceName;
}

bool MakeCommandServiceFolder(std::string& error) {
    const std::string folder = CommandServiceFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = folder + ": " + std::generic_category().message(errno);
        return false;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = folder + ": not a folder";
        return false;
    }
    // Another user's folder, or one others may enter, is not a place for our socket.
    if (info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        if (info.st_uid != ::getuid() || ::chmod(folder.c_str(), 0700) != 0) {
            error = folder + ": not the user's own folder";
            return false;
        }
    }
    return true;
}

bool IsUsableServiceName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name == "." || name == "..") return false;
    for (const char c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

}  // namespace winorvex
