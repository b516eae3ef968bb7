#pragma once
// The demo: a scratch data folder with a chip table, two simulated readers on free loopback
// ports declared as boxes 1 and 2, and a simulated results program as the direct connection, so
// that a newcomer sees detections and runner answers at once. The simulators are child
// processes; they end with this object.
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

    // The simulator programs: WINORVEX_BOX_SIM / WINORVEX_RESULTS_SIM, else the ones beside the
    // program, else the ones built with it (from its build tree only), else PATH.
    static std::string SimulatorProgram();
    static std::string ResultsSimulatorProgram();

private:
    bool StartReader(int seed, double rate, int& port, int& sidePort, std::string& error);
    bool StartResultsProgram(int& port, std::string& error);
    // Starts the program and waits for its ready line; the captures of `ready` are its ports.
    bool StartChild(const std::string& program, const QStringList& arguments, const QString& ready,
                    std::vector<int>& ports, std::string& error);

    std::string folder_;
    std::vector<std::unique_ptr<QProcess>> readers_;
};

}  // namespace winorvex
