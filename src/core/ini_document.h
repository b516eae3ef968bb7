#pragma once
// In-memory model of an INI file that can be edited key by key and written back without losing
// anything it does not understand: comments, blank lines, unknown lines and the spelling of
// names stay as they were read. Section and key names are compared without case (ASCII).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

class IniDocument {
public:
    IniDocument() = default;

    static IniDocument Parse(std::string_view text);
    std::string Serialise() const;

    // Value of the first matching key in the first matching section, trimmed of blanks.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

    // Replaces the value of an existing key, or appends the key after the last key of its section,
    // creating the section at the end of the document when missing. Names that could not be read
    // back as the same section and key (empty, line breaks, '=' in a key, ']' in a section, a
    // leading '[' or ';') are refused and leave the document unchanged. Line breaks in the value
    // become spaces so that a value can never spill into lines of its own.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    static bool IsValidSectionName(std::string_view section);
    static bool IsValidKeyName(std::string_view key);

    std::size_t LineCount() const { return lines_.size(); }

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        std::string text;  // as read, without the line ending
        Kind kind = Kind::Other;
        std::size_t nameBegin = 0;  // section name or key, inside text
        std::size_t nameLength = 0;
        std::size_t valueBegin = 0;  // entries only, trimmed value inside text
        std::size_t valueLength = 0;

        std::string_view Name() const { return std::string_view(text).substr(nameBegin, nameLength); }
        std::string_view Value() const { return std::string_view(text).substr(valueBegin, valueLength); }
    };

    static Line Classify(std::string text);
    // Index of the header of the first section with this name, or npos.
    std::size_t FindSection(std::string_view section) const;
    // One past the last line that belongs to the section whose header is at headerIndex.
    std::size_t SectionEnd(std::size_t headerIndex) const;

    std::vector<Line> lines_;
    bool crlf_ = false;
    bool bom_ = false;
};

}  // namespace winorvex
