#pragma once
// Named locks shared inside the process (the system-wide mutexes of the original station become
// in-process timed mutexes with the same names).
#include <memory>
#include <string>

namespace winorvex {

class CEGalMutex {
public:
    explicit CEGalMutex(const std::string& name);
    ~CEGalMutex();
    CEGalMutex(const CEGalMutex&) = delete;
    CEGalMutex& operator=(const CEGalMutex&) = delete;

    // Waits at most timeoutMs; when the wait lasted more than 2 ms, sleeps 20 ms more before
    // returning (still holding it). False on time-out.
    bool Lock(int timeoutMs);
    bool Unlock();
    const std::string& Name() const { return name_; }

private:
    struct Shared;
    std::string name_;
    std::shared_ptr<Shared> shared_;
    bool held_ = false;
    int holds_ = 0;  // nested holds taken through this object, guarded by the shared state's mutex
};

// Owns a CEGalMutex and keeps its name.
class CResourceMutex {
public:
    explicit CResourceMutex(const std::string& name) : mutex_(name) {}
    bool Lock(int timeoutMs) { return mutex_.Lock(timeoutMs); }
    bool Unlock() { return mutex_.Unlock(); }
    const std::string& Name() const { return mutex_.Name(); }

private:
    CEGalMutex mutex_;
};

}  // namespace winorvex
