#pragma once
// A desktop of the test's own, seen from outside the program as a user's X
// server sees it: Xvfb on a free display (optionally with openbox on it), real
// pointer and key events through XTest, window geometry and screen pixels
// read back from the server, and every top-level window the program shows.
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <sys/types.h>

// Xlib stays inside XDesktop.cpp (its macros clash with the test framework).
typedef struct _XDisplay Display;

namespace desktoptest {

// An X window id.
using Window = unsigned long;

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool contains(const Rect& r) const
    {
        return r.x >= x && r.y >= y && r.right() <= right() && r.bottom() <= bottom();
    }
};

class XDesktop {
public:
    XDesktop(int width, int height);
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    // Empty when Xvfb could not be started.
    const std::string& displayName() const { return display_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // openbox on the display; true once it announces itself.
    bool startWindowManager();

    // Handles the server's events seen so far (the root window's children).
    void drainEvents();
    // Every window that left the root window for another parent since the
    // last reset: a window manager framing a top-level window, or the
    // program moving one of its own top-level windows into another window.
    const std::set<Window>& windowsTakenFromRoot() const { return takenFromRoot_; }
    void resetWindowsTakenFromRoot() { takenFromRoot_.clear(); }

    // The largest mapped window named `name` (WM_NAME); 0 when none is.
    Window findNamed(const std::string& name) const;
    // `ancestor` is `window` or one of its ancestors.
    bool contains(Window ancestor, Window window) const;
    // Position on the screen and size; false when the window is gone.
    bool geometry(Window window, Rect& rect) const;
    // The window and all its ancestors are mapped.
    bool viewable(Window window) const;
    // Set by the window manager in _NET_WM_STATE.
    bool hasState(Window window, const char* state) const;
    // The window that has the keyboard focus.
    Window focus() const;

    // The mean brightness (0..255) of a 9 × 9 square of screen pixels
    // around (x, y); false when it is off the screen.
    bool brightness(int x, int y, double& level) const;
    // A checksum of the screen pixels in `area`.
    bool checksum(const Rect& area, unsigned long& sum) const;

    // Real input through XTest.
    void movePointer(int x, int y);
    void button(bool press);
    void click(int x, int y);
    void doubleClick(int x, int y);
    // Press at `from`, move to `to` in steps, release.
    void drag(int fromX, int fromY, int toX, int toY);
    void key(const char* keysymName);

    // Asks the window manager to give the client window this size.
    void requestSize(Window client, int width, int height);

    // Handles events until `done` holds or `timeout` passes; false on time-out.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void pause(std::chrono::milliseconds time);

private:
    int width_, height_;
    std::string display_;
    pid_t xvfb_ = -1;
    pid_t windowManager_ = -1;
    Display* connection_ = nullptr;
    std::set<Window> takenFromRoot_;
};

// The program (the demo build beside the test) running on the desktop, with a
// private home folder; its output goes to a file read on failure.
class Program {
public:
    Program(const std::string& display, const std::string& home);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // SIGTERM (a logout) and wait for the end; true when it ended cleanly.
    bool stop();
    // SIGKILL and wait for the end: for a start whose end proves nothing.
    void kill();
    std::string output() const;

private:
    pid_t pid_ = -1;
    std::string log_;
};

} // namespace desktoptest
