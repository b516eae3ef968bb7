#pragma once
// The control channel: text commands, one per line, from any number of small clients; each
// answered with one line.
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "socket_util.h"

namespace winorvex::sim {

class ControlServer {
public:
    using Handler = std::function<std::string(std::string_view)>;

    explicit ControlServer(Handler handler) : handler_(std::move(handler)) {}
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool Listen(int port, std::string* error);
    void Start();
    void Stop();
    int port() const { return port_; }

private:
    struct Client {
        UniqueFd fd;
        std::string pending;
    };
    void Loop();
    // False when the client is gone.
    bool ServeClient(Client& client);

    Handler handler_;
    WakeFd stop_;
    std::thread thread_;
    UniqueFd listener_;
    int port_ = 0;
};

}  // namespace winorvex::sim
