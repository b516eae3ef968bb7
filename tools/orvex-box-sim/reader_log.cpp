#include "reader_log.h"

#include <cerrno>
#include <cstring>

namespace winorvex::sim {

bool ReaderLog::Open(const std::string& path, std::string* error) {
    std::lock_guard lock(mutex_);
    path_ = path;
    file_.reset();
    if (path.empty()) return true;
    file_.reset(std::fopen(path.c_str(), "ab"));
    if (!file_) {
        *error = "cannot open log file " + path + ": " + std::strerror(errno);
        path_.clear();
        return false;
    }
    return true;
}

void ReaderLog::Append(std::string_view lines) {
    std::lock_guard lock(mutex_);
    if (!file_ || lines.empty()) return;
    std::fwrite(lines.data(), 1, lines.size(), file_.get());
    // Flushed per batch so a test or an import sees the reads without waiting for the end.
    std::fflush(file_.get());
}

void ReaderLog::AppendMarker(std::string_view label, std::string_view yyyymmdd, std::string_view hhmmss) {
    std::string line;
    if (label.substr(0, 6) == "KMark-") {
        line.assign(label);
    } else {
        line.append("KMark-").append(yyyymmdd).append(hhmmss).append(":").append(label);
    }
    line.append("\r\n");
    Append(line);
}

bool ReaderLog::Clear() {
    std::lock_guard lock(mutex_);
    if (path_.empty()) return true;
    file_.reset(std::fopen(path_.c_str(), "wb"));
    return file_ != nullptr;
}

void ReaderLog::Flush() {
    std::lock_guard lock(mutex_);
    if (file_) std::fflush(file_.get());
}

}  // namespace winorvex::sim
