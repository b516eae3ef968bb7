#include "reader/side_channel.h"

#include <chrono>
#include <thread>

#include "core/station_settings.h"
#include "core/text_format.h"
#include "platform/tcp_socket.h"
#include "reader/orvex_box.h"

namespace winorvex {

int SideChannelRequest(const SideChannelEndpoint& endpoint, const std::function<std::string()>& makeRequest,
                       std::string_view expectedStart, std::string& reply, std::string& error) {
    reply.clear();
    TcpSocket connection;
    switch (TcpSocket::Connect(endpoint.host, endpoint.port, endpoint.connectTimeoutSeconds, connection)) {
        case ConnectStatus::kResolveFailed:
            error = "Error gethostbyname";
            return kSideUnavailable;
        case ConnectStatus::kConnectFailed:
            error = "Unable to Connect";
            return kSideUnavailable;
        case ConnectStatus::kOk:
            break;
    }

    const std::string request = makeRequest();
    if (connection.SendAll(request.data(), request.size()) <= 0) {
        error = "Can't write on 99999 socket";
        return kSideUnavailable;
    }

    // The reply comes in one piece. A service that accepts and never answers must not hold the
    // operator's window forever, hence the bounded wait.
    char buffer[kSideReplyCapacity];
    const ssize_t received = connection.ReceiveWithin(buffer, sizeof buffer, endpoint.replyTimeoutMs);
    connection.Close();
    if (received == TcpSocket::kTimedOut) {
        error = Format("No answer on 99999 socket within %d ms", endpoint.replyTimeoutMs);
        return kSideUnreadable;
    }
    if (received <= 0) {
        error = "Can't read on 99999 socket";
        return kSideUnreadable;
    }
    reply.assign(buffer, static_cast<std::size_t>(received));
    if (reply.compare(0, expectedStart.size(), expectedStart) != 0) {
        error = reply;
        return kSideOtherReply;
    }
    error = "Ok";
    return kSideOk;
}

std::string EliteSetClockRequest(const std::tm& local) {
    return Format("ab000701%02d%02d%02d00%02d%02d%02d00\n", local.tm_year % 100, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
}

std::string EliteInsertMarkerRequest(std::string_view label) {
    std::string request = "insert_marker.";
    request.append(label);
    request += "\r\n";
    return request;
}

bool EliteClockText(std::string_view reply, std::string& clock) {
    if (reply.size() < 22) return false;
    clock = "20";
    clock.append(reply.substr(8, 6));
    clock.append(reply.substr(16, 6));
    return true;
}

std::tm WaitForStartOfSecond() {
    using std::chrono::system_clock;
    auto now = system_clock::now();
    for (int polls = 0; polls < 100; ++polls) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        if (ms <= 50) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = system_clock::now();
    }
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

// ---- The box's requests -----------------------------------------------------------------------

bool COrvexBox::SideHost(std::string& host) const {
    if (!transport_ || transport_->IsSerial()) return false;
    host = Address().host;
    return true;
}

namespace {

int BoxSideRequest(const std::string& host, const COrvexBox& box, const std::function<std::string()>& makeRequest,
                   std::string_view expectedStart, std::string& reply, std::string& error) {
    SideChannelEndpoint endpoint;
    endpoint.host = host;
    endpoint.port = box.SidePort();
    endpoint.connectTimeoutSeconds = Settings().connectionTimeout.load();
    endpoint.replyTimeoutMs = box.SideReplyTimeoutMs();
    return SideChannelRequest(endpoint, makeRequest, expectedStart, reply, error);
}

}  // namespace

int COrvexBox::SetClockElite(std::string& error) {
    std::string host;
    if (!SideHost(host)) return kSideUnavailable;
    std::string reply;
    return BoxSideRequest(
        host, *this, [] { return EliteSetClockRequest(WaitForStartOfSecond()); }, kEliteSetClockReply, reply, error);
}

int COrvexBox::GetClockElite(std::string& clock, std::string& error) {
    std::string host;
    if (!SideHost(host)) return kSideUnavailable;
    std::string reply;
    const int result = BoxSideRequest(
        host, *this, [] { return std::string(kEliteGetClockRequest); }, kEliteClockReply, reply, error);
    if (result != kSideOk) return result;
    if (!EliteClockText(reply, clock)) {
        // Right start, but too short to hold a date and a time.
        error = reply;
        return kSideOtherReply;
    }
    return kSideOk;
}

int COrvexBox::ClearHistoryElite(std::string& error) {
    std::string host;
    if (!SideHost(host)) return kSideUnavailable;
    std::string reply;
    return BoxSideRequest(
        host, *this, [] { return std::string(kEliteClearHistoryRequest); }, kEliteHistoryClearedReply, reply, error);
}

int COrvexBox::InsertMarkerElite(const std::string& label, std::string& error) {
    std::string host;
    if (!SideHost(host)) return kSideUnavailable;
    std::string reply;
    return BoxSideRequest(
        host, *this, [&label] { return EliteInsertMarkerRequest(label); }, kEliteMarkerInsertedReply, reply, error);
}

}  // namespace winorvex
