#include "export/zip_dir.h"

#include <fcntl.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <ctime>
#include <filesystem>
#include <memory>
#include <new>
#include <string_view>

#include "core/log.h"
#include "core/text_format.h"
#include "core/unique_fd.h"
#include "detections/line_file_writer.h"

namespace winorvex {

namespace {

constexpr std::size_t kBlockSize = 8192;

std::atomic<std::FILE*> gDiagnosticStream{stdout};

void Diagnose(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Diagnose(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::string text = FormatV(fmt, args);
    va_end(args);
    if (std::FILE* stream = gDiagnosticStream.load()) {
        std::fputs(text.c_str(), stream);
        std::fflush(stream);
    }
    std::string line = "## ";
    line.append(text, 0, text.find_last_not_of('\n') + 1);
    Log(0, line);
}

struct ZipCloser {
    void operator()(void* zip) const {
        if (zip != nullptr) zipClose(zip, nullptr);
    }
};
using ZipHandle = std::unique_ptr<void, ZipCloser>;

std::string OwnName(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const auto slash = folder.find_last_of('/');
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

// DOS dates start in 1980; an older file is dated 1 January 1980.
zip_fileinfo InfoFor(std::time_t modified) {
    std::tm local{};
    if (localtime_r(&modified, &local) == nullptr || local.tm_year < 80) {
        local = std::tm{};
        local.tm_year = 80;
        local.tm_mday = 1;
    }
    zip_fileinfo info{};
    info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
    return info;
}

// Reads until the block is full or the file ends; -1 on a read error.
ssize_t ReadBlock(int fd, char* block, std::size_t size) {
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t n = ::read(fd, block + filled, size - filled);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(filled);
}

// One entry: the file streamed into it. 0 or the failure's code, with its diagnostic printed.
int AddEntry(void* zip, const std::string& path, const std::string& entryName, char* block) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Diagnose("_zpZipDir: Error in opening %s for reading\n", path.c_str());
        return kZipCannotOpen;
    }
    const zip_fileinfo info = InfoFor(st.st_mtime);
    int result = zipOpenNewFileInZip(zip, entryName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                     Z_DEFAULT_COMPRESSION);
    if (result != ZIP_OK) {
        Diagnose("_zpZipDir: Error in opening %s in zipfile\n", path.c_str());
        return result;
    }
    // The size seen when the file was opened is what must arrive: a file cut short or grown
    // while it is read would be archived as something it never was.
    const auto expected = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t copied = 0;
    while (true) {
        const ssize_t n = ReadBlock(fd.Get(), block, kBlockSize);
        if (n < 0 || (n == 0 && copied != expected) || copied + static_cast<std::uint64_t>(n) > expected) {
            Diagnose("_zpZipDir: Error in reading %s\n", path.c_str());
            zipCloseFileInZip(zip);
            return ZIP_ERRNO;
        }
        if (n == 0) break;
        copied += static_cast<std::uint64_t>(n);
        result = zipWriteInFileInZip(zip, block, static_cast<unsigned>(n));
        if (result < 0) {
            Diagnose("_zpZipDir: Error in writing %s in the zipfile\n", path.c_str());
            zipCloseFileInZip(zip);
            return result;
        }
    }
    result = zipCloseFileInZip(zip);
    if (result != ZIP_OK) Diagnose("_zpZipDir: Error in closing %s in the zipfile\n", path.c_str());
    return result;
}

// The archive is complete on disk before it takes the final name.
bool SyncFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.IsOpen() && ::fsync(fd.Get()) == 0;
}

void ListFolder(const std::filesystem::path& folder, const std::string& prefix, bool recursive,
                std::vector<std::string>& out) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::pair<std::string, bool>> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code statError;
        const bool isFolder = it->is_directory(statError);
        if (isFolder && !recursive) continue;
        if (!isFolder && !it->is_regular_file(statError)) continue;
        entries.emplace_back(name, isFolder);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, isFolder] : entries) {
        if (isFolder) {
            ListFolder(folder / name, prefix + name + "/", recursive, out);
        } else {
            out.push_back(prefix + name);
        }
    }
}

}  // namespace

void SetZipDiagnosticStream(std::FILE* stream) {
    gDiagnosticStream.store(stream);
}

int ZipFolderFiles(const std::string& folder, const std::vector<std::string>& relativeNames,
                   const std::string& archive) {
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockSize]);
    if (!block) {
        Diagnose("_zpZipDir: Error allocating memory\n");
        return kZipNoMemory;
    }
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string ownName = OwnName(base);

    const std::string temporary = TemporaryPathFor(archive);
    ZipHandle zip(zipOpen64(temporary.c_str(), APPEND_STATUS_CREATE));
    if (!zip) {
        Diagnose("_zpZipDir: Error opening %s\n", archive.c_str());
        ::unlink(temporary.c_str());
        return kZipCannotOpen;
    }
    int result = ZIP_OK;
    for (const std::string& name : relativeNames) {
        result = AddEntry(zip.get(), base + "/" + name, ownName + "/" + name, block.get());
        if (result != ZIP_OK) break;
    }
    if (zipClose(zip.release(), nullptr) != ZIP_OK) {
        Diagnose("_zpZipDir: Error in closing %s\n", archive.c_str());
        if (result == ZIP_OK) result = ZIP_ERRNO;
    }
    if (result == ZIP_OK && !SyncFile(temporary)) {
        Diagnose("_zpZipDir: Error in closing %s\n", archive.c_str());
        result = ZIP_ERRNO;
    }
    if (result == ZIP_OK && std::rename(temporary.c_str(), archive.c_str()) != 0) {
        Diagnose("_zpZipDir: Error in moving %s into place\n", archive.c_str());
        result = ZIP_ERRNO;
    }
    if (result != ZIP_OK) ::unlink(temporary.c_str());
    return result;
}

int _zpZipDir(const std::string& folder, const std::string& archive, bool recursive) {
    std::vector<std::string> names;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        Diagnose("_zpZipDir: Error in listing %s\n", folder.c_str());
        return kZipCannotOpen;
    }
    try {
        ListFolder(folder, "", recursive, names);
    } catch (const std::bad_alloc&) {
        Diagnose("_zpZipDir: Error allocating memory\n");
        return kZipNoMemory;
    }
    return ZipFolderFiles(folder, names, archive);
}

}  // namespace winorvex
