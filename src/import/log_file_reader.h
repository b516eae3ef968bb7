#pragma once
// Streams a reader log in the pieces the import takes as lines: up to and including a line feed,
// or 511 bytes when no line feed comes first (a longer line arrives as several pieces, as the
// reader's own tools read it through a 512-byte buffer). One fixed buffer, whatever the file size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/unique_fd.h"

namespace winorvex {

class LogFileReader {
public:
    static constexpr std::size_t kPieceLength = 511;

    LogFileReader();
    LogFileReader(const LogFileReader&) = delete;
    LogFileReader& operator=(const LogFileReader&) = delete;

    // False with the system's reason in `error` when the file cannot be opened for reading.
    bool Open(const std::string& path, std::string& error);
    // The next piece, valid until the next call. False at the end of the file or on a read error
    // (Failed() then tells, with the reason in Error()).
    bool Next(std::string_view& piece);
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    std::uint64_t BytesRead() const { return bytesRead_; }

private:
    bool Refill();

    UniqueFd fd_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    std::uint64_t bytesRead_ = 0;
    std::string error_;
};

}  // namespace winorvex
