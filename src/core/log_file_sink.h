#pragma once
// The log file. The descriptor stays open between lines (O_APPEND, so each line is one write()
// that never interleaves with another thread's line). It is reopened when the path changes, when
// the file was removed or renamed under us (checked at most once a second), or after a failed write.
// A file that cannot be opened is skipped silently; the next line tries again.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace winorvex {

class LogFileSink {
public:
    LogFileSink() = default;
    LogFileSink(const LogFileSink&) = delete;
    LogFileSink& operator=(const LogFileSink&) = delete;

    void SetPath(const std::string& path);  // empty: no file
    std::string Path() const;

    // Appends the bytes as one write(). Returns false when nothing could be written.
    bool Append(std::string_view bytes);

private:
    struct Handle {
        int fd = -1;
        dev_t dev = 0;
        ino_t ino = 0;
        Handle() = default;
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        ~Handle();
    };

    std::shared_ptr<Handle> Acquire();
    void Forget(const std::shared_ptr<Handle>& failed);
    std::shared_ptr<Handle> OpenLocked();
    bool StillOurFileLocked() const;

    mutable std::mutex mutex_;
    std::string path_;
    std::shared_ptr<Handle> handle_;
    std::chrono::steady_clock::time_point nextCheck_{};
};

}  // namespace winorvex
