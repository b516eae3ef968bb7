// The serial transport over a pseudo-terminal pair: the test holds the master (the reader's end),
// the transport opens the slave path as its port.
#include "reader/serial_com_box.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "box_fixture.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "pty_peer.h"
#include "reader/orvex_box.h"
#include "support/test_support.h"

namespace winorvex {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;
using test::WaitFor;

struct ReadResult {
    int count;
    std::string text;
};

ReadResult Read(CSerialComBox& box, int capacity = 1024) {
    std::string buffer(static_cast<std::size_t>(capacity), '#');
    const int count = box.ReadLine(buffer.data(), capacity);
    return {count, std::string(buffer.c_str())};
}

class SerialComBoxTest : public test::BoxFixture {
protected:
    void Connect(CSerialComBox& box, int speed = 9600) {
        std::string error;
        ASSERT_TRUE(box.Connect(BoxAddress{"31", peer_.SlavePath(), speed}, error)) << error;
    }
    // Whatever was written to the master has reached the transport's reader thread.
    void WaitReceived(const CSerialCommHelper& helper, std::uint64_t bytes) {
        ASSERT_TRUE(WaitFor([&] { return helper.ReceivedCount() >= bytes; })) << helper.ReceivedCount();
    }

    PtyPeer peer_;
};

TEST_F(SerialComBoxTest, LinesArrivingInPiecesComeBackWholeWithTheirLineEnds) {
    CSerialComBox box;
    Connect(box);
    EXPECT_TRUE(box.IsOpen());

    peer_.Write("aa0102");
    WaitReceived(box, 6);
    EXPECT_FALSE(box.HasBufferedLine());
    peer_.Write("03\r\n");
    ReadResult r = Read(box);
    EXPECT_EQ(r.count, 10);
    EXPECT_EQ(r.text, "aa010203\r\n");

    // Two lines and the start of a third in one write: one line per call, the rest held back.
    peer_.Write("ab1\nab2\r\nab");
    WaitReceived(box, 20);
    EXPECT_TRUE(box.HasBufferedLine());
    EXPECT_EQ(Read(box).text, "ab1\n");
    EXPECT_EQ(Read(box).text, "ab2\r\n");
    peer_.Write("3\n");
    EXPECT_EQ(Read(box).text, "ab3\n");
    // A lone line feed is a line of its own, not an end of the link.
    peer_.Write("\n");
    r = Read(box);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.text, "\n");
}

TEST_F(SerialComBoxTest, OnlyStartedReceptionKeepsDataAndAcceptsWrites) {
    CSerialCommHelper helper;
    std::string error;
    ASSERT_TRUE(helper.Init(peer_.SlavePath(), 9600, SerialParity::kNone, SerialStopBits::kOne, 8, error)) << error;
    EXPECT_EQ(helper.CommState(), CSerialCommHelper::kOpen);
    EXPECT_EQ(helper.WriteText("ignored\n"), -1);

    char line[64];
    peer_.Write("early\n");
    WaitReceived(helper, 6);
    helper.Start();
    EXPECT_EQ(helper.ReadUntil(line, sizeof line - 1, '\n', 50ms), 0);
    peer_.Write("late\n");
    ASSERT_EQ(helper.ReadUntil(line, sizeof line - 1, '\n', 5s), 5);
    EXPECT_STREQ(line, "late\n");

    helper.Stop();
    EXPECT_EQ(helper.ReadUntil(line, sizeof line - 1, '\n', 10ms), CSerialCommHelper::kReadNotStarted);
    peer_.Write("while stopped\n");
    WaitReceived(helper, 25);
    helper.Start();
    peer_.Write("back\n");
    ASSERT_EQ(helper.ReadUntil(line, sizeof line - 1, '\n', 5s), 5);
    EXPECT_STREQ(line, "back\n");

    // Only the text up to a zero byte goes out.
    EXPECT_EQ(helper.WriteText(std::string_view("ab01\r\n\0tail", 11)), 0);
    EXPECT_EQ(peer_.Receive(6), "ab01\r\n");

    helper.Shutdown();
    EXPECT_EQ(helper.CommState(), CSerialCommHelper::kIdle);
    EXPECT_FALSE(helper.IsConnected());
    EXPECT_EQ(helper.WriteText("late\n"), -1);
}

TEST_F(SerialComBoxTest, WriteSendsTheFrameAsItIsAndFailsWhenClosed) {
    CSerialComBox box;
    Connect(box);
    const std::string frame = "ab0000000203\r\n";
    EXPECT_EQ(box.Write(frame.data(), static_cast<int>(frame.size())), static_cast<int>(frame.size()));
    EXPECT_EQ(peer_.Receive(frame.size()), frame);

    EXPECT_TRUE(box.Close());
    EXPECT_FALSE(box.IsOpen());
    EXPECT_EQ(box.Write(frame.data(), static_cast<int>(frame.size())), -1);
    EXPECT_LT(Read(box).count, 0);
}

TEST_F(SerialComBoxTest, DisconnectFromAnotherThreadEndsAWaitingRead) {
    CSerialComBox box;
    Connect(box);
    auto reading = std::async(std::launch::async, [&box] { return Read(box); });
    ASSERT_EQ(reading.wait_for(50ms), std::future_status::timeout) << "ReadLine returned without a line";

    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(box.Disconnect());
    ASSERT_EQ(reading.wait_for(5s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
    const ReadResult r = reading.get();
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.text, "");
    EXPECT_TRUE(box.IsClosedOnRequest());
    EXPECT_FALSE(box.IsOpen());

    // A new connection clears the flag and reads again.
    Connect(box);
    EXPECT_FALSE(box.IsClosedOnRequest());
    EXPECT_TRUE(box.IsOpen());
    peer_.Write("again\n");
    EXPECT_EQ(Read(box).text, "again\n");
}

TEST_F(SerialComBoxTest, UnpluggedReaderIsALostLinkNotAClosedOne) {
    CSerialComBox box;
    Connect(box);
    auto reading = std::async(std::launch::async, [&box] { return Read(box); });
    ASSERT_EQ(reading.wait_for(50ms), std::future_status::timeout);

    peer_.CloseMaster();
    ASSERT_EQ(reading.wait_for(5s), std::future_status::ready) << "a lost device must end the read";
    EXPECT_LT(reading.get().count, 0);
    EXPECT_FALSE(box.IsClosedOnRequest());
    EXPECT_FALSE(box.IsOpen());
    EXPECT_TRUE(LogHas("device disconnected"));

    // The worker's reconnection finds the device gone, with a reason.
    std::string error;
    EXPECT_FALSE(box.Connect(BoxAddress{"31", peer_.SlavePath(), 9600}, error));
    EXPECT_NE(error.find("Erreur de connexion au port " + peer_.SlavePath()), std::string::npos) << error;
}

TEST_F(SerialComBoxTest, OverlongInputStaysBoundedAndTheLinkGoesOn) {
    CSerialComBox box;
    Connect(box);
    const std::string run(5000, 'x');
    const std::string next = "aa0102\n";
    auto writing = std::async(std::launch::async, [&] { peer_.Write(run + next); });

    // Pieces never pass capacity - 1, whatever capacity the caller offers, and never write past
    // the capacity given.
    std::size_t taken = 0;
    std::string last;
    for (int i = 0; i < 100 && (last.empty() || last.back() != '\n'); ++i) {
        std::string buffer(2048, '#');
        const int count = box.ReadLine(buffer.data(), 1024);
        ASSERT_GT(count, 0);
        ASSERT_LE(count, 1023);
        EXPECT_EQ(buffer.find_first_not_of('#', 1024), std::string::npos) << "written past the capacity";
        last.assign(buffer.c_str());
        ASSERT_EQ(static_cast<int>(last.size()), count);
        taken += last.size();
    }
    writing.get();
    ASSERT_EQ(last.back(), '\n');
    // Every byte is either handed out or counted as dropped (when this thread fell behind).
    EXPECT_EQ(taken + box.DroppedCount(), run.size() + next.size());
    if (box.DroppedCount() > 0) {
        EXPECT_TRUE(WaitFor([&] { return LogHas("serial buffer overflow"); }));
    } else {
        EXPECT_FALSE(LogHas("serial buffer overflow"));
    }

    peer_.Write("ab03\n");
    EXPECT_EQ(Read(box, 4096).text, "ab03\n");
    EXPECT_TRUE(box.IsOpen());
}

TEST_F(SerialComBoxTest, ConnectFailuresNameThePortAndTheCause) {
    CSerialComBox box;
    std::string error;
    EXPECT_FALSE(box.Connect(BoxAddress{"31", "/dev/winorvex-no-such-port", 9600}, error));
    EXPECT_EQ(error, "Erreur de connexion au port /dev/winorvex-no-such-port : [#2]= \"No such file or directory\"");

    EXPECT_FALSE(box.Connect(BoxAddress{"31", "/dev/null", 9600}, error));
    EXPECT_EQ(error, "Erreur GetCommState pour le port /dev/null : [#25]= \"Inappropriate ioctl for device\"");

    // A name that is no port name and no device path names no device.
    EXPECT_FALSE(box.Connect(BoxAddress{"31", "telecom.example", 9600}, error));
    EXPECT_EQ(error, "Erreur de connexion au port telecom.example : [#19]= \"No such device\"");
    EXPECT_FALSE(box.IsOpen());

    // One port, one program: a second transport on the same device is refused.
    CSerialComBox first;
    Connect(first);
    const BoxAddress same{"32", peer_.SlavePath(), 9600};
    EXPECT_FALSE(box.Connect(same, error));
    EXPECT_EQ(error, "Erreur de connexion au port " + peer_.SlavePath() + " : [#16]= \"Device or resource busy\"");
    first.Close();
    EXPECT_TRUE(box.Connect(same, error)) << error;
}

TEST_F(SerialComBoxTest, PortOpensRawAt9600WhateverTheConfiguredSpeed) {
    // A second descriptor on the line shows the settings the transport gave it.
    const int observer = ::open(peer_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(observer, 0);
    CSerialComBox box;
    Connect(box, 19200);
    termios tio{};
    ASSERT_EQ(::tcgetattr(observer, &tio), 0);
    ::close(observer);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ((BoxAddress{"31", peer_.SlavePath(), 19200}).Description(), "[" + peer_.SlavePath() + ":19200 31]");
}

TEST(SerialComBoxParameters, DescriptionsAndTagsShowTheConfiguredSpeed) {
    BoxAddress address{"31", "COM1", 0};
    EXPECT_FALSE(address.HasAddress());
    EXPECT_FALSE(address.IsConfigured());
    EXPECT_EQ(address.Description(), "[COM1:0 31]");

    address = BoxAddress{"7", "COM3", 19200};
    EXPECT_TRUE(address.HasAddress());
    EXPECT_TRUE(address.IsConfigured());
    EXPECT_TRUE(address.IsSerial());
    EXPECT_EQ(address.Description(), "[COM3:19200 7]");
    EXPECT_EQ(address.FileTag(), "COM3-19200-7");

    // The tag names files: a device path must not turn it into folders.
    address = BoxAddress{"31", "/dev/pts/7", 4800};
    EXPECT_EQ(address.Description(), "[/dev/pts/7:4800 31]");
    EXPECT_EQ(address.FileTag(), "7-4800-31");

    address = BoxAddress{"31", "", 9600};
    EXPECT_TRUE(address.HasAddress());
    EXPECT_FALSE(address.IsConfigured());

    // A slot keeps the address it is given whatever its transport.
    COrvexBox box;
    box.SetTransport(std::make_unique<CSerialComBox>());
    box.SetAddress(BoxAddress{"7", "COM3", 19200});
    EXPECT_TRUE(box.IsSerial());
    EXPECT_EQ(box.Address(), (BoxAddress{"7", "COM3", 19200}));
}

TEST(SerialTransportChoice, PortNamesMapToDevices) {
    EXPECT_EQ(CSerialComBox::DevicePathFor("COM1"), "/dev/ttyS0");
    EXPECT_EQ(CSerialComBox::DevicePathFor("com3"), "/dev/ttyS2");
    EXPECT_EQ(CSerialComBox::DevicePathFor("Com12"), "/dev/ttyS11");
    EXPECT_EQ(CSerialComBox::DevicePathFor("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(CSerialComBox::DevicePathFor("/dev/ttyUSB0"), "/dev/ttyUSB0");
    for (const char* none : {"COM", "com", "COM0", "COM3x", "COM-1", "COM99999", "telecom.example", "xCOM3"}) {
        EXPECT_EQ(CSerialComBox::DevicePathFor(none), "") << none;
    }
}

class SerialTransportChoiceTest : public test::BoxFixture {};

TEST_F(SerialTransportChoiceTest, TheHostTextPicksTheTransportAndLoadingExchangesIt) {
    for (const char* serial : {"com3", "COM1", "Com12", "/dev/pts/7"}) {
        EXPECT_TRUE(COrvexBox::MakeTransportFor(serial)->IsSerial()) << serial;
    }
    // Host names that merely hold the letters are TCP readers.
    for (const char* tcp : {"reader", "192.168.1.50", "", "dev/ttyS0", "telecom", "TeleCom.example",
                            "reader.example.com", "ELITECOMPACT", "COM", "COM3x", "xCOM3"}) {
        EXPECT_FALSE(COrvexBox::MakeTransportFor(tcp)->IsSerial()) << tcp;
    }

    COrvexBox box;
    WriteSettingText(keys::kOrvexBoxes, "BoxHost0", "com3");
    WriteSettingInt(keys::kOrvexBoxes, "BoxPort0", 19200);
    WriteSettingText(keys::kOrvexBoxes, "BoxIdDetector0", "12");
    box.LoadSettings(0);
    ASSERT_TRUE(box.Transport()->IsSerial());
    EXPECT_EQ(box.GetLabel(), "Box 1 [com3:19200 12]");

    WriteSettingText(keys::kOrvexBoxes, "BoxHost0", "reader");
    WriteSettingInt(keys::kOrvexBoxes, "BoxPort0", 10000);
    box.LoadSettings(0);
    ASSERT_FALSE(box.Transport()->IsSerial());
    EXPECT_EQ(box.GetLabel(), "Box 1 [reader:10000 12]");
}

// A stop can shut the port before the connection is through; closing must still leave the box
// inactive, or the connect button would take it for a connected box forever.
TEST(SerialComBoxParameters, CloseLeavesTheBoxInactiveEvenWithThePortAlreadyShut) {
    COrvexBox box;
    box.SetTransport(std::make_unique<CSerialComBox>());
    box.SetAddress(BoxAddress{"31", "/dev/pts/7", 9600});
    EXPECT_TRUE(box.Transport()->Close());
    EXPECT_FALSE(box.IsOpen());
    EXPECT_FALSE(box.IsActive());
}

}  // namespace
}  // namespace winorvex
