#include "app/shell/TerminationSignals.h"

#include "app/common/AppMessages.h"

#include <csignal>

namespace shell {
namespace {

// SIGUSR2 only wakes the waiting thread when the watcher ends.
sigset_t WatchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR2);
    return set;
}

} // namespace

void TerminationSignals::Block()
{
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void TerminationSignals::UnblockInChild()
{
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

TerminationSignals::TerminationSignals(platform::HWND window) : m_window(window)
{
    Block();
    m_thread = std::thread([this] {
        const sigset_t set = WatchedSignals();
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0 || m_stopping.load())
                return;
            if (signal == SIGTERM || signal == SIGINT)
                platform::PostMessage(m_window, WM_APP_TERMINATE, static_cast<platform::WPARAM>(signal));
        }
    });
}

TerminationSignals::~TerminationSignals()
{
    m_stopping.store(true);
    pthread_kill(m_thread.native_handle(), SIGUSR2);
    m_thread.join();
}

} // namespace shell
