#pragma once
// Shared helpers for the tests: scratch folders, free loopback ports and bounded waits.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace winorvex::test {

// A fresh folder under the system temporary folder, removed with everything in it on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    // Writes a file (binary, exact bytes) below the folder and returns its full path.
    std::string WriteFile(const std::string& name, const std::string& bytes) const;
    std::string ReadFile(const std::string& name) const;

private:
    std::filesystem::path path_;
};

std::string ReadWholeFile(const std::string& path);

// A TCP port on 127.0.0.1 that was free when asked for.
int FreeLoopbackPort();

// Polls the condition every few milliseconds until it holds or the deadline passes.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));

}  // namespace winorvex::test
