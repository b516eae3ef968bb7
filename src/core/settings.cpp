#include "core/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "core/ini_document.h"
#include "core/unique_fd.h"

namespace winorvex {

namespace {

constexpr std::size_t kTextReadLimit = 2047;  // characters, as the station always read them

// Identity of a file's content as far as stat can tell: a replace by rename changes the inode,
// an edit in place the time or size.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp StampFrom(const struct stat& st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return StampFrom(st);
}

// Reads the whole file and the stamp of what was read. An unreadable file reads as empty.
std::string ReadWithStamp(const std::string& path, FileStamp& stamp) {
    stamp = {};
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return {};
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    stamp = StampFrom(st);
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Writes a sibling temporary file and renames it over the target, so that a reader (or a crash)
// sees either the old file or the new one, never half of it. Gives the stamp of the new file.
bool ReplaceFile(const std::string& path, const std::string& content, FileStamp& stamp) {
    static std::atomic<unsigned> counter{0};
    struct stat previous {};
    const bool hadFile = ::stat(path.c_str(), &previous) == 0;

    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
        temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST) return false;
    }
    if (raw < 0) return false;
    UniqueFd fd(raw);

    bool ok = true;
    if (hadFile) ok = ::fchmod(fd.Get(), previous.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd.Get(), content.data(), content.size());
    struct stat written {};
    ok = ok && ::fstat(fd.Get(), &written) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    stamp = StampFrom(written);
    return true;
}

struct CachedFile {
    FileStamp stamp;
    IniDocument doc;
};

// The one place that touches settings files; everything goes through its mutex, so threads never
// interleave a read-modify-write.
struct SettingsStore {
    std::mutex mutex;
    std::string path;
    std::unordered_map<std::string, CachedFile> cache;

    // Caller holds the mutex.
    const IniDocument& Current(const std::string& file) {
        const FileStamp now = StampOf(file);
        auto it = cache.find(file);
        if (it != cache.end() && it->second.stamp == now) return it->second.doc;
        CachedFile fresh;
        fresh.doc = IniDocument::Parse(ReadWithStamp(file, fresh.stamp));
        auto& slot = cache[file];
        slot = std::move(fresh);
        return slot.doc;
    }

    std::optional<std::string> Lookup(std::string_view section, std::string_view key, const std::string& file) {
        if (file.empty()) return std::nullopt;
        std::lock_guard lock(mutex);
        const auto value = Current(file).Find(section, key);
        if (!value) return std::nullopt;
        return std::string(*value);
    }

    void Store(std::string_view section, std::string_view key, std::string_view value, const std::string& file) {
        if (file.empty()) return;
        std::lock_guard lock(mutex);
        IniDocument doc = Current(file);
        if (!doc.Set(section, key, value)) return;
        FileStamp stamp;
        // A failed write leaves both the file and the cached copy as they were.
        if (!ReplaceFile(file, doc.Serialise(), stamp)) return;
        cache[file] = CachedFile{stamp, std::move(doc)};
    }
};

SettingsStore& Store() {
    static SettingsStore store;
    return store;
}

std::string CurrentPath() {
    std::lock_guard lock(Store().mutex);
    return Store().path;
}

// Leading digits after an optional sign; no digits reads 0 and a negative number reads 0.
int ProfileInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return negative ? 0 : static_cast<int>(value);
}

// Cuts after kTextReadLimit characters without splitting a UTF-8 sequence.
std::string CutText(std::string text) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80) continue;
        if (characters == kTextReadLimit) {
            text.resize(i);
            break;
        }
        ++characters;
    }
    return text;
}

}  // namespace

void SetSettingsFilePath(const std::string& path) {
    std::lock_guard lock(Store().mutex);
    Store().cache.clear();
    Store().path = path;
}

std::string SettingsFilePath() {
    return CurrentPath();
}

void FlushSettings() {
    std::lock_guard lock(Store().mutex);
    Store().cache.clear();
}

int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue, const std::string& file) {
    const auto value = Store().Lookup(section, key, file);
    if (!value || value->empty()) return defaultValue;
    return ProfileInt(*value);
}

bool ReadSettingBool(std::string_view section, std::string_view key, bool defaultValue, const std::string& file) {
    return ReadSettingInt(section, key, defaultValue ? 1 : 0, file) != 0;
}

std::string ReadSettingText(std::string_view section, std::string_view key, std::string_view defaultValue,
                            const std::string& file) {
    auto value = Store().Lookup(section, key, file);
    if (!value) return std::string(defaultValue);
    return CutText(std::move(*value));
}

void WriteSettingInt(std::string_view section, std::string_view key, int value, const std::string& file) {
    Store().Store(section, key, std::to_string(value), file);
}

void WriteSettingBool(std::string_view section, std::string_view key, bool value, const std::string& file) {
    Store().Store(section, key, value ? "1" : "0", file);
}

void WriteSettingText(std::string_view section, std::string_view key, std::string_view value, const std::string& file) {
    Store().Store(section, key, value, file);
}

int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue) {
    return ReadSettingInt(section, key, defaultValue, CurrentPath());
}

bool ReadSettingBool(std::string_view section, std::string_view key, bool defaultValue) {
    return ReadSettingBool(section, key, defaultValue, CurrentPath());
}

std::string ReadSettingText(std::string_view section, std::string_view key, std::string_view defaultValue) {
    return ReadSettingText(section, key, defaultValue, CurrentPath());
}

void WriteSettingInt(std::string_view section, std::string_view key, int value) {
    WriteSettingInt(section, key, value, CurrentPath());
}

void WriteSettingBool(std::string_view section, std::string_view key, bool value) {
    WriteSettingBool(section, key, value, CurrentPath());
}

void WriteSettingText(std::string_view section, std::string_view key, std::string_view value) {
    WriteSettingText(section, key, value, CurrentPath());
}

}  // namespace winorvex
