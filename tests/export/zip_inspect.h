#pragma once
// Reads an archive back with other tools: python3's zipfile (every entry's name, method, extra
// field, comment, DOS date and bytes) and "unzip -t". The tools run as child processes
// (posix_spawn, no shell); their output is collected through a pipe.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace winorvex::test {

// Exit status of the program (-1 when it could not be run); standard output and error in output.
inline int RunProgram(const std::vector<std::string>& argv, std::string& output) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ZipEntryInfo {
    int method = -1;
    std::size_t extraLength = 0;
    std::size_t commentLength = 0;
    std::string dateTime;  // "Y-M-D h:m:s" as zipfile gives it
    std::string bytes;
};

struct ZipInspection {
    bool ok = false;  // python ran, the archive opened and testzip found nothing wrong
    std::size_t archiveCommentLength = 0;
    std::vector<std::string> names;  // in archive order
    std::map<std::string, ZipEntryInfo> entries;
    std::string output;
};

inline ZipInspection InspectZip(const std::string& archive) {
    static const char* const kScript =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "print('comment', len(z.comment))\n"
        "print('test', z.testzip())\n"
        "for i in z.infolist():\n"
        "    d = i.date_time\n"
        "    print('entry', i.filename, i.compress_type, len(i.extra), len(i.comment),\n"
        "          '%d-%d-%d_%d:%d:%d' % d, z.read(i.filename).hex() or '-', sep='\\t')\n";
    ZipInspection result;
    if (RunProgram({"/usr/bin/python3", "-c", kScript, archive}, result.output) != 0) return result;
    std::istringstream in(result.output);
    bool tested = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("comment ", 0) == 0) result.archiveCommentLength = std::stoul(line.substr(8));
        if (line == "test None") tested = true;
        if (line.rfind("entry\t", 0) != 0) continue;
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
        if (f.size() != 7) return result;
        ZipEntryInfo info;
        info.method = std::stoi(f[2]);
        info.extraLength = std::stoul(f[3]);
        info.commentLength = std::stoul(f[4]);
        info.dateTime = f[5];
        if (f[6] != "-") {
            for (std::size_t i = 0; i + 1 < f[6].size(); i += 2) {
                info.bytes += static_cast<char>(std::stoi(f[6].substr(i, 2), nullptr, 16));
            }
        }
        result.names.push_back(f[1]);
        result.entries[f[1]] = info;
    }
    result.ok = tested;
    return result;
}

// "unzip -t" accepts the archive.
inline bool UnzipTestPasses(const std::string& archive, std::string& output) {
    return RunProgram({"/usr/bin/unzip", "-t", archive}, output) == 0;
}

// The DOS date of a file's last-write time, as zipfile prints it (even seconds).
inline std::string DosDateOf(std::time_t modified) {
    std::tm local{};
    localtime_r(&modified, &local);
    std::ostringstream text;
    text << local.tm_year + 1900 << '-' << local.tm_mon + 1 << '-' << local.tm_mday << '_' << local.tm_hour << ':'
         << local.tm_min << ':' << local.tm_sec / 2 * 2;
    return text.str();
}

}  // namespace winorvex::test
