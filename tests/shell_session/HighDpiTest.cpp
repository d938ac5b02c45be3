// The live picture at a device pixel ratio of 2 (QT_SCALE_FACTOR=2): the
// render window has the control's size in device pixels, the picture fills
// it, and a control position maps to the image point drawn under it.
#include "ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"
#include "usbsdk/emulator/SyntheticScene.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

namespace {
// Before the test application exists (same file: initialised in this order).
const bool scaled = (::setenv("QT_SCALE_FACTOR", "2", 1), true);
} // namespace

PELLUMO_UI_TEST_APPLICATION();

namespace {

namespace emu = usbsdk::emulator;

TEST(HighDpiTest, PictureFillsTheControlAndPointsMapToTheImage)
{
    ASSERT_TRUE(scaled);
    shelltest::TempHome home;
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    ASSERT_TRUE(shell::RegisterSkin());
    Config().SetDefaults();
    ASSERT_TRUE(Config().Load());
    Config().MaximizeWindow = 0;
    Config().ExitPrompt = 1;
    auto window = std::make_unique<CMainWnd>();
    window->OpenFirstCameraAtStart(true);
    ASSERT_NE(window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0), nullptr);
    window->ShowWindow(true);
    shell::CameraSession& session = *window->Session();
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session.Camera() && session.FramesDelivered() > 5; }));
    CImageRenderUI* view = session.View();
    ASSERT_NE(view, nullptr);
    ASSERT_DOUBLE_EQ(view->DevicePixelRatio(), 2.0);

    const std::string path = home.root + "/view.png";
    const int served = view->snapshotsServed();
    view->requestSnapshot(path);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
    sf::Image shot;
    ASSERT_TRUE(shot.loadFromFile(path));
    const RECT pos = view->GetPos();
    EXPECT_EQ(int(shot.getSize().x), pos.width() * 2);
    EXPECT_EQ(int(shot.getSize().y), pos.height() * 2);

    // The red patch's image point, through the fit to control pixels, then
    // to device pixels of the drawn picture.
    const ViewFit fit = view->currentFit();
    const int width = 1280, height = 960; // the emulated camera's start window
    const float imageX = float(emu::kSensorCentreX + emu::kPatchX + emu::kPatchSize / 2 - (1940 - width) / 2);
    const float imageY = float(emu::kSensorCentreY + emu::kPatchY + emu::kPatchSize / 2 - (1460 - height) / 2);
    const float controlX = fit.originX + imageX * fit.zoom;
    const float controlY = fit.originY + imageY * fit.zoom;
    const sf::Color red = shot.getPixel(unsigned(std::lround(controlX * 2)), unsigned(std::lround(controlY * 2)));
    EXPECT_GT(red.r, 200);
    EXPECT_LT(red.g, 60);
    EXPECT_LT(red.b, 60);
    // The picture reaches the far side of the control (letterboxed only on
    // one axis), not only its first half.
    const float rightX = fit.originX + (width - 4) * fit.zoom;
    const float middleY = fit.originY + (height / 2.0f) * fit.zoom;
    const sf::Color far = shot.getPixel(unsigned(std::lround(rightX * 2)), unsigned(std::lround(middleY * 2)));
    EXPECT_GT(int(far.r) + far.g + far.b, 150) << "black where the picture should be";

    window->DestroyWindow();
    window.reset();
    Driver::processEvents();
    CResourceManager::GetInstance()->Release();
}

} // namespace
