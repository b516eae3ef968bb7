#include "core/ini_document.h"

#include <algorithm>

namespace winorvex {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool HasAnyOf(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

std::string SingleLine(std::string_view value) {
    std::string out(Trimmed(value));
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
    return std::string(Trimmed(out));
}

}  // namespace

IniDocument::Line IniDocument::Classify(std::string text) {
    Line line;
    line.text = std::move(text);
    const std::string_view all(line.text);
    const auto first = all.find_first_not_of(kBlanks);
    if (first == std::string_view::npos || all[first] == ';') return line;

    if (all[first] == '[') {
        const auto close = all.find(']', first + 1);
        const auto raw =
            all.substr(first + 1, close == std::string_view::npos ? std::string_view::npos : close - first - 1);
        const auto name = Trimmed(raw);
        line.kind = Kind::Section;
        line.nameBegin = name.empty() ? first + 1 : static_cast<std::size_t>(name.data() - all.data());
        line.nameLength = name.size();
        return line;
    }

    const auto equals = all.find('=', first);
    if (equals == std::string_view::npos) return line;
    const auto key = Trimmed(all.substr(first, equals - first));
    if (key.empty()) return line;
    const auto value = Trimmed(all.substr(equals + 1));
    line.kind = Kind::Entry;
    line.nameBegin = static_cast<std::size_t>(key.data() - all.data());
    line.nameLength = key.size();
    line.valueBegin = value.empty() ? equals + 1 : static_cast<std::size_t>(value.data() - all.data());
    line.valueLength = value.size();
    return line;
}

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument doc;
    if (text.substr(0, kBom.size()) == kBom) {
        doc.bom_ = true;
        text.remove_prefix(kBom.size());
    }
    bool firstBreak = true;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view piece = text.substr(0, newline);
        if (newline != std::string_view::npos) {
            const bool crlf = !piece.empty() && piece.back() == '\r';
            if (firstBreak) doc.crlf_ = crlf;
            firstBreak = false;
            text.remove_prefix(newline + 1);
        } else {
            text = {};
        }
        if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
        doc.lines_.push_back(Classify(std::string(piece)));
    }
    return doc;
}

std::string IniDocument::Serialise() const {
    const std::string_view eol = crlf_ ? "\r\n" : "\n";
    std::size_t total = bom_ ? kBom.size() : 0;
    for (const auto& line : lines_) total += line.text.size() + eol.size();
    std::string out;
    out.reserve(total);
    if (bom_) out.append(kBom);
    for (const auto& line : lines_) {
        out.append(line.text);
        out.append(eol);
    }
    return out;
}

bool IniDocument::IsValidSectionName(std::string_view section) {
    const auto name = Trimmed(section);
    return !name.empty() && !HasAnyOf(name, std::string_view("\r\n]\0", 4));
}

bool IniDocument::IsValidKeyName(std::string_view key) {
    const auto name = Trimmed(key);
    return !name.empty() && name.front() != '[' && name.front() != ';' &&
           !HasAnyOf(name, std::string_view("\r\n=\0", 4));
}

std::size_t IniDocument::FindSection(std::string_view section) const {
    const auto wanted = Trimmed(section);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && EqualNoCase(lines_[i].Name(), wanted)) return i;
    }
    return std::string::npos;
}

std::size_t IniDocument::SectionEnd(std::size_t headerIndex) const {
    std::size_t i = headerIndex + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
    return i;
}

std::optional<std::string_view> IniDocument::Find(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (header == std::string::npos) return std::nullopt;
    const auto wanted = Trimmed(key);
    const auto end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Kind::Entry && EqualNoCase(lines_[i].Name(), wanted)) return lines_[i].Value();
    }
    return std::nullopt;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsValidSectionName(section) || !IsValidKeyName(key)) return false;
    const auto keyName = Trimmed(key);
    const std::string cleanValue = SingleLine(value);

    const auto header = FindSection(section);
    if (header == std::string::npos) {
        lines_.push_back(Classify("[" + std::string(Trimmed(section)) + "]"));
        lines_.push_back(Classify(std::string(keyName) + "=" + cleanValue));
        return true;
    }

    const auto end = SectionEnd(header);
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind != Kind::Entry) continue;
        if (EqualNoCase(lines_[i].Name(), keyName)) {
            // Keep the spelling the file already uses for this key.
            lines_[i] = Classify(std::string(lines_[i].Name()) + "=" + cleanValue);
            return true;
        }
        insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  Classify(std::string(keyName) + "=" + cleanValue));
    return true;
}

}  // namespace winorvex
