#pragma once
// Windows. A window object is also its handle (HWND): SendMessage,
// PostMessage and timers address it, and it receives them in HandleMessage on
// the UI thread.
//
// CWindowWnd is the bare window: Create, ShowWindow, ShowModal/Close,
// CenterWindow, timers and a default window procedure (WM_CLOSE destroys the
// window; WM_SYSCOMMAND SC_CLOSE/SC_MAXIMIZE/SC_MINIMIZE/SC_RESTORE do what
// they say). Windows are frameless; the layout's caption area drags the
// window, its size box resizes it, its round corners and shadow are drawn.
//
// WindowImplBase builds its content from GetSkinFile() and dispatches the
// messages to the overridable handlers.
#include "ui/PaintManager.h"
#include "ui/UIDefs.h"

#include <set>
#include <string>

class QWidget;
namespace ui::detail {
class WindowHost;
class ModalRun;
struct ModalState;
} // namespace ui::detail

struct WINDOWPLACEMENT {
    RECT rcNormalPosition; // frame rectangle when not maximised
    bool maximized = false;
};

class CWindowWnd : public platform::MessageHandler {
public:
    CWindowWnd();
    ~CWindowWnd() override;

    HWND GetHWND() const { return const_cast<CWindowWnd*>(this); }
    operator HWND() const { return GetHWND(); }
    // The CWindowWnd behind a handle (null for other message handlers).
    static CWindowWnd* FromHandle(HWND hWnd);

    // Creates the window, sends WM_CREATE, then sizes it (CW_USEDEFAULT: the
    // layout's size) and shows it when dwStyle has WS_VISIBLE. The parent is
    // the owner: the window stays above it.
    HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
    bool IsWindow() const;
    HWND GetOwner() const { return m_owner; }

    void ShowWindow(bool bShow = true, bool bTakeFocus = true);
    bool IsWindowVisible() const;
    // Shows the window modal (other windows take no input) and runs a nested
    // message loop until it is destroyed; returns the code given to Close
    // (IDCANCEL when ui::CloseModalWindows of ui/ModalWindows.h ended it).
    UINT ShowModal();
    // Asks the window to close with this result (posts WM_CLOSE, wParam = nRet).
    void Close(UINT nRet = IDOK);
    // Destroys the window now: WM_DESTROY, then OnFinalMessage.
    void DestroyWindow();
    // Centres over the owner, or on the primary screen without one.
    void CenterWindow();
    void SetWindowText(const std::string& title);
    void SetIcon(const std::string& skinImage);

    // Frame rectangle in screen coordinates (without the drawn shadow).
    bool GetWindowRect(RECT& rc) const;
    void MoveWindow(const RECT& rc);
    void ResizeClient(int cx, int cy);
    bool ClientToScreen(POINT& pt) const;
    bool ScreenToClient(POINT& pt) const;
    bool GetWindowPlacement(WINDOWPLACEMENT& placement) const;
    bool SetWindowPlacement(const WINDOWPLACEMENT& placement);
    bool IsMaximized() const;
    // Full screen by the window manager's full-screen state, which also
    // restores the previous placement (maximised or not) on leaving. False,
    // with nothing changed, when no standards-compliant window manager runs
    // (the caller then moves the window onto the monitor itself).
    bool SetFullScreen(bool on);
    bool IsFullScreen() const;
    // Files dragged from a file manager onto the window are offered to it
    // (the pointer says so) and, when dropped, sent as WM_DROPFILES.
    void DragAcceptFiles(bool accept);
    static bool WindowManagerRunning();
    // Re-reads the frame attributes of the layout (shadow, corners, minimum
    // size), e.g. after a DPI change.
    void UpdateFrame();
    bool IsMinimized() const;
    // The primary screen's full and available (work area) rectangles.
    static RECT GetPrimaryMonitorRect();
    static RECT GetPrimaryWorkArea();

    // WM_TIMER (wParam = id) every `elapse` ms until KillTimer; setting an
    // existing id restarts it. UI thread only.
    bool SetTimer(UINT id, UINT elapse);
    void KillTimer(UINT id);

    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

    // Hit test for a client position: HTCAPTION, HTCLIENT or a sizing code.
    // The default uses the layout's caption and size box; in the caption,
    // buttons, options and texts stay client.
    virtual int HitTest(POINT pt);

    // The window procedure; the base is the default handling.
    virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    virtual LPCTSTR GetWindowClassName() const = 0;
    virtual LPCTSTR GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return 0; }
    // Last call after the window is destroyed (the object may delete itself).
    virtual void OnFinalMessage(HWND hWnd);
    // The paint manager whose layout gives the frame attributes (null: none).
    virtual CPaintManagerUI* GetFrameManager() { return nullptr; }

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) final;

    // The Qt widget of the window (ui/ internals and the test driver).
    QWidget* GetWidget() const;
    // The widget that holds the layout's root control (client area).
    QWidget* GetClientWidget() const;

protected:
    // Default processing of a message (what HandleMessage falls back to).
    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    friend class ui::detail::WindowHost;
    friend class ui::detail::ModalRun;
    ui::detail::WindowHost* m_host = nullptr;
    HWND m_owner = nullptr;
    std::set<UINT> m_timers;
    UINT m_modalResult = 0;
    // The running ShowModal's state (on its stack), null when none runs.
    ui::detail::ModalState* m_modalLoop = nullptr;
    bool m_destroying = false;
};

class WindowImplBase : public CWindowWnd, public INotifyUI, public IMessageFilterUI, public IDialogBuilderCallback {
public:
    WindowImplBase() = default;

    // Layout file of the window, relative to the skin.
    virtual std::string GetSkinFile() = 0;
    // Runs after the layout is built and attached (WM_CREATE).
    virtual void InitWindow() {}
    // The default handles clicks on "closebtn" (Close), "minbtn", "maxbtn"
    // and "restorebtn".
    void Notify(TNotifyUI& msg) override;
    // Dispatches WM_CREATE, WM_CLOSE, WM_DESTROY, WM_KEYDOWN, WM_SIZE to the
    // handlers below; what they leave unhandled, and every other message,
    // goes to HandleCustomMessage, then to the default processing.
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // Leave bHandled FALSE to let the window be destroyed; TRUE keeps it open.
    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // Enter and Escape, before OnKeyDown; non-zero consumes the key.
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);
    // Custom controls of the layout (null: skip the element).
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    // Message filter: sees key-downs before the window procedure; the
    // default routes Enter and Escape to ResponseDefaultKeyEvent.
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

    CPaintManagerUI* GetFrameManager() override { return &m_PaintManager; }

protected:
    CPaintManagerUI m_PaintManager;
};
