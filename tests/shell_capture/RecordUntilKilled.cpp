// Not a test by itself: the main window with an emulated camera that starts
// recording from its toolbar and runs until it is killed. The crash test
// kills it with SIGKILL and plays what it left behind.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/X11ChildWindow.h"
#include "ui/Application.h"
#include "ui/PaintManager.h"
#include "ui/testing/UiDriver.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    X11ChildWindow::initThreads();
    ui::Application::PreferX11(argc, argv);
    ui::Application app(argc, argv);
    if (!shell::RegisterSkin())
        return 2;
    shell::Config().SetDefaults();
    shell::Config().Load();
    shell::Config().MaximizeWindow = 0;
    shell::Config().ImagePath_MyDoc = 1;
    shell::CMainWnd window;
    if (!window.Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0))
        return 3;
    window.ShowWindow(true);
    using ui::testing::Driver;
    shell::CameraSession& session = *window.Session();
    if (!Driver::processEventsUntil([&] { return !session.Devices().empty(); }))
        return 4;
    for (size_t g = 0; g < session.Devices().size(); ++g)
        if (session.Devices()[g].type == VIDEO_DEVICE_GROUP_SENSORLINK)
            session.OpenLocal(int(g), 0);
    if (!Driver::processEventsUntil([&] { return session.Camera() && session.FramesDelivered() > 3; }))
        return 5;
    Driver(window).click("ToolbarBtnRecord");
    std::printf("recording\n");
    std::fflush(stdout);
    CPaintManagerUI::MessageLoop();
    return 0;
}
