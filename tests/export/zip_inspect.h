#pragma once
// Reads an archive back with other tools: python3's zipfile (every entry's name, method, extra
// field, comment, DOS date and bytes) and "unzip -t", run as child processes.
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"

namespace winorvex::test {

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
    const ProgramResult run = RunProgram({"/usr/bin/python3", "-c", kScript, archive});
    result.output = run.out + run.err;
    if (run.exitCode != 0) return result;
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
    const ProgramResult run = RunProgram({"/usr/bin/unzip", "-t", archive});
    output = run.out + run.err;
    return run.exitCode == 0;
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
