#pragma once
// The window the render view draws into on X11: a child of the control's
// native window, created over an X connection of its own and transparent to
// input, so presses, moves and keys still reach the control's widget. This
// is the one source file of the program that includes Xlib (its macros clash
// with Qt and SFML names).

#include <atomic>
#include <cstdint>
#include <thread>

class X11ChildWindow {
public:
    // The window's name (WM_NAME), as `xwininfo -tree` lists it.
    static constexpr const char* kWindowName = "Pellumo live picture";

    X11ChildWindow() = default;
    X11ChildWindow(const X11ChildWindow&) = delete;
    X11ChildWindow& operator=(const X11ChildWindow&) = delete;
    ~X11ChildWindow() { destroy(); }

    // Makes Xlib safe for several threads; must run before any other Xlib
    // call of the process (first thing in main).
    static void initThreads();
    // Sends the pending requests of another client's connection (an Xlib
    // Display*), so that windows it created exist on the server.
    static void flush(void* display);

    // Creates and maps the child of `parent` at (0, 0) with the given size;
    // false when no display can be opened or the parent is not a window.
    bool create(unsigned long parent, int width, int height);
    void destroy();
    bool isValid() const { return window_ != 0; }

    void resize(int width, int height);
    void setVisible(bool visible);

    // The window that has the keyboard focus now, as the server has it
    // (None is 0, PointerRoot 1); 0 without a window.
    unsigned long focusedWindow() const;
    // The drawing library gives the window it takes the keyboard focus (X
    // sends the keys to it then, not to the program's window). When this
    // window has the focus, hands it back to `previous` (what focusedWindow()
    // said before), or to `fallback` when that was this window or None.
    void handBackFocus(unsigned long previous, unsigned long fallback);
    // Where the focus goes whenever this window is given it later (the
    // drawing library's request can reach the server after handBackFocus
    // looked); 0: it is left there. Any thread.
    void setFocusFallback(unsigned long window) { focusFallback_ = window; }
    // The X window id (what SFML takes as a window handle).
    unsigned long handle() const { return window_; }

private:
    // The watcher's loop: waits for this connection's events until the
    // window is destroyed.
    void watchFocus();

    void* display_ = nullptr;
    unsigned long window_ = 0;
    std::atomic<unsigned long> focusFallback_{0};
    std::thread focusWatcher_;
};
