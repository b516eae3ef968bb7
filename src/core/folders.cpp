#include "core/folders.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <vector>

#include "core/file_utils.h"
#include "core/text_format.h"

namespace winorvex {

namespace {

struct FolderState {
    std::mutex mutex;
    std::optional<std::string> dataOverride;
    std::string programOverride;
    std::optional<bool> portable;  // the marker is looked for once per run
};

FolderState& State() {
    static FolderState state;
    return state;
}

std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

const std::string& RealProgramFolder() {
    static const std::string folder = [] {
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (n <= 0) return std::string(".");
        return FolderOf(std::string(buffer.data(), static_cast<std::size_t>(n)));
    }();
    return folder;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return WithoutTrailingSlashes(home);
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return WithoutTrailingSlashes(found->pw_dir);
    }
    return {};
}

// XDG base folders must be absolute; a relative value is to be ignored.
std::string XdgBase(const char* variable, const char* fallbackBelowHome) {
    const std::string value = Env(variable);
    if (!value.empty() && value.front() == '/') return WithoutTrailingSlashes(value);
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + fallbackBelowHome;
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" from user-dirs.dirs.
std::string DocumentsFromUserDirs(const std::string& home) {
    const std::string config = XdgBase("XDG_CONFIG_HOME", "/.config");
    if (config.empty()) return {};
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string key = "XDG_DOCUMENTS_DIR=";
    std::string line;
    while (std::getline(in, line)) {
        TrimChars(line, " \t\r");
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        TrimChars(value, "\"");
        if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
        if (value.empty() || value.front() != '/') return {};
        return WithoutTrailingSlashes(value);
    }
    return {};
}

bool IsPortable(const std::string& programFolder) {
    FolderState& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.portable) {
        struct stat st {};
        state.portable = ::stat((programFolder + "/_useXPdirs").c_str(), &st) == 0;
    }
    return *state.portable;
}

}  // namespace

std::string GetProgramFolder() {
    {
        std::lock_guard lock(State().mutex);
        if (!State().programOverride.empty()) return State().programOverride;
    }
    return RealProgramFolder();
}

std::string GetDataFolder() {
    {
        std::lock_guard lock(State().mutex);
        if (State().dataOverride) return *State().dataOverride;
    }
    const std::string forced = Env("WINORVEX_DATA_DIR");
    if (!forced.empty()) {
        const std::string folder = WithoutTrailingSlashes(forced);
        MakeFolderPath(folder);
        return folder;
    }
    const std::string program = GetProgramFolder();
    if (IsPortable(program)) return program;

    const std::string base = XdgBase("XDG_DATA_HOME", "/.local/share");
    if (base.empty()) return {};
    const std::string folder = base + "/Norvane/WinORVEX";
    return MakeFolderPath(folder) ? folder : std::string();
}

std::string GetLogFolder() {
    const std::string folder = GetDataFolder() + "/logfiles";
    MakeFolderPath(folder);
    return folder;
}

std::string GetSettingsFilePath() {
    return GetDataFolder() + "/WinORVEX.ini";
}

std::string GetLogFilePath() {
    return GetLogFolder() + "/WinORVEX.log";
}

std::string IncomingDetectionsFileName(const std::tm& local) {
    return Format("WinORVEX-%4d%02d%02d-%02d%02d%02d.dat", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
}

std::string GetIncomingDetectionsFilePath() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return GetLogFolder() + "/" + IncomingDetectionsFileName(local);
}

std::string GetFtpServersFilePath() {
    return GetDataFolder() + "/FtpServers.dat";
}

std::string GetDocumentsFolder() {
    const std::string forced = Env("XDG_DOCUMENTS_DIR");
    if (!forced.empty() && forced.front() == '/' && IsFolder(forced)) return WithoutTrailingSlashes(forced);
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    const std::string fromConfig = DocumentsFromUserDirs(home);
    if (IsFolder(fromConfig)) return fromConfig;
    return home;
}

std::string GetDefaultExportFilePath() {
    return GetDocumentsFolder() + "/WinORVEX.rix";
}

void SetDataFolderOverride(const std::string& folder) {
    std::lock_guard lock(State().mutex);
    State().dataOverride = WithoutTrailingSlashes(folder);
    State().portable.reset();
}

void ClearDataFolderOverride() {
    std::lock_guard lock(State().mutex);
    State().dataOverride.reset();
    State().portable.reset();
}

void SetProgramFolderOverride(const std::string& folder) {
    std::lock_guard lock(State().mutex);
    State().programOverride = WithoutTrailingSlashes(folder);
    State().portable.reset();
}

}  // namespace winorvex
