#include "platform/QueueDispatcher.h"

#include <chrono>

namespace platform {

struct QueueDispatcher::Pending {
    Pending(HWND w, UINT m, WPARAM wp, LPARAM lp, bool sync)
        : window(w), message(m), wParam(wp), lParam(lp), synchronous(sync)
    {
    }
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool synchronous;
    bool finished = false;
    LRESULT result = 0;
    std::condition_variable done;
};

QueueDispatcher::QueueDispatcher() : owner_(std::this_thread::get_id()) {}

QueueDispatcher::~QueueDispatcher()
{
    // Release anyone still blocked in send().
    std::lock_guard lock(mutex_);
    for (auto& pending : queue_) {
        pending->finished = true;
        pending->done.notify_all();
    }
    queue_.clear();
}

void QueueDispatcher::bindToCurrentThread()
{
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
}

LRESULT QueueDispatcher::send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::unique_lock lock(mutex_);
    if (std::this_thread::get_id() == owner_) {
        lock.unlock();
        return window->handleMessage(message, wParam, lParam);
    }
    auto pending = std::make_shared<Pending>(window, message, wParam, lParam, true);
    queue_.push_back(pending);
    arrived_.notify_all();
    pending->done.wait(lock, [&] { return pending->finished; });
    return pending->result;
}

bool QueueDispatcher::post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard lock(mutex_);
    queue_.push_back(std::make_shared<Pending>(window, message, wParam, lParam, false));
    arrived_.notify_all();
    return true;
}

std::shared_ptr<QueueDispatcher::Pending> QueueDispatcher::takeNext()
{
    std::lock_guard lock(mutex_);
    if (queue_.empty())
        return nullptr;
    auto next = queue_.front();
    queue_.pop_front();
    return next;
}

int QueueDispatcher::pump()
{
    int handled = 0;
    while (auto next = takeNext()) {
        const LRESULT result = next->window->handleMessage(next->message, next->wParam, next->lParam);
        ++handled;
        if (next->synchronous) {
            std::lock_guard lock(mutex_);
            next->result = result;
            next->finished = true;
            next->done.notify_all();
        }
    }
    return handled;
}

int QueueDispatcher::pumpFor(uint32_t timeoutMs)
{
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty(); });
    }
    return pump();
}

void QueueDispatcher::discard(HWND window)
{
    std::lock_guard lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end();) {
        if ((*it)->window != window) {
            ++it;
            continue;
        }
        (*it)->finished = true;
        (*it)->done.notify_all();
        it = queue_.erase(it);
    }
}

} // namespace platform
