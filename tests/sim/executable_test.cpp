// The orvex-box-sim program as a script starts it: ready line, reads, control from standard input,
// clean end on SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "line_client.h"

extern char** environ;

namespace winorvex::sim {
namespace {

using namespace std::chrono_literals;

class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int out[2], in[2];
        if (::pipe(out) != 0 || ::pipe(in) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        args.insert(args.begin(), ORVEX_BOX_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ORVEX_BOX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(in[0]);
        out_ = out[0];
        in_ = in[1];
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait(2s);
        }
        if (out_ >= 0) ::close(out_);
        if (in_ >= 0) ::close(in_);
    }
    bool started() const { return pid_ > 0; }

    bool ReadLine(std::string* line, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const auto lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                *line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char chunk[512];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    bool WriteStdin(const std::string& text) {
        return ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void Signal(int sig) { ::kill(pid_, sig); }
    // The exit status, or -1 when the program did not end in time.
    int Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            pollfd none{-1, 0, 0};
            ::poll(&none, 0, 10);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    std::string buffer_;
};

std::map<std::string, int> ReadyPorts(const std::string& line) {
    std::map<std::string, int> ports;
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
        const auto eq = word.find('=');
        if (eq != std::string::npos) ports[word.substr(0, eq)] = std::stoi(word.substr(eq + 1));
    }
    return ports;
}

TEST(SimProgram, PrintsItsPortsStreamsTakesStdinCommandsAndEndsOnSigterm) {
    Program program({"--port", "0", "--side-port", "0", "--control-port", "0", "--rate", "200", "--count", "3",
                     "--stdin-control", "--quiet"});
    ASSERT_TRUE(program.started());
    std::string ready;
    ASSERT_TRUE(program.ReadLine(&ready));
    ASSERT_EQ(ready.rfind("orvex-box-sim ready port=", 0), 0u) << ready;
    auto ports = ReadyPorts(ready);
    ASSERT_GT(ports["port"], 0);
    ASSERT_GT(ports["side"], 0);
    ASSERT_GT(ports["control"], 0);

    test::LineClient client;
    ASSERT_TRUE(client.Connect(ports["port"]));
    std::string line;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client.ReadLine(&line));
        EXPECT_TRUE(test::HasValidChecksum(line)) << line;
    }
    ASSERT_TRUE(program.WriteStdin("stats\n"));
    std::string answer;
    ASSERT_TRUE(program.ReadLine(&answer));
    EXPECT_NE(answer.find("reads=3 "), std::string::npos) << answer;

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(5s), 0);
    EXPECT_TRUE(client.WaitClosed());
}

TEST(SimProgram, QuitFromTheControlChannelAndBadArguments) {
    Program program({"--model", "lite", "--port", "0", "--control-port", "0", "--quiet"});
    std::string ready;
    ASSERT_TRUE(program.ReadLine(&ready));
    auto ports = ReadyPorts(ready);
    EXPECT_EQ(ports["side"], 0);
    test::LineClient control;
    ASSERT_TRUE(control.Connect(ports["control"]));
    ASSERT_TRUE(control.Send("quit\n"));
    std::string answer;
    ASSERT_TRUE(control.ReadLine(&answer));
    EXPECT_EQ(answer, "ok");
    EXPECT_EQ(program.Wait(5s), 0);

    Program bad({"--rate", "fast"});
    EXPECT_EQ(bad.Wait(5s), 2);
}

}  // namespace
}  // namespace winorvex::sim
