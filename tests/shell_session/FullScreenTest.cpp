// Full screen of the real main window under a window manager (openbox on an
// Xvfb display of this test's own, so other suites never get a window manager
// under them): from the maximised start state the window covers the screen,
// and leaving restores the maximised placement.
#include "ShellTestFolders.h"
#include "XvfbServer.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

// Xvfb on a free display number, and openbox on it; DISPLAY points there.
struct WindowManagerDisplay {
    WindowManagerDisplay()
    {
        display = desktoptest::StartXvfb(kScreenWidth, kScreenHeight, xvfb);
        if (display.empty())
            return;
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        openbox = desktoptest::Spawn({"openbox", "--sm-disable"});
    }
    ~WindowManagerDisplay()
    {
        for (pid_t pid : {openbox, xvfb})
            desktoptest::Terminate(pid, std::chrono::seconds(5));
    }
    pid_t xvfb = -1, openbox = -1;
    std::string display;
};

// Made before the test application, which connects to DISPLAY.
WindowManagerDisplay g_display;

} // namespace

PELLUMO_UI_TEST_APPLICATION();

namespace {

TEST(FullScreenTest, CoversTheScreenFromMaximisedAndRestoresIt)
{
    if (g_display.display.empty())
        GTEST_SKIP() << "Xvfb could not be started";
    // The window manager announces itself once it runs.
    ASSERT_TRUE(Driver::processEventsUntil([] { return CWindowWnd::WindowManagerRunning(); }))
        << "openbox did not start (scripts/packages/app.txt)";
    shelltest::TempHome home;
    ASSERT_TRUE(shell::RegisterSkin());
    Config().SetDefaults();
    ASSERT_TRUE(Config().Load());
    Config().MaximizeWindow = 1; // the default start state
    Config().ExitPrompt = 1;
    ::setenv("SENSORLINK_EMULATE", "0", 1);
    auto window = std::make_unique<CMainWnd>();
    ASSERT_NE(window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0), nullptr);
    window->ShowWindow(true);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window->IsMaximized(); }));
    Driver::processEventsUntil([] { return false; }, 300);
    RECT maximised{};
    ASSERT_TRUE(window->GetWindowRect(maximised));

    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(VK_F11));
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        RECT rc{};
        return window->IsFullScreen() && window->GetWindowRect(rc) && rc.left == 0 && rc.top == 0 &&
               rc.right == kScreenWidth && rc.bottom == kScreenHeight;
    })) << "the window does not cover the screen: "
        << [&] {
               RECT rc{};
               window->GetWindowRect(rc);
               return std::to_string(window->IsFullScreen()) + " " + std::to_string(rc.left) + "," +
                      std::to_string(rc.top) + " " + std::to_string(rc.right) + "," + std::to_string(rc.bottom);
           }();
    EXPECT_FALSE(ui.isShown("SideBar"));

    ASSERT_TRUE(ui.pressKey(VK_F11));
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        RECT rc{};
        return !window->IsFullScreen() && window->IsMaximized() && window->GetWindowRect(rc) &&
               rc.left == maximised.left && rc.top == maximised.top && rc.right == maximised.right &&
               rc.bottom == maximised.bottom;
    })) << "the maximised placement was not restored";
    EXPECT_TRUE(ui.isShown("SideBar"));

    window->DestroyWindow();
    window.reset();
    Driver::processEvents();
    CResourceManager::GetInstance()->Release();
}

} // namespace
