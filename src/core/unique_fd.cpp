#include "core/unique_fd.h"

#include <cerrno>

namespace winorvex {

std::size_t WriteFully(int fd, const char* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t written = ::write(fd, data + done, length - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (written == 0) {
            errno = EIO;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    return done;
}

}  // namespace winorvex
