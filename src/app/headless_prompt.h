#pragma once
// The operator's answers when nobody sits at the station: every question takes a fixed answer,
// and the question, the answer and every message are written to the log (warnings also to
// standard error).
#include "core/station_events.h"

namespace winorvex {

class HeadlessPrompt final : public OperatorPrompt {
public:
    bool AskYesNo(std::string_view text, bool defaultYes) override;
    void Warn(std::string_view text) override;
    void Inform(std::string_view text) override;
};

}  // namespace winorvex
