#include "detections/last_read_list.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace winorvex {

namespace {

// Every live list, so that forgetting all detections reaches the lists of all boxes. Lock order:
// the registry first, then a list; a list's owner never takes the registry while using it.
struct Registry {
    std::mutex mutex;
    std::vector<CLastBoxDetectionList*> lists;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

CLastBoxDetectionList::CLastBoxDetectionList() {
    for (std::size_t i = 0; i < kCapacity; ++i) order_[i] = static_cast<std::uint8_t>(i);
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    registry.lists.push_back(this);
}

CLastBoxDetectionList::~CLastBoxDetectionList() {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    std::erase(registry.lists, this);
}

int CLastBoxDetectionList::IndexOfLocked(std::string_view identifier) const {
    if (identifier.size() > kMaxIdentifier) return -1;
    for (std::size_t i = 0; i < count_; ++i) {
        const Element& element = slots_[order_[i]];
        if (element.length == identifier.size() &&
            (identifier.empty() || std::memcmp(element.identifier, identifier.data(), identifier.size()) == 0)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CLastBoxDetectionList::Touch(std::string_view identifier, const CChrono& time, CChrono& previous) {
    if (identifier.size() > kMaxIdentifier) return false;
    const std::lock_guard lock(mutex_);
    const int found = IndexOfLocked(identifier);
    std::size_t position;
    if (found >= 0) {
        position = static_cast<std::size_t>(found);
        previous = slots_[order_[position]].time;
    } else {
        // A new identifier takes the slot after the last used one; when the list is full that is
        // the least recent element, which falls off.
        position = count_ < kCapacity ? count_++ : kCapacity - 1;
        Element& element = slots_[order_[position]];
        element.length = static_cast<std::uint8_t>(identifier.size());
        if (!identifier.empty()) std::memcpy(element.identifier, identifier.data(), identifier.size());
        element.identifier[identifier.size()] = '\0';
    }
    const std::uint8_t slot = order_[position];
    slots_[slot].time = time;
    // Move to the front: only slot numbers move.
    std::copy_backward(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(position),
                       order_.begin() + static_cast<std::ptrdiff_t>(position) + 1);
    order_[0] = slot;
    return found >= 0;
}

bool CLastBoxDetectionList::Find(std::string_view identifier, CChrono& time) const {
    const std::lock_guard lock(mutex_);
    const int found = IndexOfLocked(identifier);
    if (found < 0) return false;
    time = slots_[order_[static_cast<std::size_t>(found)]].time;
    return true;
}

void CLastBoxDetectionList::Clear() {
    const std::lock_guard lock(mutex_);
    count_ = 0;
}

std::size_t CLastBoxDetectionList::Count() const {
    const std::lock_guard lock(mutex_);
    return count_;
}

std::string CLastBoxDetectionList::IdentifierAt(std::size_t index) const {
    const std::lock_guard lock(mutex_);
    if (index >= count_) return {};
    const Element& element = slots_[order_[index]];
    return std::string(element.identifier, element.length);
}

void ClearAllLastReadLists() {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    for (CLastBoxDetectionList* list : registry.lists) list->Clear();
}

}  // namespace winorvex
