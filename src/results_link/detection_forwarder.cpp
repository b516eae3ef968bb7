#include "results_link/detection_forwarder.h"

#include <algorithm>
#include <charconv>

#include "detections/result_list.h"
#include "results_link/link_socket.h"
#include "results_link/results_line.h"
#include "results_link/windows1252.h"

namespace winorvex {
namespace {

// The NUMBER a runner record carries for this bib: its value when it is all digits (a chip the
// table did not translate gets no number from the results program).
int NumberOfBib(std::string_view bib) {
    int value = 0;
    const auto [end, error] = std::from_chars(bib.data(), bib.data() + bib.size(), value);
    if (error != std::errc() || end != bib.data() + bib.size()) return 0;
    return value;
}

// The results program prints the time its own way (whole seconds, blanks); it matches when the
// record's time text starts with it.
bool TimeMatches(std::string_view timeText, std::string_view answered) {
    while (!answered.empty() && answered.back() == ' ') answered.remove_suffix(1);
    while (!answered.empty() && answered.front() == ' ') answered.remove_prefix(1);
    return !answered.empty() && timeText.starts_with(answered);
}

// A runner record's NUMBER and TIME; false for every other line.
bool ReadAnswer(std::string_view line, int& number, std::string& time) {
    RunnerRecord record;
    if (line.starts_with("ERR:") || line.starts_with("NFO:")) return false;
    if (line.starts_with("RES:1")) {
        int fields = 0;
        if (!SplitSeparatedRecord(line.size() > 6 ? line.substr(6) : std::string_view(), record, fields)) return false;
    } else {
        for (const std::string_view tag : {"kt04", "kt05", "kt06"}) {
            ScanRunnerRecord(line, tag, record);
            if (!record.format.empty()) break;
        }
        if (record.format.empty()) return false;
    }
    number = record.number;
    time = std::move(record.time);
    return true;
}

bool ReadInformationCode(std::string_view line, int& code) {
    if (!line.starts_with("NFO:")) return false;
    line.remove_prefix(4);
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), code);
    return error == std::errc() && end != line.data();
}

}  // namespace

void DetectionForwarder::ResetLocked(std::uint64_t generation) {
    generation_ = generation;
    order_.clear();
    cursor_ = written_ = answered_ = receivedMark_ = resume_ = 0;
    requests_.clear();
    ClearChainsLocked(0);
}

void DetectionForwarder::ClearChainsLocked(std::size_t from) {
    sent_.clear();
    sent_.shrink_to_fit();
    sentBase_ = pruned_ = from;
    chains_.clear();
}

void DetectionForwarder::ChainLocked(int number) {
    const auto index = static_cast<std::uint32_t>(sentBase_ + sent_.size());
    sent_.push_back(Sent{number, kNoLine});
    const auto [chain, added] = chains_.try_emplace(number, Chain{index, index});
    if (added) return;
    SentAt(chain->second.last).next = index;
    chain->second.last = index;
}

void DetectionForwarder::PruneLocked(std::size_t steps) {
    const std::size_t until = std::min(answered_, pruned_ + steps);
    for (; pruned_ < until; ++pruned_) {
        const Sent& sent = SentAt(pruned_);
        const auto chain = chains_.find(sent.number);
        // A lookup may have taken the chain past this line already.
        if (chain == chains_.end() || chain->second.first != pruned_) continue;
        if (sent.next == kNoLine) {
            chains_.erase(chain);
        } else {
            chain->second.first = sent.next;
        }
    }
    const std::size_t passed = pruned_ - sentBase_;
    if (passed >= kAnswerWindow && 2 * passed >= sent_.size()) {
        sent_.erase(sent_.begin(), sent_.begin() + static_cast<std::ptrdiff_t>(passed));
        sentBase_ = pruned_;
    }
}

void DetectionForwarder::OnRecorded(std::size_t position) {
    const std::uint64_t generation = ResultListGeneration();
    std::lock_guard lock(mutex_);
    if (generation != generation_) ResetLocked(generation);
    order_.push_back(static_cast<std::uint32_t>(position));
    if (wake_ != nullptr && !wakePending_) {
        wakePending_ = true;
        wake_->Signal();
    }
}

void DetectionForwarder::SetResend(bool resend) {
    std::lock_guard lock(mutex_);
    resend_ = resend;
}

bool DetectionForwarder::Resend() const {
    std::lock_guard lock(mutex_);
    return resend_;
}

void DetectionForwarder::BeginLink(const WakeEvent& wake) {
    const std::uint64_t generation = ResultListGeneration();
    std::lock_guard lock(mutex_);
    if (generation != generation_) ResetLocked(generation);
    // Without resending, the results program gets what is recorded from now on.
    cursor_ = resend_ ? std::min(resume_, order_.size()) : order_.size();
    written_ = answered_ = receivedMark_ = cursor_;
    ClearChainsLocked(cursor_);
    answersOnLink_ = false;
    requests_.clear();
    wake_ = &wake;
    wakePending_ = false;
    linked_ = true;
    if (cursor_ < order_.size()) {
        wakePending_ = true;
        wake.Signal();
    }
}

std::size_t DetectionForwarder::FillBatch(std::string& out, std::vector<std::size_t>& lineEnds, std::size_t maxBytes,
                                          Windows1252Encoder& encoder) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        wakePending_ = false;
        if (!linked_ || cursor_ >= order_.size()) return 0;
        generation = generation_;
        PruneLocked(kPruneSteps);
    }
    std::size_t added = 0;
    const bool current = VisitResultsAt(generation, [&](const ResultAt& at) {
        std::lock_guard lock(mutex_);
        if (generation_ != generation) return;
        while (cursor_ < order_.size() && out.size() < maxBytes) {
            const CRixResult* record = at(order_[cursor_]);
            ++cursor_;
            if (record == nullptr) {  // cannot happen while the generation holds
                sent_.emplace_back();
                continue;
            }
            ChainLocked(NumberOfBib(record->bib));
            out += "AddRixClock(1\t";
            encoder.Append(out, record->detector);
            out += '\t';
            encoder.Append(out, record->bib);
            out += "\t1\t";
            encoder.Append(out, record->timeText);
            out += ")\r\n";
            lineEnds.push_back(out.size());
            ++added;
        }
    });
    if (!current) {
        // Forgotten detections are not sent: the positions start again with the new list.
        const std::uint64_t now = ResultListGeneration();
        std::lock_guard lock(mutex_);
        if (generation_ != now) ResetLocked(now);
    }
    return added;
}

void DetectionForwarder::OnLinesWritten(std::size_t count, Clock::time_point now) {
    if (count == 0) return;
    std::lock_guard lock(mutex_);
    if (written_ == answered_) waitingSince_ = now;
    written_ = std::min(written_ + count, cursor_);
}

void DetectionForwarder::OnRequestWritten(int answerCode) {
    std::lock_guard lock(mutex_);
    requests_.push_back(Request{answerCode, written_});
}

bool DetectionForwarder::MatchAnswer(int number, std::string_view time, Clock::time_point now) {
    std::size_t from = 0;
    std::uint32_t first = kNoLine;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        const auto chain = chains_.find(number);
        if (chain == chains_.end()) return false;
        // Lines of this bib the mark passed before the pruning reached them are skipped once.
        first = chain->second.first;
        while (first < answered_) first = SentAt(first).next;
        if (first == kNoLine) {
            chains_.erase(chain);
            return false;
        }
        chain->second.first = first;
        if (first >= written_) return false;
        from = answered_;
        generation = generation_;
    }
    // Answers come in order: the answered detection is the first unanswered one of the bib whose
    // time fits, else the first of the bib. An earlier one without an answer of its own was read
    // too. The list's lock comes first, as on the recording side.
    std::size_t found = SIZE_MAX;
    VisitResultsAt(generation, [&](const ResultAt& at) {
        std::lock_guard lock(mutex_);
        if (generation_ != generation || answered_ != from) return;
        found = first;
        std::uint32_t index = first;
        for (std::size_t compared = 0; compared < kAnswerWindow && index < written_; ++compared) {
            const CRixResult* record = at(order_[index]);
            if (record != nullptr && TimeMatches(record->timeText, time)) {
                found = index;
                return;
            }
            index = SentAt(index).next;
        }
    });
    if (found == SIZE_MAX) return false;
    std::lock_guard lock(mutex_);
    if (generation_ != generation || answered_ != from) return false;
    answered_ = found + 1;
    answersOnLink_ = true;
    waitingSince_ = now;
    PruneLocked(kPruneSteps);
    return true;
}

void DetectionForwarder::OnLineReceived(std::string_view line, Clock::time_point now) {
    int number = 0;
    std::string time;
    if (ReadAnswer(line, number, time)) {
        MatchAnswer(number, time, now);
        return;
    }
    int code = 0;
    if (!ReadInformationCode(line, code)) return;
    std::lock_guard lock(mutex_);
    while (!requests_.empty()) {
        const Request request = requests_.front();
        requests_.pop_front();
        if (request.answerCode == code) {
            receivedMark_ = std::max(receivedMark_, request.written);
            return;
        }
    }
}

bool DetectionForwarder::AwaitingAnswers(Clock::time_point& since) const {
    std::lock_guard lock(mutex_);
    if (!answersOnLink_ || written_ <= answered_) return false;
    since = waitingSince_;
    return true;
}

std::size_t DetectionForwarder::EndLink() {
    std::lock_guard lock(mutex_);
    wake_ = nullptr;
    wakePending_ = false;
    linked_ = false;
    resume_ = answersOnLink_ ? answered_ : std::max(answered_, receivedMark_);
    requests_.clear();
    return order_.size() - std::min(resume_, order_.size());
}

ForwarderCounters DetectionForwarder::Counters() const {
    std::lock_guard lock(mutex_);
    ForwarderCounters counters;
    counters.forwarded = order_.size();
    counters.answered = answered_;
    counters.waiting = order_.size() - std::min(cursor_, order_.size());
    return counters;
}

}  // namespace winorvex
