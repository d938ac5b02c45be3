#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// A waitable event in the shape of a Windows event object: manual-reset events
// stay signalled until reset; auto-reset events release one waiter and clear.
class Event {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    explicit Event(bool manualReset = false, bool initialState = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // Waits up to `timeoutMs` milliseconds (kInfinite: forever). Returns true
    // when the event was signalled; an auto-reset event is consumed by it.
    bool wait(uint32_t timeoutMs = kInfinite);
    // True when signalled, without waiting and without consuming the signal.
    bool isSignalled() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    const bool manualReset_;
    bool signalled_;
};

} // namespace platform
