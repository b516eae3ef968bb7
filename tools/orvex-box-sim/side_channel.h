#pragma once
// The ELITE reader's second service: one plain-text request per connection, one reply in one
// piece, then the connection is closed.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "reader_clock.h"
#include "reader_log.h"
#include "socket_util.h"

namespace winorvex::sim {

// The reply to one request (its line end may still be there). Sets the clock, clears the history
// or writes a marker as asked.
std::string SideChannelReply(std::string_view request, ReaderClock& clock, ReaderLog& log);

class SideChannel {
public:
    using PoweredOff = std::function<bool()>;

    SideChannel(ReaderClock& clock, ReaderLog& log, PoweredOff powered_off);
    ~SideChannel();
    SideChannel(const SideChannel&) = delete;
    SideChannel& operator=(const SideChannel&) = delete;

    bool Listen(int port, std::string* error);
    void Start();
    void Stop();
    int port() const { return port_; }
    uint64_t requests() const { return requests_.load(); }

private:
    void Loop();
    void Serve(UniqueFd connection);

    ReaderClock& clock_;
    ReaderLog& log_;
    PoweredOff powered_off_;
    WakeFd stop_;
    std::thread thread_;
    UniqueFd listener_;
    int port_ = 0;
    std::atomic<uint64_t> requests_{0};
};

}  // namespace winorvex::sim
