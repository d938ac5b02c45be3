#include "ui/internal/Compositor.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <string>

// Xlib last: its macros clash with Qt's names.
#include <X11/Xlib.h>

namespace ui::detail {

bool compositingAvailable()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return true; // offscreen and Wayland blend transparent windows
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    // A compositing manager owns the _NET_WM_CM_S<screen> selection.
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.c_str(), False);
    return XGetSelectionOwner(display, selection) != 0;
}

} // namespace ui::detail
