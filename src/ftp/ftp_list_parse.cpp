#include "ftp/ftp_list_parse.h"

#include <fnmatch.h>

#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace winorvex {

namespace {

struct Token {
    std::string_view text;
    std::size_t end = 0;  // offset just after the token in the line
};

std::vector<Token> Tokens(std::string_view line, std::size_t maxTokens) {
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (tokens.size() < maxTokens) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        auto end = line.find_first_of(" \t", at);
        if (end == std::string_view::npos) end = line.size();
        tokens.push_back({line.substr(at, end - at), end});
        at = end;
    }
    return tokens;
}

bool ToSize(std::string_view text, std::int64_t& out) {
    if (text.empty()) return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size() && out >= 0;
}

bool IsMonth(std::string_view text) {
    static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3) return false;
    std::string lower;
    for (const char c : text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (const auto month : kMonths) {
        if (lower == month) return true;
    }
    return false;
}

// The rest of the line after a token, one separating blank skipped (names may start with more).
std::string_view RestAfter(std::string_view line, std::size_t end) {
    if (end < line.size() && (line[end] == ' ' || line[end] == '\t')) ++end;
    return end < line.size() ? line.substr(end) : std::string_view();
}

std::optional<FtpListEntry> ParseUnix(std::string_view line) {
    const char type = line.front();
    if (std::string_view("-dlbcps").find(type) == std::string_view::npos) return std::nullopt;
    // Some servers leave out the group or the link count: find the month and count from it.
    const auto tokens = Tokens(line, 9);
    for (std::size_t i = 2; i + 2 < tokens.size(); ++i) {
        if (!IsMonth(tokens[i].text)) continue;
        FtpListEntry entry;
        if (!ToSize(tokens[i - 1].text, entry.size)) continue;
        std::string_view name = RestAfter(line, tokens[i + 2].end);
        // Names with leading blanks lose them in this form; the usual column padding is not part of a name.
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        if (type == 'l') {
            const auto arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) name = name.substr(0, arrow);
        }
        if (name.empty()) return std::nullopt;
        entry.name.assign(name);
        entry.directory = type == 'd';
        return entry;
    }
    return std::nullopt;
}

std::optional<FtpListEntry> ParseDos(std::string_view line) {
    const auto tokens = Tokens(line, 3);
    if (tokens.size() < 3) return std::nullopt;
    const std::string_view date = tokens[0].text;
    if (date.size() < 8 || !std::isdigit(static_cast<unsigned char>(date[0])) ||
        (date[2] != '-' && date[2] != '/' && date[2] != '.')) {
        return std::nullopt;
    }
    if (tokens[1].text.find(':') == std::string_view::npos) return std::nullopt;
    FtpListEntry entry;
    if (tokens[2].text == "<DIR>") {
        entry.directory = true;
    } else if (!ToSize(tokens[2].text, entry.size)) {
        return std::nullopt;
    }
    std::string_view name = RestAfter(line, tokens[2].end);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    if (name.empty()) return std::nullopt;
    entry.name.assign(name);
    return entry;
}

}  // namespace

std::optional<FtpListEntry> ParseFtpListLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(line.front()))) return ParseDos(line);
    return ParseUnix(line);
}

bool FtpNameMatches(std::string_view pattern, std::string_view name) {
    if (pattern.empty()) return true;
    const std::string p(pattern);
    const std::string n(name);
    return ::fnmatch(p.c_str(), n.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0;
}

}  // namespace winorvex
