#pragma once
// The window-message dispatcher of the UI layer (ui/ internal).
#include "platform/WindowMessages.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

class QSocketNotifier;
class QTimer;

namespace ui::detail {

class UiDispatcher final : public QObject, public platform::MessageDispatcher {
public:
    UiDispatcher();
    ~UiDispatcher() override;

    platform::LRESULT send(platform::HWND window, platform::UINT message, platform::WPARAM wParam,
                           platform::LPARAM lParam) override;
    bool post(platform::HWND window, platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override;

    // Drops messages queued for a window that is going away (blocked
    // senders get 0) and stops its timers; messages sent or posted to it
    // later are dropped too (send answers 0, post false), until remember().
    void forget(platform::HWND window);
    // A window was created (possibly where a destroyed one lived).
    void remember(platform::HWND window);
    bool setTimer(platform::HWND window, platform::UINT id, platform::UINT elapse);
    void killTimer(platform::HWND window, platform::UINT id);

    static UiDispatcher* instance();

private:
    struct Pending;
    void wake();
    void onWake();
    size_t queued();
    std::shared_ptr<Pending> takeNext();
    void deliver(const std::shared_ptr<Pending>& pending);

    std::mutex m_mutex;
    std::deque<std::shared_ptr<Pending>> m_queue;
    std::set<platform::HWND> m_gone; // destroyed windows (under m_mutex)
    std::map<std::pair<platform::HWND, platform::UINT>, QTimer*> m_timers;
    int m_wakeFd;
    std::unique_ptr<QSocketNotifier> m_wakeNotifier;
};

} // namespace ui::detail
