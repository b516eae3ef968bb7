#pragma once
// One station per data folder: an exclusive flock() on "WinORVEX.mtx" in the data folder. The
// lock belongs to the open file, so it dies with the process: a crash never leaves a stale lock.
#include <string>

#include "core/unique_fd.h"

namespace winorvex {

class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock (or already did). False when another process
    // holds it or the file cannot be opened (error tells which).
    bool Acquire(const std::string& dataFolder, std::string& error);
    void Release() { fd_.Reset(); }
    bool Held() const { return fd_.IsOpen(); }

private:
    UniqueFd fd_;
};

// "Sorry...\nWinORVEX is already started and cannot be started twice..." in the station's language.
const char* AlreadyRunningText();

}  // namespace winorvex
