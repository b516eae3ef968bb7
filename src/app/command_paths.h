#pragma once
// Where the local command service listens, shared by the station and its command-line client:
// $XDG_RUNTIME_DIR/WinORVEX/<service name>, or <data folder>/WinORVEX/<service name> when that
// variable is unset. The folder is the user's alone (mode 0700).
#include <cstddef>
#include <string>

namespace winorvex {

// The longest path a local socket can be bound to (the socket address's name field less its
// terminating zero).
inline constexpr std::size_t kSocketPathLimit = 107;

std::string CommandServiceFolder();
std::string CommandServicePath(const std::string& serviceName);
// Makes the folder (mode 0700) when missing; false with the reason otherwise.
bool MakeCommandServiceFolder(std::string& error);

// A service name must stay one plain file name in that folder, and never the name of another
// service's holder file.
bool IsUsableServiceName(const std::string& name);

// Empty when this socket path fits the limit; otherwise the operator's message naming the limit
// and what to change.
std::string SocketPathTooLongText(const std::string& path);

}  // namespace winorvex
