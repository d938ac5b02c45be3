#pragma once
// SIGTERM and SIGINT (a logout, Ctrl+C) end the program the way closing its
// window does, without the question: a thread of its own waits for them and
// posts WM_APP_TERMINATE to the main window, so nothing runs in a signal
// handler. Block() must run before any other thread starts (threads inherit
// the blocked set); child processes unblock them again before exec.
#include "platform/WindowMessages.h"

#include <atomic>
#include <pthread.h>
#include <thread>

namespace shell {

class TerminationSignals {
public:
    // Blocks SIGTERM and SIGINT in the calling thread (and every thread it starts).
    static void Block();
    // Unblocks them; for a child process between fork and exec (async-signal-safe).
    static void UnblockInChild();

    // Waits for the signals and posts WM_APP_TERMINATE to `window`.
    explicit TerminationSignals(platform::HWND window);
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;
    ~TerminationSignals();

private:
    platform::HWND m_window;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

} // namespace shell
