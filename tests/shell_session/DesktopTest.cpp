// The program on a desktop as a newcomer starts it (`Pellumo --demo`), seen
// from the X server: under a window manager every start shows the live
// picture inside the main window and no other top-level window.
#include "XDesktop.h"

#include "app/view/X11ChildWindow.h"

#include <gtest/gtest.h>

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
        EXPECT_TRUE(program.stop()) << program.output();
    }
    EXPECT_EQ(live, kStarts) << faults;
}

} // namespace
