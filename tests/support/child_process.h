#pragma once
// A program of the project run as a separate process, as an operator would from a shell, with its
// output in files of a scratch folder; killed if the test leaves it running.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace winorvex::test {

class ChildProcess {
public:
    ChildProcess(const std::string& program, const ScratchDir& scratch, std::vector<std::string> args,
                 const std::string& name = "child")
        : outPath_(scratch.str() + "/" + name + ".out"), errPath_(scratch.str() + "/" + name + ".err") {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        args.insert(args.begin(), program);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { kill(pid_, signal); }
    // The exit code once the program ended by itself within the deadline, else -1.
    int Wait(std::chrono::milliseconds deadline) {
        int status = 0;
        ended_ = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, deadline);
        return ended_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() const { return ReadWholeFile(outPath_); }
    std::string Err() const { return ReadWholeFile(errPath_); }

private:
    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = -1;
    bool ended_ = false;
};

}  // namespace winorvex::test
