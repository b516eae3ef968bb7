#pragma once
// The local command service: a user-only local socket on which another program of this computer
// sends one command line and gets one answer line back (or the connection closed without a line
// for "no answer"). The end of the client's input also ends its request, so a command sent
// without a final line feed is answered too. Runs on the station's thread, like the operator's
// own commands; a client is never waited for: its request is bounded in size and time.
#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_dispatch.h"
#include "core/unique_fd.h"

namespace winorvex {

class CommandListener;

class CommandService : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxRequestBytes = 4096;
    static constexpr int kRequestTimeoutMs = 5000;

    explicit CommandService(StationCommands& station, QObject* parent = nullptr);
    ~CommandService() override;

    // Listens on the socket of this service name and writes the holder file beside it. A socket
    // file left by a station that crashed (nothing answers on it) is replaced; a live one never:
    // the message then names the data folder of the station that holds it and the setting to
    // change. False with the message to show.
    bool Start(const std::string& serviceName, std::string& message);
    std::string SocketPath() const { return path_; }
    // Until the main window exists, requests get no answer.
    void SetReady(bool ready) { ready_ = ready; }

private:
    void Serve(UniqueFd client);
    std::optional<std::string> Answer(std::string_view request);

    StationCommands& station_;
    std::unique_ptr<CommandListener> listener_;
    std::string path_;
    std::string serviceName_;  // set while listening
    std::string dataFolder_;
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
