#include "chips/chip_table_file.h"

#include <array>
#include <cstdio>
#include <limits>
#include <memory>

namespace winorvex {

namespace {

// A line piece holds at most this many bytes, its line end included.
constexpr std::size_t kPieceLength = 510;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::size_t SkipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    return pos;
}

std::size_t SkipWord(std::string_view text, std::size_t pos) {
    while (pos < text.size() && !IsBlank(text[pos])) ++pos;
    return pos;
}

void CutAtLast(std::string_view& text, char c) {
    const std::size_t at = text.rfind(c);
    if (at != std::string_view::npos) text = text.substr(0, at);
}

// A field is a number when, without its surrounding double quotes and cut at its last ',', '.'
// and ';', it is a non-empty run of decimal digits. Runs too large for a bib are not numbers, so
// a long all-digit chip beside a bib still reads as a chip.
bool ParseNumberField(std::string_view field, std::int32_t& value) {
    while (!field.empty() && field.front() == '"') field.remove_prefix(1);
    while (!field.empty() && field.back() == '"') field.remove_suffix(1);
    CutAtLast(field, ',');
    CutAtLast(field, '.');
    CutAtLast(field, ';');
    if (field.empty()) return false;
    std::int64_t n = 0;
    for (const char c : field) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
        if (n > std::numeric_limits<std::int32_t>::max()) return false;
    }
    value = static_cast<std::int32_t>(n);
    return true;
}

// Cuts to the longest chip an entry keeps without splitting a UTF-8 sequence.
std::string_view CutChip(std::string_view chip) {
    if (chip.size() <= ChipTable::kMaxChipLength) return chip;
    std::size_t length = ChipTable::kMaxChipLength;
    while (length > 0 && (static_cast<unsigned char>(chip[length]) & 0xC0) == 0x80) --length;
    if (length == 0) length = ChipTable::kMaxChipLength;  // not UTF-8 at all: cut by bytes
    return chip.substr(0, length);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Cuts the byte stream into line pieces the way a line read into a fixed 511-byte buffer does.
// A CR before the LF needs no folding: it is a blank to the parser, and the piece after it holds
// at most the LF.
class PieceReader {
public:
    PieceReader(std::vector<ChipTable::Entry>& entries, ChipTableFileStats& stats) : entries_(entries), stats_(stats) {}

    void Feed(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\0') stats_.nulBytes = true;
            piece_[length_++] = c;
            if (c == '\n' || length_ == kPieceLength) EndPiece();
        }
    }

    void Finish() {
        if (length_ > 0) EndPiece();
    }

private:
    void EndPiece() {
        const std::string_view piece(piece_.data(), length_);
        ChipTable::Entry entry;
        if (ParseChipTableLine(piece, entry)) {
            entries_.push_back(std::move(entry));
            ++stats_.taken;
        } else if (SkipBlanks(piece, 0) < piece.size()) {
            ++stats_.rejected;
            if (stats_.firstRejectedLine == 0) stats_.firstRejectedLine = line_;
        }
        if (piece.back() == '\n') ++line_;
        length_ = 0;
    }

    std::vector<ChipTable::Entry>& entries_;
    ChipTableFileStats& stats_;
    std::size_t line_ = 1;
    std::array<char, kPieceLength> piece_{};
    std::size_t length_ = 0;
};

}  // namespace

bool ParseChipTableLine(std::string_view line, ChipTable::Entry& entry) {
    // The line is C text for parsing: a NUL byte ends it.
    const std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);

    std::string_view first;
    std::string_view second;
    const std::size_t firstBegin = SkipBlanks(line, 0);
    const std::size_t firstEnd = SkipWord(line, firstBegin);
    const std::size_t secondBegin = SkipBlanks(line, firstEnd);
    const std::size_t secondEnd = SkipWord(line, secondBegin);
    if (secondEnd > secondBegin) {
        first = line.substr(firstBegin, firstEnd - firstBegin);
        second = line.substr(secondBegin, secondEnd - secondBegin);
    } else {
        // One word at most: "chip;bib" written without a blank.
        const std::size_t semicolon = line.find(';');
        if (semicolon == std::string_view::npos) return false;
        first = line.substr(firstBegin, semicolon > firstBegin ? semicolon - firstBegin : 0);
        const std::size_t after = semicolon + 1;
        second = line.substr(after, SkipWord(line, after) - after);
    }
    if (first.empty() || second.empty()) return false;

    std::int32_t firstNumber = 0;
    std::int32_t secondNumber = 0;
    const bool firstIsNumber = ParseNumberField(first, firstNumber);
    const bool secondIsNumber = ParseNumberField(second, secondNumber);
    if (secondIsNumber && !firstIsNumber) {
        entry.chip.assign(CutChip(first));
        entry.bib = secondNumber;
    } else if (firstIsNumber) {
        entry.chip.assign(CutChip(second));
        entry.bib = firstNumber;
    } else {
        return false;
    }
    return true;
}

bool ReadChipTableEntries(const std::string& path, std::vector<ChipTable::Entry>& entries) {
    ChipTableFileStats stats;
    return ReadChipTableEntries(path, entries, stats);
}

bool ReadChipTableEntries(const std::string& path, std::vector<ChipTable::Entry>& entries, ChipTableFileStats& stats) {
    entries.clear();
    stats = {};
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;

    std::array<char, 64 * 1024> buffer{};
    const std::size_t head = std::fread(buffer.data(), 1, 3, file.get());
    if (head < 3) return false;
    const auto b0 = static_cast<unsigned char>(buffer[0]);
    const auto b1 = static_cast<unsigned char>(buffer[1]);
    const auto b2 = static_cast<unsigned char>(buffer[2]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) return false;  // UTF-16 is not read
    const bool utf8Mark = b0 == 0xEF && b1 == 0xBB && b2 == 0xBF;

    PieceReader reader(entries, stats);
    if (!utf8Mark) reader.Feed(buffer.data(), head);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        reader.Feed(buffer.data(), got);
        if (got < buffer.size()) break;
    }
    // A read error part way would publish a silently shortened table: report it as a failure.
    if (std::ferror(file.get())) {
        entries.clear();
        return false;
    }
    reader.Finish();
    return true;
}

}  // namespace winorvex
