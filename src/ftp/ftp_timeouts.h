#pragma once
// How long an FTP transfer may wait before it gives up.
namespace winorvex {

struct FtpTimeouts {
    long connectTimeoutMs = 15000;  // TCP connect, and the server connecting back in active mode
    long lowSpeedTimeS = 30;        // this long below lowSpeedLimit bytes/s, or without any reply, ends it
    long lowSpeedLimitBytesPerS = 1;
};

}  // namespace winorvex
