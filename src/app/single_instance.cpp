#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <system_error>

#include "core/texts.h"

namespace winorvex {

bool SingleInstanceLock::Acquire(const std::string& dataFolder, std::string& error) {
    if (fd_.IsOpen()) return true;
    const std::string path = dataFolder + "/WinORVEX.mtx";
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.IsOpen()) {
        error = path + ": " + std::generic_category().message(errno);
        return false;
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? std::string("held by another process")
                                     : path + ": " + std::generic_category().message(errno);
        return false;
    }
    fd_ = std::move(fd);
    return true;
}

const char* AlreadyRunningText() {
    return Tr("Désolé...\nWinORVEX est déjà lancé et ne peut être lancé plusieurs fois...",
              "Sorry...\nWinORVEX is already started and cannot be started twice...");
}

}  // namespace winorvex
