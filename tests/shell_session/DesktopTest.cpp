// The program on a desktop as a newcomer starts it (`Pellumo --demo`), seen
// from the X server: under a window manager every start shows the live
// picture inside the main window and no other top-level window.
#include "XDesktop.h"

#include "app/view/X11ChildWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

using desktoptest::Program;
using desktoptest::Rect;
using desktoptest::Window;
using desktoptest::XDesktop;
using namespace std::chrono_literals;

namespace {

constexpr int kScreenWidth = 1600;
constexpr int kScreenHeight = 1000;
constexpr int kStarts = 20;
constexpr const char* kMainWindowName = "Pellumo";

// A home folder of its own for each start: a newcomer's first run.
struct FreshHome {
    FreshHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pellumo-desktop-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~FreshHome()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

std::string describe(const Rect& r)
{
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
           std::to_string(r.y);
}

// What the user sees of the live picture right now. Empty when its window is
// mapped inside the main window and its centre shows a picture that is
// neither black nor frozen; else what is wrong.
std::string pictureFault(XDesktop& desktop, Window* mainWindow = nullptr, Rect* viewRect = nullptr)
{
    const Window view = desktop.findNamed(X11ChildWindow::kWindowName);
    if (!view)
        return "the live picture has no window";
    if (!desktop.viewable(view))
        return "the live picture's window is not mapped";
    const Window main = desktop.findNamed(kMainWindowName);
    if (!main)
        return "the main window is not shown";
    if (!desktop.contains(main, view))
        return "the live picture's window is not inside the main window";
    Rect v, m;
    if (!desktop.geometry(view, v) || !desktop.geometry(main, m))
        return "the windows went away";
    if (v.width < 100 || v.height < 100 || !m.contains(v))
        return "the picture " + describe(v) + " is not inside the main window " + describe(m);
    double level = 0;
    if (!desktop.brightness(v.x + v.width / 2, v.y + v.height / 2, level))
        return "the picture's centre is off the screen";
    if (level < 12)
        return "the picture is black (" + std::to_string(level) + ")";
    // The emulated microscope shakes: a live picture changes.
    unsigned long before = 0, after = 0;
    if (!desktop.checksum(v, before) ||
        !desktop.waitFor([&] { return desktop.checksum(v, after) && after != before; }, 1500ms))
        return "the picture is frozen";
    if (mainWindow)
        *mainWindow = main;
    if (viewRect)
        *viewRect = v;
    return {};
}

// Waits until `window` is `width` × `height` (a window manager's resize may
// be off by a pixel); `seen` is the last geometry read.
bool waitForSize(XDesktop& desktop, Window window, int width, int height, Rect& seen)
{
    return desktop.waitFor(
        [&] {
            return desktop.geometry(window, seen) && std::abs(seen.width - width) <= 1 &&
                   std::abs(seen.height - height) <= 1;
        },
        5s);
}

bool waitForGeometry(XDesktop& desktop, Window window, const Rect& wanted, Rect& seen)
{
    return desktop.waitFor(
        [&] {
            return desktop.geometry(window, seen) && seen.x == wanted.x && seen.y == wanted.y &&
                   seen.width == wanted.width && seen.height == wanted.height;
        },
        5s);
}

// What a desktop user does with the window of a running program under the
// window manager: the title bar's double-click, the manager's own resize,
// drags at the corner and the right and bottom edges, full screen by the keys.
void resizeAndKeysUnderWindowManager(XDesktop& desktop, Window main)
{
    const Rect screen{0, 0, desktop.width(), desktop.height()};
    Rect m, seen;
    ASSERT_TRUE(desktop.geometry(main, m));
    ASSERT_TRUE(desktop.hasState(main, "_NET_WM_STATE_MAXIMIZED_VERT")) << "a first start opens maximised";
    // The title bar's free middle.
    const int titleX = m.x + m.width / 2, titleY = m.y + 12;
    desktop.doubleClick(titleX, titleY);
    EXPECT_TRUE(desktop.waitFor([&] { return !desktop.hasState(main, "_NET_WM_STATE_MAXIMIZED_VERT"); }, 5s))
        << "a double-click on the title bar did not restore the window";

    desktop.requestSize(main, 1200, 800);
    EXPECT_TRUE(waitForSize(desktop, main, 1200, 800, seen)) << describe(seen);
    std::string fault;
    EXPECT_TRUE(desktop.waitFor([&] { return (fault = pictureFault(desktop)).empty(); }, 5s))
        << "after the window manager's resize: " << fault;

    struct Drag {
        const char* what;
        double fromX, fromY; // 0..1 across the window
        int dx, dy;
    };
    for (const Drag& drag : {Drag{"bottom-right corner", 1, 1, -100, -80}, Drag{"right edge", 1, 0.5, 60, 0},
                             Drag{"bottom edge", 0.5, 1, 0, 50}}) {
        Rect before;
        ASSERT_TRUE(desktop.geometry(main, before));
        // Two pixels inside the edge, on the window's own size box.
        const int x = before.x + std::min(int(before.width * drag.fromX), before.width - 3);
        const int y = before.y + std::min(int(before.height * drag.fromY), before.height - 3);
        desktop.drag(x, y, x + drag.dx, y + drag.dy);
        EXPECT_TRUE(waitForSize(desktop, main, before.width + drag.dx, before.height + drag.dy, seen))
            << "dragging the " << drag.what << " of " << describe(before) << " by " << drag.dx << "," << drag.dy
            << " gave " << describe(seen);
    }
    EXPECT_TRUE(desktop.waitFor([&] { return (fault = pictureFault(desktop)).empty(); }, 5s))
        << "after the drags: " << fault;

    desktop.doubleClick(titleX, seen.y + 12);
    EXPECT_TRUE(desktop.waitFor([&] { return desktop.hasState(main, "_NET_WM_STATE_MAXIMIZED_VERT"); }, 5s))
        << "a double-click on the title bar did not maximise the window";
    Rect maximised;
    desktop.pause(300ms);
    ASSERT_TRUE(desktop.geometry(main, maximised));
    desktop.key("F11");
    EXPECT_TRUE(waitForGeometry(desktop, main, screen, seen)) << "F11 gave " << describe(seen);
    desktop.key("Escape");
    EXPECT_TRUE(waitForGeometry(desktop, main, maximised, seen))
        << "Escape gave " << describe(seen) << ", not " << describe(maximised);
    EXPECT_TRUE(desktop.waitFor([&] { return (fault = pictureFault(desktop)).empty(); }, 5s))
        << "after full screen: " << fault;
}

TEST(DesktopTest, EveryStartUnderAWindowManagerShowsTheLivePictureAndNoOtherWindow)
{
    XDesktop desktop(kScreenWidth, kScreenHeight);
    if (desktop.displayName().empty())
        GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_TRUE(desktop.startWindowManager()) << "openbox did not start (scripts/packages/app.txt)";
    int live = 0;
    std::string faults;
    for (int start = 1; start <= kStarts; ++start) {
        FreshHome home;
        desktop.drainEvents();
        desktop.resetWindowsTakenFromRoot();
        Program program(desktop.displayName(), home.path);
        std::string fault = "not started";
        Window main = 0;
        desktop.waitFor([&] { return (fault = pictureFault(desktop, &main)).empty(); }, 30s);
        if (fault.empty()) {
            // Only the main window was ever a top-level window the window
            // manager framed (or the program moved into another window).
            const std::set<Window>& taken = desktop.windowsTakenFromRoot();
            if (taken.size() != 1 || *taken.begin() != main)
                fault = std::to_string(taken.size()) + " windows were top-level windows, not only the main window";
        }
        live += fault.empty();
        if (!fault.empty())
            faults += "start " + std::to_string(start) + ": " + fault + "\n";
        else if (start == kStarts)
            resizeAndKeysUnderWindowManager(desktop, main);
        if (start == kStarts || !fault.empty()) {
            EXPECT_TRUE(program.stop()) << program.output();
        } else {
            // A start ends as soon as its picture is live: a clean end is
            // proved by the last start and by the start without a manager.
            program.kill();
            desktop.waitFor([&] { return desktop.findNamed(kMainWindowName) == 0; }, 5s);
        }
    }
    EXPECT_EQ(live, kStarts) << faults;
}

} // namespace

namespace {

// Without a window manager nobody hands the keyboard focus around: it stays
// where the program puts it, also after the picture's window is made anew
// for a new size.
TEST(DesktopTest, KeysReachTheMainWindowWithoutAWindowManager)
{
    XDesktop desktop(kScreenWidth, kScreenHeight);
    if (desktop.displayName().empty())
        GTEST_SKIP() << "Xvfb could not be started";
    FreshHome home;
    Program program(desktop.displayName(), home.path);
    std::string fault = "not started";
    Window main = 0;
    Rect view;
    ASSERT_TRUE(desktop.waitFor([&] { return (fault = pictureFault(desktop, &main, &view)).empty(); }, 30s))
        << fault << "\n"
        << program.output();
    const Window picture = desktop.findNamed(X11ChildWindow::kWindowName);
    EXPECT_NE(desktop.focus(), picture) << "the live picture took the keyboard focus at start";
    Rect before, seen;
    ASSERT_TRUE(desktop.geometry(main, before));
    desktop.key("F11");
    EXPECT_TRUE(waitForGeometry(desktop, main, Rect{0, 0, kScreenWidth, kScreenHeight}, seen))
        << "F11 gave " << describe(seen);
    EXPECT_NE(desktop.focus(), picture) << "the live picture took the keyboard focus at its new size";
    desktop.key("Escape");
    EXPECT_TRUE(waitForGeometry(desktop, main, before, seen))
        << "Escape gave " << describe(seen) << ", not " << describe(before);
    // A click into the picture keeps the keys with the main window.
    desktop.click(view.x + view.width / 2, view.y + view.height / 2);
    desktop.key("F11");
    EXPECT_TRUE(waitForGeometry(desktop, main, Rect{0, 0, kScreenWidth, kScreenHeight}, seen))
        << "F11 after a click into the picture gave " << describe(seen);
    desktop.key("Escape");
    EXPECT_TRUE(waitForGeometry(desktop, main, before, seen)) << "Escape gave " << describe(seen);
    EXPECT_TRUE(desktop.waitFor([&] { return (fault = pictureFault(desktop)).empty(); }, 5s)) << fault;
    EXPECT_TRUE(program.stop()) << program.output();
}

} // namespace
