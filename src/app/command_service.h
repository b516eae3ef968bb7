#pragma once
// The local command service: a user-only local socket on which another program of this computer
// sends one command line and gets one answer line back (or the connection closed without a line
// for "no answer"). Runs on the station's thread, like the operator's own commands; a client is
// never waited for: its request is bounded in size and time.
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

#include "app/command_dispatch.h"
#include "core/unique_fd.h"

class QLocalSocket;

namespace winorvex {

class CommandService : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxRequestBytes = 4096;
    static constexpr int kRequestTimeoutMs = 5000;

    explicit CommandService(StationCommands& station, QObject* parent = nullptr);
    ~CommandService() override;

    // Listens on the socket of this service name. A socket file left by a station that crashed
    // (nothing answers on it) is replaced; a live one never. False with the message to show.
    bool Start(const std::string& serviceName, std::string& message);
    std::string SocketPath() const { return path_; }
    // Until the main window exists, requests get no answer.
    void SetReady(bool ready) { ready_ = ready; }

private:
    void Accept();
    void Serve(QLocalSocket* client);

    StationCommands& station_;
    QLocalServer server_;
    std::string path_;
    bool ready_ = false;
};

// "WinOrvexDde.mtx" and "WinOrvexDde.sem" in the service folder, each held with a shared lock
// while the program is loaded: other programs see that a station offering the service is loaded
// (an exclusive lock attempt fails) and the locks die with the process.
class ServicePresenceLocks {
public:
    ServicePresenceLocks() = default;
    ServicePresenceLocks(const ServicePresenceLocks&) = delete;
    ServicePresenceLocks& operator=(const ServicePresenceLocks&) = delete;
    bool Take(std::string& error);

private:
    UniqueFd mutex_;
    UniqueFd semaphore_;
};

}  // namespace winorvex
