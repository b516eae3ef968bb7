#pragma once
// The FTP servers exports can send to, kept in "FtpServers.dat" (GetFtpServersFilePath): one server
// a line, "label\tsite\tuser\tpassword\tdirectory" ending with CR LF. The password is stored in
// clear, so the file is created readable by its owner only and always replaced whole.
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

struct CFtpServer {
    std::string directory;  // remote folder; empty: the login folder
    std::string password;
    std::string site;   // host name or address, optionally ":port"
    std::string user;   // empty: anonymous login
    std::string label;  // the name exports select the server by
};

// Longest line read, line end excluded.
inline constexpr std::size_t kFtpServersMaxLine = 1023;

// Fills `servers` (cleared first) from the file. Returns 0, or -1 with "File does not exist" when it
// cannot be opened. A line that does not split into exactly five fields (at tab or ";") is
// skipped with a log line naming its number and label only; when `unreadLines` is given such lines
// are handed back as they were, so that a rewrite keeps them.
int LoadFtpServers(std::vector<CFtpServer>& servers, const std::string& path, std::string& errorText,
                   std::vector<std::string>* unreadLines = nullptr);

// Replaces the file (temporary file + rename, mode 0600) with every server in list order, then the
// unread lines unchanged. Returns 0, or -1 with "Cannot create file".
int SaveFtpServers(const std::vector<CFtpServer>& servers, const std::string& path, std::string& errorText,
                   const std::vector<std::string>& unreadLines = {});

// The first server whose label equals `label` with white space trimmed from both ends (case
// counts); nullptr when none does. The pointer lives as long as the list is not changed.
const CFtpServer* FindFtpServer(const std::vector<CFtpServer>& servers, std::string_view label);

// The line a server is written as, without its line end.
std::string FtpServerLine(const CFtpServer& server);

}  // namespace winorvex
