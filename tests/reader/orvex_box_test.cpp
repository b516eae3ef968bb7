#include "reader/orvex_box.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>

#include "box_fixture.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "loopback_peer.h"
#include "reader/command_frame.h"
#include "reader/tcp_com_box.h"

namespace winorvex {
namespace {

using test::ListenOnLoopback;
using test::ReceiveBytes;

std::string WireFrame(int code) {
    std::string frame;
    EXPECT_TRUE(BuildCommandFrame(code, "", frame));
    return frame + "\r\n";
}

class OrvexBoxTest : public test::BoxFixture {
protected:
    // Slot 1 pointed at a loopback listener and connected; returns the reader side.
    TcpSocket ConnectSlot(COrvexBox& box, const TcpListener& listener) {
        WriteSettingText(keys::kOrvexBoxes, "BoxHost0", "127.0.0.1");
        WriteSettingInt(keys::kOrvexBoxes, "BoxPort0", listener.Port());
        box.LoadSettings(0);
        std::string error;
        EXPECT_TRUE(box.ConnectTransport(error)) << error;
        return listener.Accept(5000);
    }
};

TEST_F(OrvexBoxTest, SlotSettingsRoundTrip) {
    WriteSettingText(keys::kOrvexBoxes, "BoxHost2", "192.168.1.50");
    WriteSettingInt(keys::kOrvexBoxes, "BoxPort2", 10000);
    WriteSettingText(keys::kOrvexBoxes, "BoxIdDetector2", "C31");
    WriteSettingInt(keys::kOrvexBoxes, "BoxSidePort2", 19999);

    COrvexBox box;
    box.LoadSettings(2);
    EXPECT_EQ(box.BoxNumber(), 3);
    EXPECT_EQ(box.GetLabel(), "Box 3 [50:10000 C31]");
    EXPECT_EQ(box.GetDetectorId(), "C31");
    EXPECT_EQ(box.SidePort(), 19999);
    EXPECT_TRUE(box.IsConfigured());

    box.SaveSettings(0);
    EXPECT_EQ(ReadSettingText(keys::kOrvexBoxes, "BoxHost0", "?"), "192.168.1.50");
    EXPECT_EQ(ReadSettingInt(keys::kOrvexBoxes, "BoxPort0", -1), 10000);
    EXPECT_EQ(ReadSettingText(keys::kOrvexBoxes, "BoxIdDetector0", "?"), "C31");
    // The side port is a test and service override: it is never written back.
    EXPECT_EQ(ReadSettingText(keys::kOrvexBoxes, "BoxSidePort0", "absent"), "absent");

    // A slot without keys is not configured and takes the defaults.
    COrvexBox empty;
    empty.LoadSettings(1);
    EXPECT_EQ(empty.BoxNumber(), 2);
    EXPECT_EQ(empty.GetDetectorId(), "31");
    EXPECT_EQ(empty.SidePort(), COrvexBox::kDefaultSidePort);
    EXPECT_FALSE(empty.IsConfigured());
    EXPECT_FALSE(empty.HasAddress());
}

TEST_F(OrvexBoxTest, ReloadKeepsTheTransportAndItsLink) {
    TcpListener listener = ListenOnLoopback();
    COrvexBox box;
    TcpSocket peer = ConnectSlot(box, listener);
    const CComBox* before = box.Transport();
    WriteSettingText(keys::kOrvexBoxes, "BoxIdDetector0", "C32");
    box.LoadSettings(0);
    EXPECT_EQ(box.Transport(), before);
    EXPECT_TRUE(box.Transport()->IsOpen());
    EXPECT_EQ(box.GetDetectorId(), "C32");
}

TEST_F(OrvexBoxTest, LabelFollowsTheLanguage) {
    COrvexBox box;
    box.SetBoxNumber(1);
    box.SetAddress(BoxAddress{"31", "10.0.0.50", 10000});
    EXPECT_EQ(box.GetLabel(), "Box 1 [50:10000 31]");
    SetLanguage(Language::French);
    EXPECT_EQ(box.GetLabel(), "Boîtier 1 [50:10000 31]");
}

TEST_F(OrvexBoxTest, CommandsOnABoxThatIsNotReady) {
    COrvexBox box;
    box.LoadSettings(0);  // nothing configured
    std::string error;
    EXPECT_FALSE(box.SendNamedCommand(kCommandRecordStart, "Record Start", error));
    EXPECT_EQ(error, "Invalid box internal data");
    EXPECT_FALSE(box.StartDownload((scratch_.path() / "d.txt").string(), error));
    EXPECT_EQ(error, "Invalid box internal data");

    box.SetAddress(BoxAddress{"31", "10.0.0.50", 10000});
    EXPECT_FALSE(box.SendNamedCommand(kCommandRecordStart, "Record Start", error));
    EXPECT_EQ(error, "Box 1 [50:10000 31] is not connected");
    SetLanguage(Language::French);
    EXPECT_FALSE(box.SendNamedCommand(kCommandRecordStart, "Record Start", error));
    EXPECT_EQ(error, "Boîtier 1 [50:10000 31] non connecté");
    EXPECT_FALSE(box.SendRawCommand(kCommandRecordStart, "", error));
    EXPECT_EQ(error, "Connexion non ouverte");
    EXPECT_FALSE(box.StartDownload((scratch_.path() / "d.txt").string(), error));
    EXPECT_EQ(error, "Box is not connected");
    EXPECT_FALSE(box.IsDownloading());
}

TEST_F(OrvexBoxTest, NamedCommandsAreLoggedAndSentAsOneFrame) {
    TcpListener listener = ListenOnLoopback();
    COrvexBox box;
    TcpSocket peer = ConnectSlot(box, listener);
    const std::string label = box.GetLabel();

    std::string error = "stale";
    ASSERT_TRUE(box.SendNamedCommand(kCommandRecordStart, "Record Start", error));
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(ReceiveBytes(peer, 16), "ab00024b000119\r\n");
    EXPECT_TRUE(LogHas("+ " + label + " : Sending command 3: [Record Start]"));
    EXPECT_TRUE(LogHas(">>->> ab00024b000119"));

    // The Lite clock setting carries its data.
    ASSERT_TRUE(box.SendRawCommand(kCommandLiteClockSetting, "24051806143005", error));
    EXPECT_EQ(ReceiveBytes(peer, 26), "ab00070124051806143005ef\r\n");

    EXPECT_FALSE(box.SendRawCommand(16, "", error));
    EXPECT_EQ(error, "Unknown command code: 16");
    EXPECT_FALSE(box.SendNamedCommand(16, "?", error));
    EXPECT_EQ(error, "Error sending command: Unknown command code: 16");
    EXPECT_TRUE(LogHas("## " + label + " : Error sending command: Unknown command code: 16"));
    // An unknown code is not a broken link.
    EXPECT_TRUE(box.Transport()->IsOpen());
}

TEST_F(OrvexBoxTest, FailedWriteClosesTheTransport) {
    TcpListener listener = ListenOnLoopback();
    COrvexBox box;
    {
        TcpSocket peer = ConnectSlot(box, listener);
        const linger resetOnClose{1, 0};
        ::setsockopt(peer.Fd(), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
    }
    ASSERT_EQ(box.Transport()->WaitReadable(5000), 1);  // the reset has arrived
    std::string error;
    EXPECT_FALSE(box.SendRawCommand(kCommandLiteClockRequest, "", error));
    EXPECT_EQ(error, "Erreur envoi de commande (1) au boîtier");
    EXPECT_FALSE(box.Transport()->IsOpen());
}

TEST_F(OrvexBoxTest, DownloadSendsItsSequenceAndFillsTheFile) {
    TcpListener listener = ListenOnLoopback();
    COrvexBox box;
    TcpSocket peer = ConnectSlot(box, listener);
    const std::string path = (scratch_.path() / "download.txt").string();

    std::string error;
    ASSERT_TRUE(box.StartDownload(path, error)) << error;
    const std::string start = WireFrame(kCommandReplayStop) + WireFrame(kCommandReplayRewind) +
                              WireFrame(kCommandGetPeriodicLogInfo) + WireFrame(kCommandReplayStart);
    EXPECT_EQ(ReceiveBytes(peer, start.size()), start);
    EXPECT_TRUE(box.IsDownloading());
    EXPECT_EQ(box.DownloadedCount(), 0);

    EXPECT_TRUE(box.WriteDownloadLine("aa0102030405060708"));
    EXPECT_TRUE(box.WriteDownloadLine("aa0102030405060709"));
    EXPECT_EQ(box.DownloadedCount(), 2);

    ASSERT_TRUE(box.StopDownload(error)) << error;
    const std::string stop =
        WireFrame(kCommandStopPeriodicLogInfo) + WireFrame(kCommandReplayStop) + WireFrame(kCommandReplayRewind);
    EXPECT_EQ(ReceiveBytes(peer, stop.size()), stop);
    EXPECT_FALSE(box.IsDownloading());
    EXPECT_FALSE(box.IsDownloadFileOpen());
    EXPECT_FALSE(box.WriteDownloadLine("late"));
    EXPECT_EQ(test::ReadWholeFile(path), "aa0102030405060708\naa0102030405060709\n");
    EXPECT_TRUE(LogHas("## " + box.GetLabel() + " : START DOWNLOAD"));
    EXPECT_TRUE(LogHas(" : STOP DOWNLOAD. 2 detections downloaded"));
}

TEST_F(OrvexBoxTest, DownloadIntoAFileThatCannotBeCreatedDoesNotStart) {
    TcpListener listener = ListenOnLoopback();
    COrvexBox box;
    TcpSocket peer = ConnectSlot(box, listener);
    const std::string path = (scratch_.path() / "no-such-folder" / "download.txt").string();
    std::string error;
    EXPECT_FALSE(box.StartDownload(path, error));
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_FALSE(box.IsDownloading());
    EXPECT_FALSE(box.IsDownloadFileOpen());
    // The reader was only told to stop and rewind: the next frame it sees is the one sent now.
    ASSERT_TRUE(box.SendRawCommand(kCommandReplayOne, "", error));
    const std::string sent =
        WireFrame(kCommandReplayStop) + WireFrame(kCommandReplayRewind) + WireFrame(kCommandReplayOne);
    EXPECT_EQ(ReceiveBytes(peer, sent.size()), sent);
}

TEST_F(OrvexBoxTest, StoppingADownloadAfterTheLinkWasLostStillEndsIt) {
    TcpListener listener = ListenOnLoopback();
    COrvexBox box;
    TcpSocket peer = ConnectSlot(box, listener);
    std::string error;
    ASSERT_TRUE(box.StartDownload((scratch_.path() / "download.txt").string(), error)) << error;
    box.Transport()->Close();
    EXPECT_FALSE(box.StopDownload(error));
    EXPECT_EQ(error, "Box is not connected");
    EXPECT_FALSE(box.IsDownloading());
    EXPECT_FALSE(box.IsDownloadFileOpen());
}

TEST_F(OrvexBoxTest, DownloadFileSurvivesACloseWhileTheWorkerWrites) {
    COrvexBox box;
    const std::string path = (scratch_.path() / "download.txt").string();
    ASSERT_TRUE(box.OpenDownloadFile(path));
    const std::string line = "aa3000e2000017221101441890ab240518061430051e";
    std::atomic<int> written{0};
    std::thread worker([&] {
        for (int i = 0; i < 5000; ++i) {
            if (box.WriteDownloadLine(line)) written.fetch_add(1);
        }
    });
    ASSERT_TRUE(test::WaitFor([&] { return written.load() >= 100; }));
    box.CloseDownloadFile();
    worker.join();

    // Only whole lines, exactly as many as were reported written.
    std::istringstream in(test::ReadWholeFile(path));
    int lines = 0;
    for (std::string read; std::getline(in, read); ++lines) ASSERT_EQ(read, line);
    EXPECT_EQ(lines, written.load());
    EXPECT_GE(lines, 100);
}

TEST_F(OrvexBoxTest, TransportIsNotExchangedUnderARunningWorker) {
    COrvexBox box;
    CComBox* original = box.Transport();
    box.SetThreadRunning(true);
    box.SetTransport(std::make_unique<CTcpComBox>());
    EXPECT_EQ(box.Transport(), original);
    box.SetThreadRunning(false);
    auto replacement = std::make_unique<CTcpComBox>();
    CComBox* expected = replacement.get();
    box.SetTransport(std::move(replacement));
    EXPECT_EQ(box.Transport(), expected);
}

}  // namespace
}  // namespace winorvex
