#include "ui/internal/Dispatcher.h"

#include "ui/UIDefs.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>

#include <cstdlib>

namespace ui::detail {

namespace {
const QEvent::Type kWake = static_cast<QEvent::Type>(QEvent::User + 417);
UiDispatcher* g_instance = nullptr;
} // namespace

struct UiDispatcher::Pending {
    Pending(platform::HWND w, platform::UINT m, platform::WPARAM wp, platform::LPARAM lp, bool sync)
        : window(w), message(m), wParam(wp), lParam(lp), synchronous(sync)
    {
    }
    platform::HWND window;
    platform::UINT message;
    platform::WPARAM wParam;
    platform::LPARAM lParam;
    bool synchronous;
    bool finished = false;
    platform::LRESULT result = 0;
    std::condition_variable done;
};

UiDispatcher::UiDispatcher() { g_instance = this; }

UiDispatcher::~UiDispatcher()
{
    if (g_instance == this)
        g_instance = nullptr;
    for (auto& [key, timer] : m_timers)
        delete timer;
    std::lock_guard lock(m_mutex);
    for (auto& pending : m_queue) {
        pending->finished = true;
        pending->done.notify_all();
    }
    m_queue.clear();
}

UiDispatcher* UiDispatcher::instance() { return g_instance; }

platform::LRESULT UiDispatcher::send(platform::HWND window, platform::UINT message, platform::WPARAM wParam,
                                     platform::LPARAM lParam)
{
    if (QThread::currentThread() == thread()) {
        {
            std::lock_guard lock(m_mutex);
            if (m_gone.count(window))
                return 0;
        }
        return window->handleMessage(message, wParam, lParam);
    }
    auto pending = std::make_shared<Pending>(window, message, wParam, lParam, true);
    std::unique_lock lock(m_mutex);
    if (m_gone.count(window))
        return 0;
    m_queue.push_back(pending);
    // Posting is thread-safe; the UI thread wakes up even inside a nested
    // (modal or menu) event loop.
    QCoreApplication::postEvent(this, new QEvent(kWake));
    pending->done.wait(lock, [&] { return pending->finished; });
    return pending->result;
}

bool UiDispatcher::post(platform::HWND window, platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_gone.count(window))
            return false;
        m_queue.push_back(std::make_shared<Pending>(window, message, wParam, lParam, false));
    }
    QCoreApplication::postEvent(this, new QEvent(kWake));
    return true;
}

std::shared_ptr<UiDispatcher::Pending> UiDispatcher::takeNext()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return nullptr;
    auto next = m_queue.front();
    m_queue.pop_front();
    return next;
}

void UiDispatcher::deliver(const std::shared_ptr<Pending>& pending)
{
    const platform::LRESULT result = pending->window->handleMessage(pending->message, pending->wParam, pending->lParam);
    if (pending->synchronous) {
        std::lock_guard lock(m_mutex);
        pending->result = result;
        pending->finished = true;
        pending->done.notify_all();
    }
}

bool UiDispatcher::event(QEvent* event)
{
    if (event->type() != kWake)
        return QObject::event(event);
    // One wake per queued message; a wake whose message was dropped finds
    // the next one or nothing.
    if (auto next = takeNext())
        deliver(next);
    return true;
}

void UiDispatcher::forget(platform::HWND window)
{
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->first.first == window) {
            it->second->stop();
            it->second->deleteLater();
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
    std::lock_guard lock(m_mutex);
    m_gone.insert(window);
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if ((*it)->window != window) {
            ++it;
            continue;
        }
        // A menu record nobody will receive is freed here.
        if ((*it)->message == WM_MENUCLICK && !(*it)->synchronous)
            std::free(reinterpret_cast<void*>((*it)->wParam));
        (*it)->finished = true;
        (*it)->done.notify_all();
        it = m_queue.erase(it);
    }
}

void UiDispatcher::remember(platform::HWND window)
{
    std::lock_guard lock(m_mutex);
    m_gone.erase(window);
}

bool UiDispatcher::setTimer(platform::HWND window, platform::UINT id, platform::UINT elapse)
{
    if (!window || QThread::currentThread() != thread())
        return false;
    QTimer*& timer = m_timers[{window, id}];
    if (!timer) {
        timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, this,
                         [window, id] { window->handleMessage(platform::WM_TIMER, id, 0); });
    }
    timer->start(static_cast<int>(elapse));
    return true;
}

void UiDispatcher::killTimer(platform::HWND window, platform::UINT id)
{
    auto it = m_timers.find({window, id});
    if (it == m_timers.end())
        return;
    // The timer may be the one whose tick is running now.
    it->second->stop();
    it->second->deleteLater();
    m_timers.erase(it);
}

} // namespace ui::detail
