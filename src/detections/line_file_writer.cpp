#include "detections/line_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/unique_fd.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"

namespace winorvex {

std::string TemporaryPathFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

LineFileWriter::LineFileWriter(std::string path) : path_(std::move(path)) {}

LineFileWriter::~LineFileWriter() {
    if (!committed_) Discard();
}

bool LineFileWriter::Open() {
    if (fd_ >= 0) return error_ == 0;
    if (path_.empty()) {
        error_ = ENOENT;
        return false;
    }
    temporary_ = TemporaryPathFor(path_);
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = errno != 0 ? errno : EIO;
        temporary_.clear();
        return false;
    }
    block_ = std::make_unique<char[]>(kBlockSize);
    return true;
}

void LineFileWriter::AddRecordLine(int ordinal, const CRixResult& record) {
    AddRecordLine(ordinal, record, record.timeText);
}

void LineFileWriter::AddRecordLine(int ordinal, const CRixResult& record, std::string_view timeText) {
    if (error_ != 0 || fd_ < 0) return;
    std::size_t room = kBlockSize - used_;
    std::size_t length = FormatDetectionFileLine(block_.get() + used_, room, ordinal, record.detector, record.bib,
                                                 timeText, record.IsAbsolute());
    if (length <= room) {
        used_ += length;
        return;
    }
    Flush();
    room = kBlockSize;
    length = FormatDetectionFileLine(block_.get(), room, ordinal, record.detector, record.bib, timeText,
                                     record.IsAbsolute());
    if (length <= room) {
        used_ = length;
        return;
    }
    // A line longer than the whole block (absurdly long identifiers): built on its own.
    std::string line(length, '\0');
    FormatDetectionFileLine(line.data(), line.size(), ordinal, record.detector, record.bib, timeText,
                            record.IsAbsolute());
    Write(line.data(), line.size());
}

void LineFileWriter::AddText(std::string_view text) {
    Append(text.data(), text.size());
}

void LineFileWriter::Append(const char* data, std::size_t length) {
    if (error_ != 0 || fd_ < 0) return;
    if (length > kBlockSize - used_) Flush();
    if (length > kBlockSize) {
        Write(data, length);
        return;
    }
    std::memcpy(block_.get() + used_, data, length);
    used_ += length;
}

void LineFileWriter::Flush() {
    if (used_ > 0) Write(block_.get(), used_);
    used_ = 0;
}

void LineFileWriter::Write(const char* data, std::size_t length) {
    if (error_ == 0 && !WriteAll(fd_, data, length)) error_ = errno != 0 ? errno : EIO;
}

bool LineFileWriter::Commit() {
    if (fd_ < 0) {
        if (error_ == 0) error_ = EBADF;
        return false;
    }
    Flush();
    if (error_ == 0 && ::fsync(fd_) != 0) error_ = errno;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && error_ == 0) error_ = errno;
    if (error_ == 0 && std::rename(temporary_.c_str(), path_.c_str()) != 0) error_ = errno;
    if (error_ != 0) {
        Discard();
        return false;
    }
    committed_ = true;
    temporary_.clear();
    return true;
}

void LineFileWriter::Discard() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace winorvex
