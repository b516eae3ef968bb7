#pragma once
// Where the local command service listens, shared by the station and its command-line client:
// $XDG_RUNTIME_DIR/WinORVEX/<service name>, or <data folder>/WinORVEX/<service name> when that
// variable is unset. The folder is the user's alone (mode 0700).
#include <string>

namespace winorvex {

std::string CommandServiceFolder();
std::string CommandServicePath(const std::string& serviceName);
// Makes the folder (mode 0700) when missing; false with the reason otherwise.
bool MakeCommandServiceFolder(std::string& error);

// A service name must stay one plain file name in that folder.
bool IsUsableServiceName(const std::string& name);

}  // namespace winorvex
