#pragma once
// CNativeWindowUI: a control whose widget is a native window of its own, for
// content another library draws (OpenGL). Qt paints nothing on it; its mouse
// events reach DoEvent as for every other control. The program sees no Qt
// types: the native window is an X11 window id, the display an opaque pointer.
#include "ui/Control.h"

class QObject;
class NativeSurfaceWatcher;

class CNativeWindowUI : public CControlUI {
public:
    CNativeWindowUI() = default;
    ~CNativeWindowUI() override;

    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    // The X11 window id of the control's widget, created on first use
    // (UI thread); 0 when the UI does not run on X11.
    unsigned long NativeWindowId();
    // The UI's own X11 display connection (an Xlib Display*), null when the
    // UI does not run on X11. Only for flushing it: the UI thread owns it.
    static void* NativeDisplay();
    // The X11 window id of the window the control is in (UI thread); 0
    // before it has one.
    unsigned long TopLevelWindowId() const;
    // Device pixels per control pixel (2 under QT_SCALE_FACTOR=2 or a 200 %
    // screen): the native window is that much larger than GetPos() says.
    double DevicePixelRatio() const;

protected:
    QWidget* CreateWidget() override;
    // The widget's native window is about to be destroyed (its window closes
    // or the widget goes away): stop drawing into it now. UI thread.
    virtual void OnNativeWindowDestroying() {}

private:
    friend class NativeSurfaceWatcher;
    QObject* m_watcher = nullptr;
};
