#pragma once
// Beside each command service socket, a small file "<service name>.holder" that names the data
// folder of the station listening on it. A station refused the name reads it to tell the operator
// which other station has it; the holder removes the file when it stops listening.
#include <string>

namespace winorvex {

inline constexpr const char* kServiceHolderSuffix = ".holder";

std::string ServiceHolderPath(const std::string& serviceName);
// Replaces the file in one step (a reader never sees half of it). False when it could not be
// written.
bool WriteServiceHolder(const std::string& serviceName, const std::string& dataFolder);
// The data folder the file names; empty when there is no file (a station that writes none, or
// one that ended).
std::string ReadServiceHolder(const std::string& serviceName);
// Removes the file only while it still names this data folder, so a station that has taken the
// name over since keeps its own.
void RemoveServiceHolder(const std::string& serviceName, const std::string& dataFolder);

}  // namespace winorvex
