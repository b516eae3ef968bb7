#include "import/log_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace winorvex {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}  // namespace

LogFileReader::LogFileReader() : buffer_(std::make_unique<char[]>(kBufferSize)) {}

bool LogFileReader::Open(const std::string& path, std::string& error) {
    fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    begin_ = end_ = 0;
    eof_ = false;
    bytesRead_ = 0;
    error_.clear();
    if (!fd_.IsOpen()) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_.Get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        fd_.Reset();
        error = std::strerror(EISDIR);
        return false;
    }
    return true;
}

bool LogFileReader::Refill() {
    // Keep the unread tail (shorter than a piece) at the front, then fill behind it.
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (!eof_ && end_ < kBufferSize) {
        const ssize_t n = ::read(fd_.Get(), buffer_.get() + end_, kBufferSize - end_);
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            bytesRead_ += static_cast<std::uint64_t>(n);
            // One read is enough to go on with; the next refill comes when it runs short.
            if (end_ - begin_ > kPieceLength) break;
        } else if (n == 0) {
            eof_ = true;
        } else if (errno != EINTR) {
            error_ = std::strerror(errno);
            eof_ = true;
            return false;
        }
    }
    return true;
}

bool LogFileReader::Next(std::string_view& piece) {
    if (!fd_.IsOpen() || Failed()) return false;
    const char* data = buffer_.get();
    std::size_t available = end_ - begin_;
    const void* lf = available > 0 ? std::memchr(data + begin_, '\n', std::min(available, kPieceLength)) : nullptr;
    if (lf == nullptr && available <= kPieceLength && !eof_) {
        if (!Refill()) return false;
        data = buffer_.get();
        available = end_ - begin_;
        lf = available > 0 ? std::memchr(data + begin_, '\n', std::min(available, kPieceLength)) : nullptr;
    }
    if (available == 0) return false;
    std::size_t length = 0;
    if (lf != nullptr) {
        length = static_cast<std::size_t>(static_cast<const char*>(lf) - (data + begin_)) + 1;
    } else {
        length = std::min(available, kPieceLength);
    }
    piece = std::string_view(data + begin_, length);
    begin_ += length;
    return true;
}

}  // namespace winorvex
