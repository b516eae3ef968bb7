// A box worker reading a reader on a serial line (a pseudo-terminal whose master plays the
// reader): detections recorded, an unplugged reader reported as a lost box, a stop as requested.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "chips/chip_table.h"
#include "core/station_settings.h"
#include "detections/detection_file.h"
#include "detections/result_list.h"
#include "reader/box_fixture.h"
#include "reader/box_worker.h"
#include "reader/orvex_box.h"
#include "reader/pty_peer.h"
#include "reader/serial_com_box.h"
#include "support/queued_station_events.h"
#include "support/recording_station_events.h"

namespace winorvex::test {
namespace {

using namespace std::chrono_literals;

// A tag read of 18 May 2024 at 10:15:00.25 from chip 0580000000nn, with its checksum and line end.
std::string TagLine(int n) {
    char body[64];
    std::snprintf(body, sizeof body, "010580%08X0a0b24051810150019", n);
    unsigned sum = 0;
    for (const char* c = body; *c != '\0'; ++c) sum += static_cast<unsigned char>(*c);
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02x", sum % 256);
    return std::string("aa") + body + checksum + "\r\n";
}

class SerialWorkerTest : public BoxFixture {
protected:
    void SetUp() override {
        BoxFixture::SetUp();
        StationSettings& s = Settings();
        saved_ = {s.sendNumbers.load(), s.ignoreInputMsDelta.load(), s.absClock.load(), s.readMsDelta.load()};
        s.sendNumbers = 0;
        s.ignoreInputMsDelta = 50;
        s.absClock = 0;
        s.readMsDelta = 1;
        const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
        for (std::size_t i = 0; i < 4; ++i) RaceDayDates().dates[i] = days[i];
        ClearChipTable();
        ClearResults();

        box_.SetTransport(std::make_unique<CSerialComBox>());
        box_.SetBoxNumber(1);
        box_.SetAddress(BoxAddress{"31", peer_.SlavePath(), 9600});
        std::string error;
        ASSERT_TRUE(box_.ConnectTransport(error)) << error;
        BoxWorkerServices services;
        services.events = &events_;
        services.sounds = &sounds_;
        services.statusPostInterval = 10ms;
        box_.SetStopRequested(false);
        worker_ = std::make_unique<BoxWorker>(box_, services);
    }

    void TearDown() override {
        worker_.reset();
        ClearResults();
        StationSettings& s = Settings();
        s.sendNumbers = saved_[0];
        s.ignoreInputMsDelta = saved_[1];
        s.absClock = saved_[2];
        s.readMsDelta = saved_[3];
        BoxFixture::TearDown();
    }

    bool WaitFinished() {
        return WaitFor([this] { return worker_->Finished(); }, 10s);
    }

    PtyPeer peer_;
    COrvexBox box_;
    QueuedStationEvents events_;
    RecordingStationEvents sounds_;
    std::unique_ptr<BoxWorker> worker_;
    std::array<int, 4> saved_{};
};

TEST_F(SerialWorkerTest, RecordsReadsFromTheLineAndReportsAnUnpluggedReaderAsLost) {
    // One read whole, one cut in two, and a burst of many in one write.
    peer_.Write(TagLine(1));
    const std::string second = TagLine(2);
    peer_.Write(second.substr(0, 9));
    ASSERT_TRUE(WaitFor([] { return ResultCount() == 1; }));
    peer_.Write(second.substr(9));
    std::string burst;
    for (int n = 3; n <= 40; ++n) burst += TagLine(n);
    peer_.Write(burst);
    ASSERT_TRUE(WaitFor([] { return ResultCount() == 40; })) << ResultCount();
    EXPECT_EQ(CopyActiveResults().front().bib, "058000000001");
    EXPECT_TRUE(events_.All().empty());

    peer_.CloseMaster();
    ASSERT_TRUE(WaitFinished()) << "an unplugged reader must end the read loop";
    EXPECT_EQ(events_.All(), (std::vector<QueuedStationEvents::Event>{{1, true}}));
    EXPECT_FALSE(box_.Transport()->IsOpen());
    EXPECT_FALSE(box_.Transport()->IsClosedOnRequest());
    EXPECT_TRUE(LogHas("Box 1 [" + peer_.SlavePath() + ":9600 31] : Box reception failed"));
    EXPECT_FALSE(LogHas("Disconnection requested"));
}

TEST_F(SerialWorkerTest, StopByTheProgramIsARequestedDisconnection) {
    peer_.Write(TagLine(7));
    ASSERT_TRUE(WaitFor([] { return ResultCount() == 1; }));
    // The program closes the port under the waiting worker (without a stop request, which
    // would end the loop before the read reports anything).
    box_.Transport()->Disconnect();
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(events_.All(), (std::vector<QueuedStationEvents::Event>{{1, false}}));
    EXPECT_TRUE(LogHas("Disconnection requested"));
    EXPECT_FALSE(LogHas("Box reception failed"));
}

}  // namespace
}  // namespace winorvex::test
