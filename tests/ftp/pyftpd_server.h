#pragma once
// Starts tests/ftp/ftp_test_server.py (pyftpdlib) as a child process on 127.0.0.1 and stops it
// again. No shell: posix_spawn of /usr/bin/python3. Used by the FTP tests and the FTP benchmark.
#include <sys/types.h>

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
        std::vector<std::string> stallOn;  // verbs never answered; "GREETING": no banner
        std::string refuseFolder;
        bool refuseRenameOntoExisting = false;
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
    // How many event lines start with `prefix` ("LOGIN", "CONNECT").
    int CountEvents(std::string_view prefix) const;

private:
    void ReadOutput(int fd);

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    bool outputEnded_ = false;
    std::thread reader_;
};

}  // namespace winorvex::test
