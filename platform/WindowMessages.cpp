#include "platform/WindowMessages.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<MessageDispatcher*> installed{nullptr};
}

void setMessageDispatcher(MessageDispatcher* dispatcher) { installed.store(dispatcher); }

MessageDispatcher* messageDispatcher() { return installed.load(); }

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!window)
        return 0;
    if (MessageDispatcher* dispatcher = installed.load())
        return dispatcher->send(window, message, wParam, lParam);
    return window->handleMessage(message, wParam, lParam);
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!window)
        return false;
    if (MessageDispatcher* dispatcher = installed.load())
        return dispatcher->post(window, message, wParam, lParam);
    return false;
}

} // namespace platform
