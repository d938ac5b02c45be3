// The program itself in demo mode: a live picture without a click, and
// SIGTERM (a logout) closes it like the window's close button, without the
// question, also while the exit question is open: the camera released, the
// settings saved, the box simulator gone.
#include <gtest/gtest.h>
// After gtest: Xlib's macros would break its templates.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string ProgramBesideThisTest()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Pellumo").string();
}

// The program's mapped top-level windows, as the X server sees them.
class ProgramWindows {
public:
    explicit ProgramWindows(pid_t pid) : m_pid(pid), m_display(XOpenDisplay(nullptr)) {}
    ~ProgramWindows()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    std::vector<Window> mapped()
    {
        std::vector<Window> found;
        if (m_display)
            collect(DefaultRootWindow(m_display), 0, found);
        return found;
    }
    // The mapped window titled `title`, 0 when none is.
    Window named(const char* title)
    {
        for (Window window : mapped()) {
            char* name = nullptr;
            const bool same = XFetchName(m_display, window, &name) && name && std::string(name) == title;
            if (name)
                XFree(name);
            if (same)
                return window;
        }
        return 0;
    }
    // What the window manager's close button sends.
    void askToClose(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

private:
    // A window manager puts each top-level window into a frame of its own:
    // the program's windows are looked for a few levels below the root.
    void collect(Window parentWindow, int depth, std::vector<Window>& found)
    {
        const Atom pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, parentWindow, &root, &parent, &children, &count))
            return;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(m_display, children[i], &attributes) || attributes.map_state != IsViewable)
                continue;
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, left = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(m_display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                                   &left, &data) == Success &&
                data && items == 1 && pid_t(*reinterpret_cast<unsigned long*>(data)) == m_pid)
                found.push_back(children[i]);
            else if (depth < 2)
                collect(children[i], depth + 1, found);
            if (data)
                XFree(data);
        }
        if (children)
            XFree(children);
    }

    pid_t m_pid;
    Display* m_display;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    for (int waited = 0; !done(); waited += 50) {
        if (waited > timeoutMs)
            return false;
        ::usleep(50 * 1000);
    }
    return true;
}

TEST(ProgramTest, DemoShowsALivePictureAndSigtermClosesCleanly)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs an X display";
    char home[] = "/tmp/pellumo-program-XXXXXX";
    ASSERT_NE(::mkdtemp(home), nullptr);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string program = ProgramBesideThisTest();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home, 1);
        ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("PELLUMO_DEBUG_LOG");
        ::unsetenv("SENSORLINK_EMULATE");
        ::unsetenv("SENSORLINK_EMULATE_FAULTS");
        // The exit status is what this test reads; in a sanitizer build the
        // GL driver, unloaded at exit, would otherwise turn it into a leak
        // report (the window suites check leaks with the driver kept loaded).
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::execl(program.c_str(), program.c_str(), "--demo", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string log;
    char buffer[512];
    pollfd waiting{out[0], POLLIN, 0};
    auto readUntil = [&](const std::string& text, int timeoutMs) {
        while (log.find(text) == std::string::npos && ::poll(&waiting, 1, timeoutMs) > 0) {
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            log.append(buffer, size_t(got));
        }
        return log.find(text) != std::string::npos;
    };
    EXPECT_TRUE(readUntil("first frame drawn", 30000)) << log;
    // The window manager's close button: the exit question opens (a second
    // window), and the logout comes while it waits for an answer.
    ProgramWindows windows(pid);
    Window main = 0;
    size_t before = 0;
    if (WaitFor([&] { return (main = windows.named("Pellumo")) != 0; }, 10000)) {
        before = windows.mapped().size();
        windows.askToClose(main);
        EXPECT_TRUE(WaitFor([&] { return windows.mapped().size() > before; }, 10000)) << "no exit question";
    } else {
        ADD_FAILURE() << "the main window is not on the screen";
    }
    ::kill(pid, SIGTERM);
    readUntil("\n<end>", 15000); // to the end of its output
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(status)) << log;
    EXPECT_EQ(WEXITSTATUS(status), 0) << log;
    // Settings are saved last: the program got to its end after the window.
    EXPECT_TRUE(log.find("config not changed") != std::string::npos || log.find("saving config") != std::string::npos)
        << log;
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
}

} // namespace
