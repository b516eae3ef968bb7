#pragma once
// The side service of ELITE readers: plain-text requests on their own TCP port (9999), one short
// connection per request, one reply read in one piece.
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace winorvex {

enum SideChannelResult : int {
    kSideOk = 0,
    kSideOtherReply = 1,    // the service answered something else; the error text is the answer
    kSideUnavailable = -1,  // serial transport, no connection, or the request could not be sent
    kSideUnreadable = -2,   // no reply could be read (error, closed, or none within the time-out)
};

struct SideChannelEndpoint {
    std::string host;
    int port = 9999;
    int connectTimeoutSeconds = 2;
    int replyTimeoutMs = 5000;
};

inline constexpr std::size_t kSideReplyCapacity = 2000;
inline constexpr const char* kEliteGetClockRequest = "ab00000222\n";
inline constexpr const char* kEliteClearHistoryRequest = "clear_history\n";
inline constexpr const char* kEliteSetClockReply = "ab00000121";
inline constexpr const char* kEliteClockReply = "aa000902";
inline constexpr const char* kEliteHistoryClearedReply = "history_cleared";
inline constexpr const char* kEliteMarkerInsertedReply = "marker_inserted";

// Connects, sends what makeRequest gives (built only once connected, so that a clock request
// carries the time of its sending), reads one reply and closes. reply receives the answer;
// error "Ok" on success, else the reason.
int SideChannelRequest(const SideChannelEndpoint& endpoint, const std::function<std::string()>& makeRequest,
                       std::string_view expectedStart, std::string& reply, std::string& error);

// "ab000701" YYMMDD "00" HHMMSS "00" and a line feed: the last "00" stands where a checksum would.
std::string EliteSetClockRequest(const std::tm& local);
// "insert_marker.<label>" CR LF.
std::string EliteInsertMarkerRequest(std::string_view label);
// "20" + characters 9-14 + characters 17-22 of a clock reply (20YYMMDDHHMMSS); false when the
// reply is too short to hold them.
bool EliteClockText(std::string_view reply, std::string& clock);

// Waits until the millisecond part of the clock is at most 50 (polling every 10 ms, never more than
// a second in all) and returns that moment as local time.
std::tm WaitForStartOfSecond();

}  // namespace winorvex
