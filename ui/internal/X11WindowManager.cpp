#include "ui/internal/X11WindowManager.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace ui::detail {

bool x11WindowManagerRunning(void* opaque)
{
    auto* display = static_cast<Display*>(opaque);
    if (!display)
        return false;
    // Such a window manager names its check window on the root window.
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &after, &data);
    const bool running = status == Success && type == XA_WINDOW && count == 1 && data;
    if (data)
        XFree(data);
    return running;
}

bool x11RootPosition(void* opaque, unsigned long window, int& x, int& y)
{
    auto* display = static_cast<Display*>(opaque);
    if (!display || !window)
        return false;
    Window child = 0;
    return XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child) != 0;
}

} // namespace ui::detail
