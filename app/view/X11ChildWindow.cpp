#include "app/view/X11ChildWindow.h"

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <algorithm>

namespace {

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

// Errors about a window that is already gone (its parent was destroyed under
// it) must not end the process, which Xlib's default handler would do.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

} // namespace

void X11ChildWindow::initThreads() { XInitThreads(); }

void X11ChildWindow::flush(void* display)
{
    if (display)
        XFlush(asDisplay(display));
}

bool X11ChildWindow::create(unsigned long parent, int width, int height)
{
    destroy();
    if (parent == 0)
        return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    XWindowAttributes parentAttributes;
    if (!XGetWindowAttributes(display, parent, &parentAttributes)) {
        XSetErrorHandler(previous);
        XCloseDisplay(display);
        return false;
    }
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    // This connection hears only where the focus goes and the window's end;
    // the drawing library selects what it needs over its own.
    attributes.event_mask = FocusChangeMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(display, parent, 0, 0, unsigned(std::max(width, 1)), unsigned(std::max(height, 1)), 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    // Named, so that the picture can be told apart in a window listing.
    XStoreName(display, window, kWindowName);
    // An empty input region: the pointer falls through to the control's widget.
    int shapeEvent = 0, shapeError = 0;
    if (XShapeQueryExtension(display, &shapeEvent, &shapeError))
        XShapeCombineRectangles(display, window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    XMapWindow(display, window);
    XSync(display, False);
    display_ = display;
    window_ = window;
    focusWatcher_ = std::thread(&X11ChildWindow::watchFocus, this);
    return true;
}

void X11ChildWindow::watchFocus()
{
    Display* display = asDisplay(display_);
    const Window window = window_;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == window)
            return;
        if (event.type != FocusIn || event.xfocus.window != window)
            continue;
        const Window fallback = focusFallback_.load();
        if (fallback == 0 || focusedWindow() != window)
            continue;
        XSetInputFocus(display, fallback, RevertToParent, CurrentTime);
        XFlush(display);
    }
}

void X11ChildWindow::destroy()
{
    if (!display_)
        return;
    Display* display = asDisplay(display_);
    if (window_)
        XDestroyWindow(display, window_);
    XSync(display, False);
    // The window's end (ours, or its parent's before) ends the watcher.
    if (focusWatcher_.joinable())
        focusWatcher_.join();
    XCloseDisplay(display);
    display_ = nullptr;
    window_ = 0;
}

void X11ChildWindow::resize(int width, int height)
{
    if (!window_ || width <= 0 || height <= 0)
        return;
    Display* display = asDisplay(display_);
    XMoveResizeWindow(display, window_, 0, 0, unsigned(width), unsigned(height));
    XSync(display, False);
}

void X11ChildWindow::setVisible(bool visible)
{
    if (!window_)
        return;
    Display* display = asDisplay(display_);
    if (visible)
        XMapWindow(display, window_);
    else
        XUnmapWindow(display, window_);
    XSync(display, False);
}

unsigned long X11ChildWindow::focusedWindow() const
{
    if (!display_)
        return 0;
    Window focus = None;
    int revertTo = 0;
    XGetInputFocus(asDisplay(display_), &focus, &revertTo);
    return focus;
}

void X11ChildWindow::handBackFocus(unsigned long previous, unsigned long fallback)
{
    if (!window_ || focusedWindow() != window_)
        return;
    const Window target = previous == window_ || previous == None ? fallback : previous;
    if (target == None)
        return;
    Display* display = asDisplay(display_);
    XSetInputFocus(display, target, RevertToParent, CurrentTime);
    XSync(display, False);
}
