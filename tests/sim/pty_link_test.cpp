// The simulated reader on a serial line: the test opens the pseudo-terminal's slave as the
// station opens its port, and talks to the reader engine through it.
#include "pty_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "line_client.h"
#include "options.h"
#include "simulator.h"
#include "support/test_support.h"

namespace winorvex::sim {
namespace {

using namespace std::chrono_literals;
using test::CommandFrame;
using test::HasValidChecksum;
using winorvex::test::WaitFor;

// The station's end of the line, raw, with bounded line reads.
class Port {
public:
    explicit Port(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Port() { Close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool open() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool Send(const std::string& text) const {
        return ::write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // The next line without its line feed; false when none came within 3 s.
    bool ReadLine(std::string* line) {
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (true) {
            const auto lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                *line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char chunk[512];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n > 0) buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    // Lines until one starts with prefix.
    bool ReadUntil(const std::string& prefix, std::string* line) {
        for (int i = 0; i < 1000; ++i) {
            if (!ReadLine(line)) return false;
            if (line->rfind(prefix, 0) == 0) return true;
        }
        return false;
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

class PtyLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        Options o;
        o.model = Model::kLite;
        o.port = 0;
        o.rate = 200;
        o.quiet = true;
        sim_ = std::make_unique<Simulator>(o);
        std::string error;
        ASSERT_TRUE(sim_->Start(&error)) << error;
        ASSERT_TRUE(link_.Open(sim_->port(), &error)) << error;
        ASSERT_EQ(link_.slave_path().rfind("/dev/", 0), 0u) << link_.slave_path();
    }

    std::unique_ptr<Simulator> sim_;
    PtyLink link_;
};

TEST_F(PtyLinkTest, TheStationReadsTagsAndGetsRepliesOverTheLine) {
    EXPECT_FALSE(link_.station_attached());
    Port port(link_.slave_path());
    ASSERT_TRUE(port.open());
    std::string line;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(port.ReadLine(&line)) << i;
        EXPECT_EQ(line.substr(0, 2), "aa");
        EXPECT_TRUE(HasValidChecksum(line)) << line;
    }
    EXPECT_TRUE(link_.station_attached());
    ASSERT_TRUE(port.Send(CommandFrame("ab000002")));
    ASSERT_TRUE(port.ReadUntil("ab000902", &line));
    EXPECT_TRUE(HasValidChecksum(line)) << line;
    EXPECT_EQ(sim_->Stats()->engine.commands, 1u);
}

TEST_F(PtyLinkTest, ReaderTalksOnlyWhileThePortIsOpenAndComesBackAfterADrop) {
    auto port = std::make_unique<Port>(link_.slave_path());
    std::string line;
    ASSERT_TRUE(port->ReadUntil("aa", &line));

    // The station closes its port: the reader stops.
    port.reset();
    ASSERT_TRUE(WaitFor([&] { return !link_.station_attached(); }));
    ASSERT_TRUE(WaitFor([&] { return !sim_->Stats()->connected; }));

    port = std::make_unique<Port>(link_.slave_path());
    ASSERT_TRUE(port->ReadUntil("aa", &line));
    EXPECT_TRUE(HasValidChecksum(line)) << line;
    EXPECT_EQ(link_.attachments(), 2u);

    // A dropped reader connection only silences the line for a moment.
    ASSERT_EQ(sim_->Drop(), "ok");
    ASSERT_TRUE(WaitFor([&] { return sim_->Stats()->clients >= 3; }));
    ASSERT_TRUE(port->ReadUntil("aa", &line));
}

TEST(PtyLinkOptions, SerialModeNamesItsPortAndKeepsTheMainPortInternal) {
    Options o;
    bool help = false;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--serial"}, &o, &help, &error)) << error;
    EXPECT_TRUE(o.serial);
    EXPECT_EQ(o.port, 0);
    Options given;
    ASSERT_TRUE(ParseOptions({"--port", "12000", "--serial"}, &given, &help, &error)) << error;
    EXPECT_EQ(given.port, 12000);

    EXPECT_EQ(SerialReadyLine("orvex-box-sim ready port=1 side=2 control=3", "/dev/pts/4"),
              "orvex-box-sim ready serial=/dev/pts/4 port=1 side=2 control=3");
}

}  // namespace
}  // namespace winorvex::sim
