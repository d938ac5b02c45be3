#pragma once
// A native child window inside a window's client area, for drawing with
// another toolkit (an SFML render window is created on NativeHandle()). The
// mouse events it receives are handed to a control's DoEvent, in the
// coordinates of the window's client area, as if they had reached the
// control itself.
#include "ui/UIDefs.h"

#include <cstdint>
#include <memory>

class CControlUI;
class QWidget;

class CNativeChildWindow {
public:
    // Creates the child window in `parent` (a CWindowWnd) at 0,0 with the
    // given size, shown.
    CNativeChildWindow(HWND parent, int cx = 320, int cy = 240);
    ~CNativeChildWindow();
    CNativeChildWindow(const CNativeChildWindow&) = delete;
    CNativeChildWindow& operator=(const CNativeChildWindow&) = delete;

    bool IsValid() const;
    // The platform window id (an X11 Window on X11); 0 when not valid.
    std::uintptr_t NativeHandle() const;
    // The window that holds it (target of the view's messages).
    HWND GetParent() const { return m_parent; }
    // Position and size in the parent's client coordinates.
    void Move(const RECT& rc);
    RECT GetRect() const;
    void Show(bool show);
    bool IsVisible() const;
    // Mouse events go to this control's DoEvent (null: nowhere).
    void SetEventTarget(CControlUI* control);

private:
    class Surface;
    HWND m_parent;
    Surface* m_surface = nullptr;
};
