#include "app/command_holder.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>

#include "app/command_paths.h"
#include "core/unique_fd.h"

namespace winorvex {

std::string ServiceHolderPath(const std::string& serviceName) {
    return CommandServicePath(serviceName) + kServiceHolderSuffix;
}

bool WriteServiceHolder(const std::string& serviceName, const std::string& dataFolder) {
    static std::atomic<unsigned> counter{0};
    const std::string path = ServiceHolderPath(serviceName);
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd.IsOpen(); ++attempt) {
        temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
        fd = UniqueFd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.IsOpen() && errno != EEXIST) return false;
    }
    if (!fd.IsOpen()) return false;
    const std::string content = dataFolder + "\n";
    bool ok = WriteAll(fd.Get(), content.data(), content.size());
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

std::string ReadServiceHolder(const std::string& serviceName) {
    std::ifstream in(ServiceHolderPath(serviceName));
    std::string folder;
    std::getline(in, folder);
    return folder;
}

void RemoveServiceHolder(const std::string& serviceName, const std::string& dataFolder) {
    if (ReadServiceHolder(serviceName) == dataFolder) ::unlink(ServiceHolderPath(serviceName).c_str());
}

}  // namespace winorvex
