// Writing every active record into one file (the export of all detections).
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

#include "core/log.h"
#include "core/texts.h"
#include "core/unique_fd.h"
#include "detections/detection_file.h"
#include "detections/detection_store.h"
#include "detections/result_list.h"

namespace winorvex {
namespace {

// Collects lines and hands them to the kernel in large blocks; remembers the first error.
class BlockWriter {
public:
    explicit BlockWriter(int fd) : fd_(fd) {}

    void Add(int ordinal, const CRixResult& record) {
        if (error_ != 0) return;
        const std::size_t room = sizeof block_ - used_;
        std::size_t length = FormatDetectionFileLine(block_ + used_, room, ordinal, record);
        if (length <= room) {
            used_ += length;
            return;
        }
        Flush();
        length = FormatDetectionFileLine(block_, sizeof block_, ordinal, record);
        if (length <= sizeof block_) {
            used_ = length;
        } else {
            const std::string line = FormatDetectionFileLine(ordinal, record);
            Write(line.data(), line.size());
        }
    }

    bool Finish() {
        Flush();
        return error_ == 0;
    }
    int Error() const { return error_; }

private:
    void Flush() {
        if (used_ > 0) Write(block_, used_);
        used_ = 0;
    }
    void Write(const char* data, std::size_t length) {
        if (error_ == 0 && !WriteAll(fd_, data, length)) error_ = errno != 0 ? errno : EIO;
    }

    int fd_;
    int error_ = 0;
    std::size_t used_ = 0;
    char block_[64 * 1024];
};

void LogExportError(const std::string& path, int error) {
    LogF(0, Tr("Erreur d'écriture du fichier d'export %s : %s", "Error writing export file %s : %s"), path.c_str(),
         std::generic_category().message(error).c_str());
}

std::string TemporaryPathFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

}  // namespace

bool WriteAllResults(const std::string& path) {
    if (path.empty()) {
        LogExportError(path, ENOENT);
        return false;
    }
    // Written beside the target and renamed over it at the end, so that a failure leaves
    // the previous export whole instead of half a file.
    const std::string temporary = TemporaryPathFor(path);
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.IsOpen()) {
        LogExportError(path, errno);
        return false;
    }

    int error = 0;
    {
        auto writer = std::make_unique<BlockWriter>(fd.Get());
        // One state of the list, copied under its lock; the writing happens outside it, so the
        // box workers never wait for the disk of an export.
        const std::vector<CRixResult> records = CopyActiveResults();
        int ordinal = 0;
        for (const CRixResult& record : records) writer->Add(++ordinal, record);
        if (!writer->Finish()) error = writer->Error();
    }
    if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
    if (!fd.Close() && error == 0) error = errno;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        LogExportError(path, error);
        return false;
    }
    return true;
}

}  // namespace winorvex
