#pragma once
#include <mutex>

namespace platform {

// A recursive lock with the enter/leave vocabulary of a Windows critical
// section. It also satisfies Lockable, so std::lock_guard works on it.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter() { mutex_.lock(); }
    void leave() { mutex_.unlock(); }
    bool tryEnter() { return mutex_.try_lock(); }

    void lock() { enter(); }
    void unlock() { leave(); }
    bool try_lock() { return tryEnter(); }

private:
    std::recursive_mutex mutex_;
};

} // namespace platform
