#pragma once
#include <cstdint>

namespace platform {

using UINT = unsigned;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_USER = 0x0400;

// Anything that receives window messages: windows of the UI layer, test windows.
class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// A window handle is the receiver itself; callers treat it as opaque.
using HWND = MessageHandler*;

// Delivers messages to windows. The UI layer installs the real one; tests may
// install a QueueDispatcher.
class MessageDispatcher {
public:
    virtual ~MessageDispatcher() = default;
    // Synchronous: returns the handler's result. From a thread other than the
    // window's, blocks until the window's thread has handled the message.
    virtual LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Queued: returns at once; false when the message cannot be queued.
    virtual bool post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// Installs the dispatcher used by SendMessage/PostMessage (null: none). The
// caller keeps ownership and must uninstall it before destroying it.
void setMessageDispatcher(MessageDispatcher* dispatcher);
MessageDispatcher* messageDispatcher();

// Without an installed dispatcher, SendMessage calls the handler directly on
// the calling thread and PostMessage fails. A null window is ignored (0/false).
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool PostMessage(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

} // namespace platform
