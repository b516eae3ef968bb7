#include "core/station_events.h"

#include <string>

#include "core/log.h"

namespace winorvex {

void ShowAlert(std::string_view text, OperatorPrompt* promptOrNull) {
    if (promptOrNull != nullptr) promptOrNull->Warn(text);
    std::string line = "######## ";
    line.append(text);
    Log(0, line);
}

}  // namespace winorvex
