#pragma once
// The operator's answers when nobody sits at the station: every question takes a fixed answer,
// and the question, the answer and every message are written to the log (warnings also to
// standard error).
#include "core/station_events.h"

namespace winorvex {

class HeadlessPrompt final : public OperatorPrompt {
public:
    HeadlessPrompt() = default;
    // The answer of the next text questions (a tool's argument); none: they are cancelled.
    explicit HeadlessPrompt(std::optional<std::string> textAnswer) : textAnswer_(std::move(textAnswer)) {}

    bool AskYesNo(std::string_view text, bool defaultYes) override;
    void Warn(std::string_view text) override;
    void Inform(std::string_view text) override;
    std::optional<std::string> AskText(const TextQuestion& question) override;

private:
    std::optional<std::string> textAnswer_;
};

}  // namespace winorvex
