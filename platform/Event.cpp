#include "platform/Event.h"

#include <chrono>

namespace platform {

Event::Event(bool manualReset, bool initialState) : manualReset_(manualReset), signalled_(initialState) {}

void Event::set()
{
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    if (manualReset_)
        cond_.notify_all();
    else
        cond_.notify_one();
}

void Event::reset()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::wait(uint32_t timeoutMs)
{
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return signalled_; };
    if (timeoutMs == kInfinite)
        cond_.wait(lock, ready);
    else if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!manualReset_)
        signalled_ = false;
    return true;
}

bool Event::isSignalled() const
{
    std::lock_guard lock(mutex_);
    return signalled_;
}

} // namespace platform
