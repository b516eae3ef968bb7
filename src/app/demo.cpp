#include "app/demo.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <cstdlib>
#include <fstream>

#include "core/folders.h"
#include "core/settings.h"
#include "core/text_format.h"

namespace winorvex {

namespace {

constexpr int kChipCount = 300;
constexpr int kReadyWaitMs = 5000;

}  // namespace

DemoReaders::~DemoReaders() {
    for (auto& reader : readers_) {
        reader->terminate();
        if (!reader->waitForFinished(2000)) reader->kill();
        reader->waitForFinished(1000);
    }
}

namespace {

// A simulator program: the environment variable, else the one beside the station (an installed
// station: /usr/bin), else the one built with it while this program runs from that build tree,
// else PATH. An installed station never reaches into a build tree left on the machine.
std::string FindProgram(const char* variable, const char* built, const char* name) {
    if (const char* env = std::getenv(variable); env != nullptr && *env != '\0') return env;
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString beside = programFolder + QLatin1Char('/') + QString::fromUtf8(name);
    if (QFileInfo(beside).isExecutable()) return beside.toStdString();
#ifdef WINORVEX_BUILD_TREE
    const QString tree = QStringLiteral(WINORVEX_BUILD_TREE) + QLatin1Char('/');
    if (built != nullptr && programFolder.startsWith(tree) && QFileInfo(QString::fromUtf8(built)).isExecutable()) {
        return built;
    }
#else
    (void)built;
#endif
    return QStandardPaths::findExecutable(QString::fromUtf8(name)).toStdString();
}

#ifdef WINORVEX_BOX_SIM_PATH
constexpr const char* kBuiltBoxSim = WINORVEX_BOX_SIM_PATH;
#else
constexpr const char* kBuiltBoxSim = nullptr;
#endif
#ifdef WINORVEX_RESULTS_SIM_PATH
constexpr const char* kBuiltResultsSim = WINORVEX_RESULTS_SIM_PATH;
#else
constexpr const char* kBuiltResultsSim = nullptr;
#endif

}  // namespace

std::string DemoReaders::SimulatorProgram() {
    return FindProgram("WINORVEX_BOX_SIM", kBuiltBoxSim, "orvex-box-sim");
}

std::string DemoReaders::ResultsSimulatorProgram() {
    return FindProgram("WINORVEX_RESULTS_SIM", kBuiltResultsSim, "winorvex-results-sim");
}

bool DemoReaders::StartChild(const std::string& program, const QStringList& arguments, const QString& ready,
                             std::vector<int>& ports, std::string& error) {
    auto child = std::make_unique<QProcess>();
    child->setProgram(QString::fromStdString(program));
    child->setArguments(arguments);
    child->setProcessChannelMode(QProcess::SeparateChannels);
    // The results simulator takes commands on its standard input: it stays open and empty.
    child->start(QIODevice::ReadWrite);
    if (!child->waitForStarted(kReadyWaitMs)) {
        error = "cannot start " + program;
        return false;
    }
    const QRegularExpression pattern(ready);
    QByteArray output;
    while (child->waitForReadyRead(kReadyWaitMs)) {
        output += child->readAllStandardOutput();
        const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            ports.clear();
            for (int i = 1; i <= match.lastCapturedIndex(); ++i) ports.push_back(match.captured(i).toInt());
            readers_.push_back(std::move(child));
            return true;
        }
    }
    error = program + " did not say it was ready";
    return false;
}

bool DemoReaders::StartReader(int seed, double rate, int& port, int& sidePort, std::string& error) {
    const std::string program = SimulatorProgram();
    if (program.empty()) {
        error = "the reader simulator orvex-box-sim was not found (set WINORVEX_BOX_SIM)";
        return false;
    }
    std::vector<int> ports;
    if (!StartChild(program,
                    {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--side-port"), QStringLiteral("0"),
                     QStringLiteral("--control-port"), QStringLiteral("0"), QStringLiteral("--rate"),
                     QString::number(rate), QStringLiteral("--chip-count"), QString::number(kChipCount),
                     QStringLiteral("--seed"), QString::number(seed), QStringLiteral("--quiet")},
                    QStringLiteral(" ready .*port=(\\d+) side=(\\d+)"), ports, error)) {
        return false;
    }
    port = ports[0];
    sidePort = ports[1];
    return true;
}

bool DemoReaders::StartResultsProgram(int& port, std::string& error) {
    const std::string program = ResultsSimulatorProgram();
    if (program.empty()) {
        error = "the results-program simulator winorvex-results-sim was not found (set WINORVEX_RESULTS_SIM)";
        return false;
    }
    std::vector<int> ports;
    if (!StartChild(program, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--stdin-control")},
                    QStringLiteral("ready port=(\\d+)"), ports, error)) {
        return false;
    }
    port = ports[0];
    return true;
}

bool DemoReaders::Start(const std::string& dataDir, std::string& error) {
    if (!dataDir.empty()) {
        folder_ = dataDir;
        QDir().mkpath(QString::fromStdString(folder_));
    } else {
        QString base = QDir::tempPath() + QStringLiteral("/winorvex-demo-XXXXXX");
        QByteArray pattern = base.toLocal8Bit();
        if (::mkdtemp(pattern.data()) == nullptr) {
            error = "cannot make a scratch folder";
            return false;
        }
        folder_ = pattern.toStdString();
    }
    {
        // Bibs 101 to 400, in the chip order of the simulator.
        std::ofstream table(folder_ + "/OrvexTable.dtb", std::ios::binary | std::ios::trunc);
        for (int n = 1; n <= kChipCount; ++n) table << Format("%d 0580%08X\r\n", 100 + n, n);
        if (!table) {
            error = "cannot write the demo chip table in " + folder_;
            return false;
        }
    }
    int port1 = 0;
    int side1 = 0;
    int port2 = 0;
    int side2 = 0;
    int resultsPort = 0;
    if (!StartReader(1, 3, port1, side1, error) || !StartReader(2, 2, port2, side2, error) ||
        !StartResultsProgram(resultsPort, error)) {
        return false;
    }

    // Through the settings store, so that a demo folder used again keeps its other keys.
    const std::string ini = folder_ + "/WinORVEX.ini";
    WriteSettingInt("Settings", "GBoxReconnectSeconds", 30, ini);
    const int ports[2][2] = {{port1, side1}, {port2, side2}};
    for (int i = 0; i < 2; ++i) {
        WriteSettingText("OrvexBoxes", Format("BoxHost%d", i).c_str(), "127.0.0.1", ini);
        WriteSettingInt("OrvexBoxes", Format("BoxPort%d", i).c_str(), ports[i][0], ini);
        WriteSettingText("OrvexBoxes", Format("BoxIdDetector%d", i).c_str(), Format("%d", i + 1), ini);
        WriteSettingInt("OrvexBoxes", Format("BoxSidePort%d", i).c_str(), ports[i][1], ini);
    }
    WriteSettingText("DirectConnection", "Host", "127.0.0.1", ini);
    WriteSettingInt("DirectConnection", "Port", resultsPort, ini);
    WriteSettingInt("DirectConnection", "ReconnectSeconds", 2, ini);
    FlushSettings();
    SetDataFolderOverride(folder_);
    return true;
}

}  // namespace winorvex
