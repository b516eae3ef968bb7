#pragma once
// Reading what the station wrote to a raw results-program socket, for tests that check bytes.

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/tcp_socket.h"

namespace winorvex::test {

// Until `wanted` bytes came or `within` passed; asking one byte more than expected checks that
// nothing else follows.
inline std::string ReadBytes(const TcpSocket& peer, std::size_t wanted,
                             std::chrono::milliseconds within = std::chrono::seconds(10)) {
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + within;
    char buffer[4096];
    while (bytes.size() < wanted && std::chrono::steady_clock::now() < end) {
        const auto n = peer.ReceiveWithin(buffer, sizeof buffer, 100);
        if (n == 0 || n == -1) break;
        if (n > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

}  // namespace winorvex::test
