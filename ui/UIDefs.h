#pragma once
// Basic types, window-message constants and the callback interfaces of the
// windowing framework layer. The program includes ui/ headers only; none of
// them pulls in Qt.
#include "platform/WindowMessages.h"

#include <cstdint>
#include <string>

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;
using BOOL = int;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using UINT_PTR = std::uintptr_t;
using TCHAR = char;
using LPCTSTR = const char*;

// Other system headers (GLib) may define these as macros already.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

struct POINT {
    int x = 0;
    int y = 0;
};
struct SIZE {
    int cx = 0;
    int cy = 0;
};
struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(POINT pt) const { return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom; }
};

// Window messages. WM_CLOSE, WM_QUIT, WM_TIMER, WM_DEVICECHANGE and WM_USER
// come from the platform layer.
using platform::WM_CLOSE;
using platform::WM_DEVICECHANGE;
using platform::WM_QUIT;
using platform::WM_TIMER;
using platform::WM_USER;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_SYSCOMMAND = 0x0112;
// A popup menu item was clicked: wParam is a MenuCmd* the receiver frees
// with CPaintManagerUI::DeletePtr.
constexpr UINT WM_MENUCLICK = WM_USER + 121;
// Files were dropped on a window that accepts them (CWindowWnd::DragAcceptFiles):
// wParam is a const std::vector<std::string>* of local paths, valid during
// the call; lParam is the client point, x in the low and y in the high 16 bits.
constexpr UINT WM_DROPFILES = 0x0233;

// WM_SIZE wParam
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_SYSCOMMAND wParam
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

// Hit-test codes (CWindowWnd::HitTest)
constexpr int HTCLIENT = 1;
constexpr int HTCAPTION = 2;
constexpr int HTLEFT = 10;
constexpr int HTRIGHT = 11;
constexpr int HTTOP = 12;
constexpr int HTTOPLEFT = 13;
constexpr int HTTOPRIGHT = 14;
constexpr int HTBOTTOM = 15;
constexpr int HTBOTTOMLEFT = 16;
constexpr int HTBOTTOMRIGHT = 17;

// Virtual key codes delivered with WM_KEYDOWN (letters and digits are their
// upper-case ASCII codes).
constexpr WPARAM VK_BACK = 0x08;
constexpr WPARAM VK_TAB = 0x09;
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_ESCAPE = 0x1B;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_DELETE = 0x2E;
constexpr WPARAM VK_F1 = 0x70;
constexpr WPARAM VK_F9 = 0x78;
constexpr WPARAM VK_F11 = 0x7A;
constexpr WPARAM VK_F12 = 0x7B;
constexpr WPARAM VK_OEM_PLUS = 0xBB;  // + (main keyboard or keypad; also "=", its unshifted key)
constexpr WPARAM VK_OEM_MINUS = 0xBD; // - (main keyboard or keypad)

// The lParam of WM_KEYDOWN and WM_KEYUP: the modifiers held with the key, and
// whether a text box had the keyboard focus. Keys a text box or a focused
// control uses never arrive; the rest arrive with KEYSTATE_TEXT_FOCUS set
// while a text box is focused, and a window's own new shortcuts act only when
// KeyIsFree says so.
constexpr LPARAM KEYSTATE_SHIFT = 0x1;
constexpr LPARAM KEYSTATE_CONTROL = 0x2;
constexpr LPARAM KEYSTATE_ALT = 0x4;
constexpr LPARAM KEYSTATE_TEXT_FOCUS = 0x100;
// A repeat of a key held down (WM_KEYDOWN only).
constexpr LPARAM KEYSTATE_REPEAT = 0x200;
inline bool KeyIsFree(LPARAM keyState) { return (keyState & KEYSTATE_TEXT_FOCUS) == 0; }
inline LPARAM KeyModifiers(LPARAM keyState) { return keyState & (KEYSTATE_SHIFT | KEYSTATE_CONTROL | KEYSTATE_ALT); }

// Dialog results and message-box icons.
constexpr UINT IDOK = 1;
constexpr UINT IDCANCEL = 2;
constexpr int MB_ICONERROR = 16;
constexpr int MB_ICONQUESTION = 32;
constexpr int MB_ICONWARNING = 48;
constexpr int MB_ICONINFORMATION = 64;

// Window creation. Frames are always drawn by the skin; of the style bits only
// WS_VISIBLE (show after creation) is honoured.
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_EX_WINDOWEDGE = 0x00000100;
constexpr DWORD CS_DBLCLKS = 0x0008;
constexpr DWORD UI_WNDSTYLE_FRAME = WS_VISIBLE | WS_OVERLAPPEDWINDOW;
constexpr DWORD UI_WNDSTYLE_DIALOG =
    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

class CControlUI;
class CPaintManagerUI;

// A notification from a control to the window's notifiers. Types used:
// "windowinit", "click", "selectchanged", "itemselect" (wParam = new index,
// lParam = previous index), "valuechanged", "movevaluechanged" (slider still
// being dragged), "textchanged", "link" (wParam = link number in the text),
// "setfocus".
struct tagTNotifyUI {
    std::string sType;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
using TNotifyUI = tagTNotifyUI;

// Mouse events handed to CControlUI::DoEvent. Positions are in the
// coordinates of the window's client area.
enum UIEVENT_TYPE {
    UIEVENT_SETFOCUS = 8,
    UIEVENT_MOUSEMOVE = 9,
    UIEVENT_MOUSELEAVE = 10,
    UIEVENT_MOUSEENTER = 11,
    UIEVENT_MOUSEHOVER = 12,
    UIEVENT_BUTTONDOWN = 13,
    UIEVENT_BUTTONUP = 14,
    UIEVENT_RBUTTONDOWN = 15,
    UIEVENT_RBUTTONUP = 16,
    UIEVENT_DBLCLICK = 19,
    UIEVENT_SCROLLWHEEL = 25, // wParam: the wheel's turn, 120 per notch (signed, > 0 away from the user)
    UIEVENT_MBUTTONDOWN = 26,
    UIEVENT_MBUTTONUP = 27,
};
struct TEventUI {
    int Type = 0;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    // Modifiers held with a mouse event (KEYSTATE_SHIFT, _CONTROL, _ALT).
    LPARAM keyState = 0;
};

// The signed wheel turn of a UIEVENT_SCROLLWHEEL event.
inline int WheelDelta(const TEventUI& event) { return static_cast<int>(static_cast<LPARAM>(event.wParam)); }

// Receives notifications of the controls of a paint manager.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

// Sees window messages before the window procedure; setting bHandled stops
// the message there.
class IMessageFilterUI {
public:
    virtual ~IMessageFilterUI() = default;
    virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

// Creates the controls of a layout whose element names the builder does not
// know (custom controls). Returning null skips the element.
class IDialogBuilderCallback {
public:
    virtual ~IDialogBuilderCallback() = default;
    virtual CControlUI* CreateControl(LPCTSTR pstrClass) = 0;
};

// Supplies the cell texts of a list's text rows. The returned text must stay
// valid until the next call.
class IListCallbackUI {
public:
    virtual ~IListCallbackUI() = default;
    virtual LPCTSTR GetItemText(CControlUI* pList, int iItem, int iSubItem) = 0;
};

// Asked first for every language-text id; null falls back to the language
// files.
class IQueryControlText {
public:
    virtual ~IQueryControlText() = default;
    virtual LPCTSTR QueryControlText(LPCTSTR lpstrId, LPCTSTR lpstrType) = 0;
};

// Colours cross as 0xAARRGGBB.
constexpr DWORD UIColor(unsigned a, unsigned r, unsigned g, unsigned b)
{
    return (DWORD(a) << 24) | (DWORD(r) << 16) | (DWORD(g) << 8) | DWORD(b);
}
