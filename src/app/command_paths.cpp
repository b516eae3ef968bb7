#include "app/command_paths.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "app/command_holder.h"
#include "core/folders.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

static_assert(kSocketPathLimit + 1 == sizeof(sockaddr_un::sun_path));

namespace {

const char* RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime != '\0' ? runtime : nullptr;
}

}  // namespace

std::string CommandServiceFolder() {
    const char* runtime = RuntimeFolder();
    const std::string base = runtime != nullptr ? std::string(runtime) : GetDataFolder();
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
    if (name.ends_with(kServiceHolderSuffix)) return false;
    for (const char c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

std::string SocketPathTooLongText(const std::string& path) {
    if (path.size() <= kSocketPathLimit) return {};
    const std::string length = std::to_string(path.size());
    const std::string limit = std::to_string(kSocketPathLimit);
    if (RuntimeFolder() != nullptr) {
        return Format(Tr("Le chemin du service de commandes %s fait %s octets, plus que la limite de %s octets d'un "
                         "socket local : choisissez un XDG_RUNTIME_DIR ou un GOrvexDdeName plus court.",
                         "The command service path %s is %s bytes long, over the %s-byte limit of a local socket: "
                         "choose a shorter XDG_RUNTIME_DIR or GOrvexDdeName."),
                      path.c_str(), length.c_str(), limit.c_str());
    }
    return Format(Tr("Le chemin du service de commandes %s fait %s octets, plus que la limite de %s octets d'un "
                     "socket local : définissez XDG_RUNTIME_DIR, ou choisissez un dossier de données ou un "
                     "GOrvexDdeName plus court.",
                     "The command service path %s is %s bytes long, over the %s-byte limit of a local socket: set "
                     "XDG_RUNTIME_DIR, or choose a shorter data folder or GOrvexDdeName."),
                  path.c_str(), length.c_str(), limit.c_str());
}

}  // namespace winorvex
