#pragma once
// The program's main window in demo mode, as the drivers that run it outside
// the test framework start it: the emulated cameras and the box simulator on
// loopback, the first camera opened at start.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/session/CameraSession.h"
#include "app/shell/session/DemoMode.h"
#include "app/view/ImageRenderUI.h"
#include "ui/testing/UiDriver.h"

namespace demowindow {

// Before the application exists: settings for a window that is not
// maximised, in English, without the exit question (over the defaults, the
// home's settings file when `loadHome`), the emulated cameras, and the box
// simulator run by `demo`.
inline void PrepareSettings(shell::DemoMode& demo, bool loadHome)
{
    shell::Config().SetDefaults();
    if (loadHome)
        shell::Config().Load();
    shell::Config().MaximizeWindow = 0;
    shell::Config().ExitPrompt = 1;
    shell::Config().Language = 0;
    shell::DemoMode::SetEnvironment();
    demo.StartBoxSimulator();
}

// Shows `window` with its first camera opened at start; its view once that
// has drawn ten passes of the live picture, null when it did not within
// `timeoutMs`.
inline CImageRenderUI* ShowLive(shell::CMainWnd& window, int timeoutMs)
{
    using ui::testing::Driver;
    window.OpenFirstCameraAtStart(true);
    window.Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0);
    window.ShowWindow(true);
    Driver::processEvents();
    auto* view = dynamic_cast<CImageRenderUI*>(window.PaintManager().FindControl("ImageRenderView"));
    if (!view ||
        !Driver::processEventsUntil([&] { return window.Session()->Camera() && view->passesDrawn() > 10; }, timeoutMs))
        return nullptr;
    return view;
}

} // namespace demowindow
