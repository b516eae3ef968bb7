#pragma once
// The ELITE reader's own history file: every read it sent and every marker it was given, one line
// each, so the station's log import can be tried on it. Written by the line producer and by the
// side channel, hence the lock.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace winorvex::sim {

class ReaderLog {
public:
    // An empty path gives a log that records nothing.
    bool Open(const std::string& path, std::string* error);
    bool enabled() const { return !path_.empty(); }

    // Appends text made of whole lines, as it is.
    void Append(std::string_view lines);
    // Appends "KMark-" + yyyymmdd + hhmmss + ":" + label, or the label itself when the host already
    // sent a complete "KMark-..." text.
    void AppendMarker(std::string_view label, std::string_view yyyymmdd, std::string_view hhmmss);
    // Empties the history.
    bool Clear();
    void Flush();

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::mutex mutex_;
    std::string path_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace winorvex::sim
