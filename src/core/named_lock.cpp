#include "core/named_lock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace winorvex {

// Owned by a thread, as the system mutexes it stands in for: the owning thread may take it again
// (and must release it as often), any other thread waits.
struct CEGalMutex::Shared {
    std::mutex mutex;
    std::condition_variable released;
    std::thread::id owner;
    int count = 0;
};

CEGalMutex::CEGalMutex(const std::string& name) : name_(name) {
    if (name.empty()) {
        shared_ = std::make_shared<Shared>();
        return;
    }
    // Every object of the same name shares one state while any of them lives.
    struct Registry {
        std::mutex mutex;
        std::unordered_map<std::string, std::weak_ptr<Shared>> byName;
    };
    static Registry registry;
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.byName.begin(); it != registry.byName.end();) {
        it = it->second.expired() ? registry.byName.erase(it) : std::next(it);
    }
    auto& slot = registry.byName[name];
    shared_ = slot.lock();
    if (!shared_) {
        shared_ = std::make_shared<Shared>();
        slot = shared_;
    }
}

CEGalMutex::~CEGalMutex() {
    if (!shared_) return;
    // Holds taken through an object that goes away are given back, so that the other users of
    // the name are not locked out for good.
    std::lock_guard lock(shared_->mutex);
    if (holds_ == 0) return;
    shared_->count -= holds_;
    if (shared_->count <= 0) {
        shared_->count = 0;
        shared_->owner = {};
        shared_->released.notify_all();
    }
}

bool CEGalMutex::Lock(int timeoutMs) {
    if (!shared_) return false;
    const auto start = std::chrono::steady_clock::now();
    const auto self = std::this_thread::get_id();
    {
        std::unique_lock lock(shared_->mutex);
        if (shared_->count > 0 && shared_->owner == self) {
            ++shared_->count;
            ++holds_;
            held_ = true;
            return true;
        }
        const auto isFree = [this] { return shared_->count == 0; };
        if (timeoutMs < 0) {
            shared_->released.wait(lock, isFree);
        } else if (!shared_->released.wait_until(lock, start + std::chrono::milliseconds(timeoutMs), isFree)) {
            return false;
        }
        shared_->owner = self;
        shared_->count = 1;
        ++holds_;
        held_ = true;
    }
    // Someone else had it: give the previous holder's follow-up a moment before going on.
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(2)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool CEGalMutex::Unlock() {
    if (!shared_) return false;
    std::lock_guard lock(shared_->mutex);
    if (holds_ == 0 || shared_->count == 0 || shared_->owner != std::this_thread::get_id()) return false;
    --holds_;
    held_ = holds_ > 0;
    if (--shared_->count == 0) {
        shared_->owner = {};
        shared_->released.notify_one();
    }
    return true;
}

}  // namespace winorvex
