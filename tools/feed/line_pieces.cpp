#include "line_pieces.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace winorvex::feed {

void LinePieces::Push(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t room = kPieceSize - length_;
        const std::size_t feed = bytes.substr(0, room).find('\n');
        const std::size_t take = feed == std::string_view::npos ? std::min(room, bytes.size()) : feed;
        std::memcpy(line_ + length_, bytes.data(), take);
        length_ += take;
        bytes.remove_prefix(take);
        if (feed != std::string_view::npos) {
            bytes.remove_prefix(1);  // the line feed itself
        } else if (length_ < kPieceSize) {
            return;  // wait for the rest of the line
        }
        sink_(std::string_view(line_, length_));
        length_ = 0;
    }
}

void LinePieces::Finish() {
    if (length_ == 0) return;
    sink_(std::string_view(line_, length_));
    length_ = 0;
}

bool ReadLines(std::FILE* stream, const LinePieces::Sink& sink) {
    LinePieces pieces(sink);
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
        if (got > 0) pieces.Push(std::string_view(buffer.data(), got));
        if (got < buffer.size()) break;
    }
    pieces.Finish();
    return std::ferror(stream) == 0;
}

}  // namespace winorvex::feed
