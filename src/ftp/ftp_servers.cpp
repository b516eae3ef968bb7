#include "ftp/ftp_servers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "core/file_utils.h"
#include "core/log.h"
#include "core/texts.h"
#include "core/unique_fd.h"

namespace winorvex {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::size_t kLabelShownInLog = 64;

bool ReadWhole(const std::string& path, std::string& out) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return false;
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

void LogUnreadLine(int lineNumber, std::string_view line, std::size_t fieldCount, bool tooLong) {
    std::string label(line.substr(0, line.find_first_of("\t;")));
    if (label.size() > kLabelShownInLog) label.resize(kLabelShownInLog);
    for (char& c : label) {
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    }
    if (tooLong) {
        LogF(0,
             Tr("## FtpServers.dat, ligne %d (label \"%s\") : ligne trop longue, ignorée",
                "## FtpServers.dat, line %d (label \"%s\"): line too long, skipped"),
             lineNumber, label.c_str());
        return;
    }
    LogF(0,
         Tr("## FtpServers.dat, ligne %d (label \"%s\") : %d champ%s au lieu de 5, ligne ignorée",
            "## FtpServers.dat, line %d (label \"%s\"): %d field%s instead of 5, line skipped"),
         lineNumber, label.c_str(), static_cast<int>(fieldCount), fieldCount > 1 ? "s" : "");
}

}  // namespace

int LoadFtpServers(std::vector<CFtpServer>& servers, const std::string& path, std::string& errorText,
                   std::vector<std::string>* unreadLines) {
    servers.clear();
    if (unreadLines != nullptr) unreadLines->clear();
    std::string text;
    if (!ReadWhole(path, text)) {
        // No file is the normal state before any server was entered; anything else is worth a look.
        const bool missing = errno == ENOENT;
        LogF(missing ? 20 : 0,
             missing ? Tr("+ %s absent : aucun serveur FTP", "+ %s missing: no FTP server")
                     : Tr("## %s illisible : aucun serveur FTP", "## %s unreadable: no FTP server"),
             path.c_str());
        errorText = "File does not exist";
        return -1;
    }
    std::size_t start = 0;
    int lineNumber = 0;
    std::vector<std::string> fields;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        const bool endedByLineFeed = end < text.size();
        start = end + 1;
        ++lineNumber;
        // A CR before the LF is the line end of the file, never part of the directory.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(kWhiteSpace) == std::string_view::npos) continue;

        const bool tooLong = line.size() > kFtpServersMaxLine;
        fields.clear();
        if (!tooLong) {
            // The line feed ends the last field too, so an empty directory before it still counts.
            std::string withEnd(line);
            if (endedByLineFeed) withEnd.push_back('\n');
            SplitText(withEnd, "\t;\n", fields);
        }
        if (tooLong || fields.size() != 5) {
            LogUnreadLine(lineNumber, line, fields.size(), tooLong);
            if (unreadLines != nullptr) unreadLines->emplace_back(line);
            continue;
        }
        CFtpServer& server = servers.emplace_back();
        server.label = std::move(fields[0]);
        server.site = std::move(fields[1]);
        server.user = std::move(fields[2]);
        server.password = std::move(fields[3]);
        server.directory = std::move(fields[4]);
    }
    return 0;
}

std::string FtpServerLine(const CFtpServer& server) {
    std::string line;
    line.reserve(server.label.size() + server.site.size() + server.user.size() + server.password.size() +
                 server.directory.size() + 4);
    line.append(server.label).append("\t").append(server.site).append("\t").append(server.user).append("\t");
    line.append(server.password).append("\t").append(server.directory);
    return line;
}

int SaveFtpServers(const std::vector<CFtpServer>& servers, const std::string& path, std::string& errorText,
                   const std::vector<std::string>& unreadLines) {
    static std::atomic<unsigned> counter{0};
    std::string content;
    for (const CFtpServer& server : servers) content.append(FtpServerLine(server)).append("\r\n");
    for (const std::string& line : unreadLines) content.append(line).append("\r\n");

    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd.IsOpen(); ++attempt) {
        temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
        fd = UniqueFd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.IsOpen() && errno != EEXIST) break;
    }
    if (!fd.IsOpen()) {
        errorText = "Cannot create file";
        return -1;
    }
    // Passwords are in clear: owner only, whatever the umask or the mode of the file replaced.
    bool ok = ::fchmod(fd.Get(), 0600) == 0;
    ok = ok && WriteAll(fd.Get(), content.data(), content.size());
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        errorText = "Cannot create file";
        return -1;
    }
    return 0;
}

const CFtpServer* FindFtpServer(const std::vector<CFtpServer>& servers, std::string_view label) {
    std::string wanted(label);
    TrimChars(wanted, kWhiteSpace);
    for (const CFtpServer& server : servers) {
        if (server.label == wanted) return &server;
    }
    return nullptr;
}

}  // namespace winorvex
