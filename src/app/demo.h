#pragma once
// The demo: a scratch data folder with a chip table and two simulated readers on free loopback
// ports declared as boxes 1 and 2, so that a newcomer sees detections flowing at once. The
// simulators are child processes; they end with this object.
#include <QObject>
#include <QProcess>
#include <memory>
#include <string>
#include <vector>

namespace winorvex {

class DemoReaders {
public:
    DemoReaders() = default;
    ~DemoReaders();
    DemoReaders(const DemoReaders&) = delete;
    DemoReaders& operator=(const DemoReaders&) = delete;

    // Makes the folder (under dataDir when given, else a new temporary folder), starts the
    // readers and writes the settings; the station's data folder becomes that folder.
    bool Start(const std::string& dataDir, std::string& error);
    const std::string& DataFolder() const { return folder_; }

    // The simulator program: WINORVEX_BOX_SIM, else the one built beside the station, else PATH.
    static std::string SimulatorProgram();

private:
    bool StartReader(int seed, double rate, int& port, int& sidePort, std::string& error);

    std::string folder_;
    std::vector<std::unique_ptr<QProcess>> readers_;
};

}  // namespace winorvex
