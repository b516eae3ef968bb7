#pragma once
// The operator of the tests: answers the questions from a script (then a fixed answer) and keeps
// every question, warning and information it was shown.
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/station_events.h"

namespace winorvex::test {

class ScriptedOperator : public OperatorPrompt {
public:
    explicit ScriptedOperator(bool answerWhenScriptEnds = true) : fallback_(answerWhenScriptEnds) {}

    // The next questions get these answers, in order.
    void Script(std::initializer_list<bool> answers) { answers_.insert(answers_.end(), answers); }
    void SetFallback(bool answer) { fallback_ = answer; }

    bool AskYesNo(std::string_view text, bool defaultYes) override {
        questions.emplace_back(text);
        defaults.push_back(defaultYes);
        if (answers_.empty()) return fallback_;
        const bool answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    void Warn(std::string_view text) override { warnings.emplace_back(text); }
    void Inform(std::string_view text) override { informations.emplace_back(text); }
    // The next text questions get these answers (nothing: Cancel), then Cancel.
    void ScriptTexts(std::initializer_list<std::optional<std::string>> answers) {
        texts_.insert(texts_.end(), answers);
    }
    std::optional<std::string> AskText(const TextQuestion& question) override {
        textQuestions.push_back(question);
        if (texts_.empty()) return std::nullopt;
        std::optional<std::string> answer = texts_.front();
        texts_.pop_front();
        return answer;
    }
    std::vector<TextQuestion> textQuestions;

    std::vector<std::string> questions;
    std::vector<bool> defaults;
    std::vector<std::string> warnings;
    std::vector<std::string> informations;

private:
    std::deque<bool> answers_;
    std::deque<std::optional<std::string>> texts_;
    bool fallback_;
};

}  // namespace winorvex::test
