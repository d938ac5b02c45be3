#include "XDesktop.h"
#include "XvfbServer.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace desktoptest {
namespace {

// Windows come and go while the test looks at them: a query about one that
// is gone fails instead of ending the test.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

} // namespace

XDesktop::XDesktop(int width, int height) : width_(width), height_(height)
{
    const std::string name = StartXvfb(width, height, xvfb_);
    if (name.empty())
        return;
    ::XSetErrorHandler(ignoreErrors);
    connection_ = ::XOpenDisplay(name.c_str());
    if (!connection_)
        return;
    display_ = name;
    ::XSelectInput(connection_, DefaultRootWindow(connection_), SubstructureNotifyMask);
    ::XSync(connection_, False);
}

XDesktop::~XDesktop()
{
    if (connection_)
        ::XCloseDisplay(connection_);
    Terminate(windowManager_, std::chrono::seconds(5));
    Terminate(xvfb_, std::chrono::seconds(5));
}

bool XDesktop::startWindowManager()
{
    if (!connection_)
        return false;
    const std::string previous = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    ::setenv("DISPLAY", display_.c_str(), 1);
    windowManager_ = Spawn({"openbox", "--sm-disable"});
    ::setenv("DISPLAY", previous.c_str(), 1);
    const Atom check = ::XInternAtom(connection_, "_NET_SUPPORTING_WM_CHECK", False);
    return waitFor(
        [&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            ::XGetWindowProperty(connection_, DefaultRootWindow(connection_), check, 0, 1, False, XA_WINDOW, &type,
                                 &format, &count, &after, &data);
            if (data)
                ::XFree(data);
            return count == 1;
        },
        std::chrono::seconds(10));
}

void XDesktop::drainEvents()
{
    if (!connection_)
        return;
    const Window root = DefaultRootWindow(connection_);
    while (::XPending(connection_)) {
        XEvent event;
        ::XNextEvent(connection_, &event);
        if (event.type == ReparentNotify && event.xreparent.event == root && event.xreparent.parent != root)
            takenFromRoot_.insert(event.xreparent.window);
    }
}

Window XDesktop::findNamed(const std::string& name) const
{
    if (!connection_)
        return 0;
    Window best = 0;
    long bestArea = 0;
    std::vector<Window> pending{DefaultRootWindow(connection_)};
    while (!pending.empty()) {
        const Window window = pending.back();
        pending.pop_back();
        char* text = nullptr;
        if (::XFetchName(connection_, window, &text) && text) {
            XWindowAttributes attributes;
            if (name == text && ::XGetWindowAttributes(connection_, window, &attributes) &&
                attributes.map_state == IsViewable && long(attributes.width) * attributes.height > bestArea) {
                best = window;
                bestArea = long(attributes.width) * attributes.height;
            }
            ::XFree(text);
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (::XQueryTree(connection_, window, &root, &parent, &children, &count) && children) {
            for (unsigned i = 0; i < count; ++i)
                pending.push_back(children[i]);
            ::XFree(children);
        }
    }
    return best;
}

bool XDesktop::contains(Window ancestor, Window window) const
{
    while (connection_ && window && window != ancestor) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!::XQueryTree(connection_, window, &root, &parent, &children, &count))
            return false;
        if (children)
            ::XFree(children);
        window = parent == root ? 0 : parent;
    }
    return window != 0 && window == ancestor;
}

bool XDesktop::geometry(Window window, Rect& rect) const
{
    XWindowAttributes attributes;
    if (!connection_ || !window || !::XGetWindowAttributes(connection_, window, &attributes))
        return false;
    Window child = 0;
    int x = 0, y = 0;
    if (!::XTranslateCoordinates(connection_, window, DefaultRootWindow(connection_), 0, 0, &x, &y, &child))
        return false;
    rect = {x, y, attributes.width, attributes.height};
    return true;
}

bool XDesktop::viewable(Window window) const
{
    XWindowAttributes attributes;
    return connection_ && window && ::XGetWindowAttributes(connection_, window, &attributes) &&
           attributes.map_state == IsViewable;
}

bool XDesktop::hasState(Window window, const char* state) const
{
    if (!connection_ || !window)
        return false;
    const Atom property = ::XInternAtom(connection_, "_NET_WM_STATE", False);
    const Atom wanted = ::XInternAtom(connection_, state, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (::XGetWindowProperty(connection_, window, property, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                             &data) == Success &&
        data) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i)
            found = found || atoms[i] == wanted;
        ::XFree(data);
    }
    return found;
}

Window XDesktop::focus() const
{
    Window window = 0;
    int revert = 0;
    if (connection_)
        ::XGetInputFocus(connection_, &window, &revert);
    return window;
}

bool XDesktop::brightness(int x, int y, double& level) const
{
    constexpr int kSize = 9;
    const Rect square{x - kSize / 2, y - kSize / 2, kSize, kSize};
    if (!connection_ || !Rect{0, 0, width_, height_}.contains(square))
        return false;
    XImage* image =
        ::XGetImage(connection_, DefaultRootWindow(connection_), square.x, square.y, kSize, kSize, AllPlanes, ZPixmap);
    if (!image)
        return false;
    double sum = 0;
    for (int row = 0; row < kSize; ++row)
        for (int column = 0; column < kSize; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            sum += double(((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF)) / 3.0;
        }
    XDestroyImage(image);
    level = sum / (kSize * kSize);
    return true;
}

bool XDesktop::checksum(const Rect& area, unsigned long& sum) const
{
    if (!connection_ || area.width <= 0 || area.height <= 0 || !Rect{0, 0, width_, height_}.contains(area))
        return false;
    XImage* image = ::XGetImage(connection_, DefaultRootWindow(connection_), area.x, area.y, unsigned(area.width),
                                unsigned(area.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    sum = 0;
    for (int row = 0; row < area.height; ++row)
        for (int column = 0; column < area.width; ++column)
            sum = sum * 31 + (XGetPixel(image, column, row) & 0xFFFFFF);
    XDestroyImage(image);
    return true;
}

void XDesktop::movePointer(int x, int y)
{
    ::XTestFakeMotionEvent(connection_, -1, x, y, CurrentTime);
    ::XSync(connection_, False);
}

void XDesktop::button(bool press)
{
    ::XTestFakeButtonEvent(connection_, 1, press ? True : False, CurrentTime);
    ::XSync(connection_, False);
}

void XDesktop::click(int x, int y)
{
    movePointer(x, y);
    pause(std::chrono::milliseconds(50));
    button(true);
    button(false);
}

void XDesktop::doubleClick(int x, int y)
{
    movePointer(x, y);
    pause(std::chrono::milliseconds(50));
    for (int i = 0; i < 2; ++i) {
        button(true);
        button(false);
        pause(std::chrono::milliseconds(40));
    }
}

void XDesktop::drag(int fromX, int fromY, int toX, int toY)
{
    movePointer(fromX, fromY);
    pause(std::chrono::milliseconds(100));
    button(true);
    // The window manager takes the pointer over once the program asked it to.
    pause(std::chrono::milliseconds(200));
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) {
        movePointer(fromX + (toX - fromX) * i / kSteps, fromY + (toY - fromY) * i / kSteps);
        pause(std::chrono::milliseconds(25));
    }
    // A window manager behind on a busy machine still follows the last moves
    // before the release ends its resize.
    pause(std::chrono::milliseconds(300));
    button(false);
}

void XDesktop::key(const char* keysymName)
{
    const KeyCode code = ::XKeysymToKeycode(connection_, ::XStringToKeysym(keysymName));
    ::XTestFakeKeyEvent(connection_, code, True, CurrentTime);
    ::XTestFakeKeyEvent(connection_, code, False, CurrentTime);
    ::XSync(connection_, False);
}

void XDesktop::requestSize(Window client, int width, int height)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = client;
    event.xclient.message_type = ::XInternAtom(connection_, "_NET_MOVERESIZE_WINDOW", False);
    event.xclient.format = 32;
    // Width and height given, asked for by a pager (the user's request).
    event.xclient.data.l[0] = (1 << 10) | (1 << 11) | (2 << 12);
    event.xclient.data.l[3] = width;
    event.xclient.data.l[4] = height;
    ::XSendEvent(connection_, DefaultRootWindow(connection_), False, SubstructureRedirectMask | SubstructureNotifyMask,
                 &event);
    ::XSync(connection_, False);
}

bool XDesktop::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drainEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void XDesktop::pause(std::chrono::milliseconds time)
{
    std::this_thread::sleep_for(time);
    drainEvents();
}

Program::Program(const std::string& display, const std::string& home) : log_(home + "/program.log")
{
    const std::string program = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Pellumo").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("PELLUMO_DEBUG_LOG");
        ::unsetenv("SENSORLINK_EMULATE");
        ::unsetenv("SENSORLINK_EMULATE_FAULTS");
        // The emulated microscope shakes a little: a live picture changes
        // from frame to frame, a frozen one does not.
        ::setenv("SENSORLINK_EMULATE_SHAKE", "2", 1);
        // What this test reads is the screen; in a sanitizer build the GL
        // driver, unloaded at exit, would only add a leak report. Short
        // allocation stacks, a small quarantine and no fill of new blocks
        // make a start about a quarter cheaper; overflows are still caught.
        ::setenv("ASAN_OPTIONS", "detect_leaks=0:malloc_context_size=2:quarantine_size_mb=16:max_malloc_fill_size=0",
                 1);
        ::execl("/bin/sh", "sh", "-c", "exec \"$0\" --demo >\"$1\" 2>&1", program.c_str(), log_.c_str(), nullptr);
        ::_exit(127);
    }
    pid_ = pid;
}

Program::~Program()
{
    if (pid_ > 0)
        Terminate(pid_, std::chrono::seconds(10));
}

bool Program::stop()
{
    const bool clean = Terminate(pid_, std::chrono::seconds(20));
    pid_ = -1;
    return clean;
}

void Program::kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

std::string Program::output() const
{
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace desktoptest
