#pragma once
#include "platform/WindowMessages.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

// A message dispatcher for programs and tests without a GUI event loop: every
// window belongs to one thread (the one that constructed the dispatcher or last
// called bindToCurrentThread), which handles queued messages in pump().
class QueueDispatcher final : public MessageDispatcher {
public:
    QueueDispatcher();
    ~QueueDispatcher() override;

    void bindToCurrentThread();

    LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Handles every message queued so far; call on the owning thread.
    // Returns the number handled.
    int pump();
    // Pumps until a message arrives and is handled or `timeoutMs` passes.
    // Returns the number handled.
    int pumpFor(uint32_t timeoutMs);
    // Drops queued messages for a window that is going away; blocked senders
    // are released with result 0.
    void discard(HWND window);

private:
    struct Pending;
    std::shared_ptr<Pending> takeNext();

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::shared_ptr<Pending>> queue_;
    std::thread::id owner_;
};

} // namespace platform
