#include "ui/internal/Dispatcher.h"

#include "ui/UIDefs.h"

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace ui::detail {

namespace {
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

// Other threads wake the UI thread through an eventfd of our own rather than
// Qt's posted-event list: that list is guarded by a lock inside the
// uninstrumented QtCore, so every cross-thread post looked like a race to
// ThreadSanitizer.
UiDispatcher::UiDispatcher() : m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    g_instance = this;
    if (m_wakeFd < 0)
        std::abort(); // no way to reach the UI thread from another one
    m_wakeNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
    QObject::connect(m_wakeNotifier.get(), &QSocketNotifier::activated, this, [this] { onWake(); });
}

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
    m_wakeNotifier.reset();
    ::close(m_wakeFd);
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
    wake();
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
    wake();
    return true;
}

void UiDispatcher::wake()
{
    const uint64_t one = 1;
    // Only a full counter (2^64 - 2 unread wakes) refuses; nothing to do then.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
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

void UiDispatcher::onWake()
{
    uint64_t wakes = 0;
    if (::read(m_wakeFd, &wakes, sizeof wakes) != sizeof wakes)
        return; // another activation took the wakes already
    // Everything queued when this pass begins is delivered now, as one pass
    // of the event loop delivers all posted events; messages posted while
    // delivering wake a later pass, so a window posting to itself cannot
    // starve the loop. Before each delivery the rest re-arms the wake, so a
    // nested (modal or menu) event loop keeps delivering them.
    size_t budget = queued();
    while (budget-- > 0) {
        auto next = takeNext();
        if (!next)
            return; // dropped for a window that went away
        if (budget > 0)
            wake();
        deliver(next);
    }
}

size_t UiDispatcher::queued()
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
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
