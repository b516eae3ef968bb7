#pragma once
// Cuts a byte stream into reader lines the way a box transport does: a line feed ends a line and
// is not kept, a carriage return is kept, and a line longer than the piece size arrives in
// pieces of that size.
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string_view>
#include <utility>

namespace winorvex::feed {

inline constexpr std::size_t kPieceSize = 1023;

class LinePieces {
public:
    using Sink = std::function<void(std::string_view line)>;
    explicit LinePieces(Sink sink) : sink_(std::move(sink)) {}

    void Push(std::string_view bytes);
    // The last line when the input did not end with a line feed.
    void Finish();

private:
    Sink sink_;
    char line_[kPieceSize + 1] = {};
    std::size_t length_ = 0;
};

// Reads the whole stream through LinePieces. False when reading failed.
bool ReadLines(std::FILE* stream, const LinePieces::Sink& sink);

}  // namespace winorvex::feed
