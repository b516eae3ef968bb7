#include "core/log_file_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/unique_fd.h"

namespace winorvex {

namespace {

constexpr auto kCheckInterval = std::chrono::seconds(1);

}  // namespace

LogFileSink::Handle::~Handle() {
    if (fd >= 0) ::close(fd);
}

void LogFileSink::SetPath(const std::string& path) {
    std::shared_ptr<Handle> old;
    {
        std::lock_guard lock(mutex_);
        if (path == path_) return;
        path_ = path;
        old = std::move(handle_);
    }
    // A thread still writing through the old descriptor keeps it alive until its write is done.
}

std::string LogFileSink::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

bool LogFileSink::Append(std::string_view bytes) {
    // A second attempt with a freshly opened descriptor when the first write failed outright (the
    // file system under an old descriptor may have gone away). A line already partly written is
    // not repeated: half a line twice would be worse than a line cut once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::shared_ptr<Handle> handle = Acquire();
        if (!handle) return false;
        const std::size_t written = WriteFully(handle->fd, bytes.data(), bytes.size());
        if (written == bytes.size()) return true;
        Forget(handle);
        if (written > 0) return false;
    }
    return false;
}

std::shared_ptr<LogFileSink::Handle> LogFileSink::Acquire() {
    std::lock_guard lock(mutex_);
    if (path_.empty()) return nullptr;
    const auto now = std::chrono::steady_clock::now();
    if (handle_ && now >= nextCheck_) {
        nextCheck_ = now + kCheckInterval;
        if (!StillOurFileLocked()) handle_.reset();
    }
    if (!handle_) {
        handle_ = OpenLocked();
        nextCheck_ = now + kCheckInterval;
    }
    return handle_;
}

void LogFileSink::Forget(const std::shared_ptr<Handle>& failed) {
    std::lock_guard lock(mutex_);
    if (handle_ == failed) handle_.reset();
}

std::shared_ptr<LogFileSink::Handle> LogFileSink::OpenLocked() {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    auto handle = std::make_shared<Handle>();
    handle->fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        handle->dev = st.st_dev;
        handle->ino = st.st_ino;
    }
    return handle;
}

bool LogFileSink::StillOurFileLocked() const {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) return false;  // removed or renamed away
    return st.st_dev == handle_->dev && st.st_ino == handle_->ino;
}

}  // namespace winorvex
