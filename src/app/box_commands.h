#pragma once
// The operator's commands on the readers themselves: setting and showing their clocks, inserting
// a marker into ELITE readers, and the expert memory commands of box 1 (recording, replay,
// download into a file, statistics, clearing, power off).
//
// Threads: every method runs on the station thread. The questions are asked there, then the loop
// over the boxes runs on a thread of its own, one command at a time, so that a reader that makes
// the side service wait (a Lite reader: the connection time-out) never freezes the window. The
// results are log lines, in order; the readers' own replies come later on the box workers.
// While a command runs, Busy() is true and no other starts: the buttons follow busyChanged.
//
// Lifetime: the object uses the station's boxes from its thread, so it must be destroyed before
// the station (its destructor waits for the running command); never make it a child of the
// station. The station must not reload the box slots while Busy().
#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace winorvex {

class BoxManager;
class COrvexBox;
class Station;

class BoxCommands : public QObject {
    Q_OBJECT

public:
    explicit BoxCommands(Station& station, QObject* parent = nullptr);
    // Lets the running command end after the box it is at, and waits for it.
    ~BoxCommands() override;
    BoxCommands(const BoxCommands&) = delete;
    BoxCommands& operator=(const BoxCommands&) = delete;

    bool Busy() const { return busy_; }
    // Buttons kControlSyncClocks and kControlShowClocks can be pressed: a box is open and no command runs.
    bool ButtonsEnabled() const;
    // Lite requests (clock setting or clock request) the last command sent: their answers arrive
    // on the workers.
    int LiteRequestsSent() const { return liteRequests_.load(); }

    // Where "DOWNLOAD" writes for a box with this file tag: the program folder when it can be
    // written, else the log folder.
    static std::string DownloadFilePath(const std::string& fileTag);

public slots:
    // Each returns true when the command started (false: refused, cancelled, or one is running).
    bool SynchroniseClocks();
    bool ShowBoxTimes();
    bool InsertEliteMarker();
    // An item of the expert part of the clock menu (1175, 1127..1139, 1223), on box 1.
    bool RunExpertItem(int itemId);
    // The item chosen in the clock menu; kMenuNoChoice (or anything unknown) does nothing.
    bool RunClockMenuItem(int itemId);

signals:
    void busyChanged(bool busy);
    // The loop of a command ended (its log lines are written).
    void commandFinished();

private:
    using Work = std::function<void(BoxManager&)>;

    // Starts the work on the command thread.
    bool Launch(Work work);
    void Finish();

    // Loops, on the command thread.
    void SynchroniseLoop(BoxManager& boxes);
    void BoxTimesLoop(BoxManager& boxes);
    void MarkerLoop(BoxManager& boxes, const std::string& marker);
    void ExpertWork(COrvexBox& box, int itemId, const std::string& downloadPath);

    Station& station_;
    bool busy_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<int> liteRequests_{0};
    std::thread thread_;  // last: joined before anything above goes
};

}  // namespace winorvex
