#include "side_channel.h"

#include <poll.h>

#include <chrono>

#include "frame.h"

namespace winorvex::sim {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMaxRequest = 2000;
constexpr auto kRequestTimeout = 2s;

std::string_view TrimLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
    return text;
}

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int* value) {
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

// Keeps a marker label to one clean line in the history file.
std::string CleanLabel(std::string_view label) {
    std::string clean;
    for (const char c : label) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean.push_back(c);
    }
    return clean;
}

std::string ClockSetReply(std::string_view request, ReaderClock& clock) {
    // "ab000701" YYMMDD "00" HHMMSS "00"
    int yy = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const bool ok = request.size() == 24 && ReadDigits(request, 8, 2, &yy) && ReadDigits(request, 10, 2, &month) &&
                    ReadDigits(request, 12, 2, &day) && ReadDigits(request, 16, 2, &hour) &&
                    ReadDigits(request, 18, 2, &minute) && ReadDigits(request, 20, 2, &second) &&
                    clock.SetLocal(2000 + yy, month, day, hour, minute, second, std::chrono::system_clock::now());
    return ok ? "ab00000121\r\n" : "clock_refused\r\n";
}

std::string ClockGetReply(const ReaderClock& clock) {
    const ReaderTime t = clock.Now();
    char frame[24] = {'a', 'a', '0', '0', '0', '9', '0', '2'};
    PutDecimal2(frame + 8, t.year % 100);
    PutDecimal2(frame + 10, t.month);
    PutDecimal2(frame + 12, t.day);
    PutDecimal2(frame + 14, t.weekday);
    PutDecimal2(frame + 16, t.hour);
    PutDecimal2(frame + 18, t.minute);
    PutDecimal2(frame + 20, t.second);
    PutHex(frame + 22, static_cast<uint32_t>(t.hundredths), 2);
    std::string reply;
    AppendWithChecksum(reply, std::string_view(frame, sizeof frame));
    return reply;
}

}  // namespace

std::string SideChannelReply(std::string_view request, ReaderClock& clock, ReaderLog& log) {
    request = TrimLineEnd(request);
    if (request.substr(0, 8) == "ab000701") return ClockSetReply(request, clock);
    if (request == "ab00000222") return ClockGetReply(clock);
    if (request == "clear_history") return log.Clear() ? "history_cleared\r\n" : "history_not_cleared\r\n";
    constexpr std::string_view kMarker = "insert_marker.";
    if (request.substr(0, kMarker.size()) == kMarker) {
        const std::string label = CleanLabel(request.substr(kMarker.size()));
        if (label.empty()) return "marker_empty\r\n";
        const ReaderTime t = clock.Now();
        char date[8];
        char time[6];
        PutDecimal2(date, t.year / 100);
        PutDecimal2(date + 2, t.year % 100);
        PutDecimal2(date + 4, t.month);
        PutDecimal2(date + 6, t.day);
        PutDecimal2(time, t.hour);
        PutDecimal2(time + 2, t.minute);
        PutDecimal2(time + 4, t.second);
        log.AppendMarker(label, std::string_view(date, 8), std::string_view(time, 6));
        return "marker_inserted\r\n";
    }
    return "unknown_request\r\n";
}

SideChannel::SideChannel(ReaderClock& clock, ReaderLog& log, PoweredOff powered_off)
    : clock_(clock), log_(log), powered_off_(std::move(powered_off)) {}

SideChannel::~SideChannel() {
    Stop();
}

bool SideChannel::Listen(int port, std::string* error) {
    listener_ = ListenLoopback(port, &port_, error);
    return listener_.valid();
}

void SideChannel::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
}

void SideChannel::Stop() {
    if (!thread_.joinable()) return;
    stop_.Signal();
    thread_.join();
    stop_.Drain();
    listener_.reset();
}

void SideChannel::Serve(UniqueFd connection) {
    SetNonBlocking(connection.get());
    const std::string request = ReadRequest(connection.get(), kMaxRequest, kRequestTimeout, stop_.fd());
    if (request.empty()) return;
    requests_.fetch_add(1);
    SendAll(connection.get(), SideChannelReply(request, clock_, log_), kRequestTimeout);
}

void SideChannel::Loop() {
    while (true) {
        // A reader switched off answers nowhere; it listens again once switched back on.
        const bool off = powered_off_ && powered_off_();
        if (off && listener_.valid()) listener_.reset();
        if (!off && !listener_.valid()) {
            std::string error;
            int bound = 0;
            listener_ = ListenLoopback(port_, &bound, &error);
        }
        pollfd fds[2] = {{stop_.fd(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        const int ready = ::poll(fds, listener_.valid() ? 2 : 1, 100);
        if (ready > 0 && (fds[0].revents & POLLIN)) return;
        if (ready > 0 && listener_.valid() && (fds[1].revents & POLLIN)) {
            UniqueFd connection = AcceptClient(listener_.get());
            if (connection.valid()) Serve(std::move(connection));
        }
    }
}

}  // namespace winorvex::sim
