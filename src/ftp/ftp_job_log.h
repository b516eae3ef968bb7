#pragma once
// The station's log line for a job's state report (French only, logged at level 0), or nothing
// for states it does not log.
#include <optional>
#include <string>

#include "core/station_events.h"

namespace winorvex {

std::optional<std::string> FtpJobLogLine(const FtpJobStateEvent& event);

}  // namespace winorvex
