// Full screen of the real main window under a window manager (openbox on an
// Xvfb display of this test's own, so other suites never get a window manager
// under them): from the maximised start state the window covers the screen,
// and leaving restores the maximised placement.
#include "ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

pid_t Spawn(const std::vector<std::string>& args, int keepFd = -1)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (keepFd >= 0)
        ::fcntl(keepFd, F_SETFD, 0);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// Xvfb on a free display number, and openbox on it; DISPLAY points there.
struct WindowManagerDisplay {
    WindowManagerDisplay()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        const std::string screen = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
        xvfb =
            Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"}, fds[1]);
        ::close(fds[1]);
        std::string number;
        pollfd waiting{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&waiting, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty())
            return;
        display = ":" + number;
        ::setenv("DISPLAY", display.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        openbox = Spawn({"openbox", "--sm-disable"});
    }
    ~WindowManagerDisplay()
    {
        for (pid_t pid : {openbox, xvfb})
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
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
