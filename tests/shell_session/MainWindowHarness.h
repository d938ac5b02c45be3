#pragma once
// The program's real main window on its own skin, as the window suites open
// and close it: the layout size on the test screen, English, and closing
// without the exit question.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <memory>

namespace shelltest {

// Loads the settings of the test's home and shows a new main window in
// `window`; fails the calling test when it cannot.
inline void OpenMainWindow(std::unique_ptr<shell::CMainWnd>& window)
{
    ASSERT_TRUE(shell::RegisterSkin());
    shell::Config().SetDefaults();
    ASSERT_TRUE(shell::Config().Load());
    shell::Config().MaximizeWindow = 0;
    shell::Config().ExitPrompt = 1;
    shell::Config().Language = 0;
    window = std::make_unique<shell::CMainWnd>();
    ASSERT_NE(window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0), nullptr);
    window->ShowWindow(true);
    ui::testing::Driver::processEvents();
}

// Opens the first emulated USB3 camera once it is listed, waits until `view`
// shows its frames, and turns to the Measure tab; fails the calling test when
// it cannot.
inline void OpenUsbCameraOnMeasurePage(shell::CMainWnd& window, CImageRenderUI& view)
{
    using ui::testing::Driver;
    shell::CameraSession& session = *window.Session();
    auto usbGroup = [&] {
        for (size_t g = 0; g < session.Devices().size(); ++g)
            if (session.Devices()[g].type == VIDEO_DEVICE_GROUP_SENSORLINK && !session.Devices()[g].devices.empty())
                return int(g);
        return -1;
    };
    ASSERT_TRUE(Driver::processEventsUntil([&] { return usbGroup() >= 0; }));
    ASSERT_EQ(session.OpenLocal(usbGroup(), 0), shell::kSessionOpened);
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        return session.Camera() && session.FramesDelivered() > 3 && view.passesDrawn() > 3;
    })) << "camera "
        << (session.Camera() != nullptr) << " frames " << session.FramesDelivered() << " passes " << view.passesDrawn()
        << " rendering " << view.isRendering();
    Driver ui(window);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return ui.find("MainTabOptMeasure")->IsEnabled(); }));
    ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    Driver::processEvents();
}

// Destroys the window (releasing its camera) and the skin's resources.
inline void CloseMainWindow(std::unique_ptr<shell::CMainWnd>& window)
{
    ui::testing::Driver::clearAnswers();
    if (window && window->IsWindow())
        window->DestroyWindow();
    window.reset();
    ui::testing::Driver::processEvents();
    CResourceManager::GetInstance()->Release();
}

} // namespace shelltest
