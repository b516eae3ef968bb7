#pragma once
// Starts tests/ftp/ftp_test_server.py (pyftpdlib) as a child process on 127.0.0.1 and stops it
// again. No shell: posix_spawn of /usr/bin/python3. Used by the FTP tests and the FTP benchmark.
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace winorvex::test {

class PyFtpServer {
public:
    struct Options {
        std::string user = "tester";
        std::string password = "secret";
        bool anonymous = false;
        std::vector<std::string> stallOn;         // verbs never answered; "GREETING": no banner
        std::vector<std::string> refuseCommands;  // verbs answered with 502
        std::string refuseFolder;
        bool refuseRenameOntoExisting = false;
        bool refuseRename = false;  // 550 on every RNTO
        // "after": RNTO renames, then the control connection closes without a reply; "before": it
        // closes without renaming. Empty: RNTO as usual.
        std::string dropOnRename;
        long cutDataAfter = 0;  // bytes of an upload, then the data connection is closed
        long readLimit = 0;     // bytes/s an upload is read at; 0: no limit
        long writeLimit = 0;    // bytes/s a download is sent at; 0: no limit
    };

    PyFtpServer() = default;
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    // Serves `root`. False with the reason when the server cannot run here (no python3, no pyftpdlib).
    bool Start(const std::string& root, const Options& options, std::string& whyNot);
    void Stop();

    int Port() const { return port_; }
    std::string Site() const { return "127.0.0.1:" + std::to_string(port_); }
    // How many event lines start with `prefix` ("LOGIN", "CONNECT", "DROP") among those read so far.
    // The server writes its events as they happen and they are read on another thread: call
    // CatchUp first when the count must include everything the server did before now.
    int CountEvents(std::string_view prefix) const;
    // Waits (at most `timeout`) until every event the server wrote before this call has been read.
    bool CatchUp(std::chrono::milliseconds timeout = std::chrono::seconds(15));

private:
    void ReadOutput(int fd);

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable linesChanged_;  // a line read, or the output ended
    std::vector<std::string> lines_;
    bool outputEnded_ = false;
    int marks_ = 0;
    std::thread reader_;
};

}  // namespace winorvex::test
