#include "app/progress.h"

namespace winorvex {

ProgressState::ProgressState(std::string caption) : caption_(caption.empty() ? DefaultCaption() : std::move(caption)) {}

const char* ProgressState::DefaultCaption() {
    // String 105 of the window's resources, the same in both languages.
    return "Progress";
}

std::string ProgressState::Caption() const {
    std::lock_guard lock(mutex_);
    return caption_;
}

void ProgressState::SetCaption(std::string caption) {
    {
        std::lock_guard lock(mutex_);
        caption_ = std::move(caption);
    }
    Touch();
}

std::string ProgressState::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void ProgressState::SetStatus(std::string text) {
    {
        std::lock_guard lock(mutex_);
        status_ = std::move(text);
    }
    Touch();
}

std::string ProgressState::CountText() const {
    std::lock_guard lock(mutex_);
    return count_;
}

void ProgressState::SetCountText(std::string text) {
    {
        std::lock_guard lock(mutex_);
        count_ = std::move(text);
    }
    Touch();
}

bool ProgressState::CheckCancel() {
    const bool cancelled = cancel_.exchange(false);
    return cancelled || stop_.load();
}

void ProgressState::RequestStop() {
    stop_.store(true);
    cancel_.store(true);
}

ProgressJob::ProgressJob(std::string caption, Work work)
    : state_(std::move(caption)), thread_([this, work = std::move(work)] {
          if (work) work(state_);
          finished_.store(true);
      }) {}

ProgressJob::~ProgressJob() {
    StopAndWait();
}

void ProgressJob::StopAndWait() {
    state_.RequestStop();
    if (thread_.joinable()) thread_.join();
}

}  // namespace winorvex
