#include "ftp/pyftpd_server.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace winorvex::test {

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// A write into the server's input that cannot raise SIGPIPE when the server has gone.
bool WriteQuietly(int fd, const std::string& text) {
    sigset_t pipeOnly;
    sigset_t old;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &old);
    ssize_t n = 0;
    do {
        n = ::write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EPIPE) {
        const timespec none{};
        sigtimedwait(&pipeOnly, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return n == static_cast<ssize_t>(text.size());
}

}  // namespace

PyFtpServer::~PyFtpServer() {
    Stop();
}

bool PyFtpServer::Start(const std::string& root, const Options& options, std::string& whyNot) {
    if (::access(kPython, X_OK) != 0) {
        whyNot = std::string(kPython) + " is not available";
        return false;
    }
    std::vector<std::string> args = {
        kPython,         WINORVEX_FTP_TEST_SERVER_SCRIPT, "--root", root, "--user", options.user, "--password",
        options.password};
    if (options.anonymous) args.emplace_back("--anonymous");
    for (const std::string& verb : options.stallOn) {
        args.emplace_back("--stall-on");
        args.push_back(verb);
    }
    for (const std::string& verb : options.refuseCommands) {
        args.emplace_back("--refuse-command");
        args.push_back(verb);
    }
    if (!options.refuseFolder.empty()) {
        args.emplace_back("--refuse-folder");
        args.push_back(options.refuseFolder);
    }
    if (options.refuseRenameOntoExisting) args.emplace_back("--refuse-rename-existing");
    if (options.refuseRename) args.emplace_back("--refuse-rename");
    if (!options.dropOnRename.empty()) {
        args.emplace_back("--drop-on-rename");
        args.push_back(options.dropOnRename);
    }
    if (options.cutDataAfter > 0) {
        args.emplace_back("--cut-data-after");
        args.push_back(std::to_string(options.cutDataAfter));
    }
    if (options.writeLimit > 0) {
        args.emplace_back("--write-limit");
        args.push_back(std::to_string(options.writeLimit));
    }
    if (options.readLimit > 0) {
        args.emplace_back("--read-limit");
        args.push_back(std::to_string(options.readLimit));
    }
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
        outputEnded_ = false;
    }
    port_ = 0;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        whyNot = "pipe failed";
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        whyNot = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawn(&pid_, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(in[1]);
        ::close(out[0]);
        pid_ = -1;
        whyNot = "cannot start " + std::string(kPython);
        return false;
    }
    stdinFd_ = in[1];
    reader_ = std::thread([this, fd = out[0]] { ReadOutput(fd); });

    // The first line says whether it listens.
    std::string first;
    {
        std::unique_lock lock(mutex_);
        linesChanged_.wait_for(lock, std::chrono::seconds(15), [this] { return !lines_.empty() || outputEnded_; });
        if (!lines_.empty()) first = lines_.front();
    }
    if (first.rfind("PORT ", 0) == 0) {
        port_ = std::stoi(first.substr(5));
        if (port_ > 0) return true;
    }
    whyNot = first.rfind("NO-PYFTPDLIB", 0) == 0 ? "pyftpdlib is not installed (" + first + ")"
                                                 : "the test FTP server did not start";
    Stop();
    return false;
}

void PyFtpServer::Stop() {
    if (stdinFd_ >= 0) {
        ::close(stdinFd_);
        stdinFd_ = -1;
    }
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (reader_.joinable()) reader_.join();
}

void PyFtpServer::ReadOutput(int fd) {
    std::string pending;
    char buffer[1024];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t at;
        while ((at = pending.find('\n')) != std::string::npos) {
            {
                std::lock_guard lock(mutex_);
                lines_.push_back(pending.substr(0, at));
            }
            linesChanged_.notify_all();
            pending.erase(0, at + 1);
        }
    }
    ::close(fd);
    {
        std::lock_guard lock(mutex_);
        outputEnded_ = true;
    }
    linesChanged_.notify_all();
}

bool PyFtpServer::CatchUp(std::chrono::milliseconds timeout) {
    if (stdinFd_ < 0) return false;
    const std::string mark = "MARK " + std::to_string(++marks_);
    if (!WriteQuietly(stdinFd_, mark + "\n")) return false;
    const auto marked = [this, &mark] { return std::find(lines_.rbegin(), lines_.rend(), mark) != lines_.rend(); };
    std::unique_lock lock(mutex_);
    linesChanged_.wait_for(lock, timeout, [&] { return marked() || outputEnded_; });
    return marked();
}

int PyFtpServer::CountEvents(std::string_view prefix) const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const std::string& line : lines_) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

}  // namespace winorvex::test
