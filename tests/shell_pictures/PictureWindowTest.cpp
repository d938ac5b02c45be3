// The pictures the main window shows besides the live one, on the real window
// with an emulated USB3 camera streaming behind them: what the view draws,
// what the status bar says, and which measurements belong to which picture.
#include "ShellTestFolders.h"

#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "tests/shell_session/MainWindowHarness.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

using shell::PictureSource;
using shell::SourceKind;
using shell::StillPicture;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

const bool kEmulated = [] {
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    return true;
}();

std::shared_ptr<StillPicture> solidPicture(int width, int height, sf::Color colour)
{
    auto picture = std::make_shared<StillPicture>();
    picture->width = width;
    picture->height = height;
    picture->rgba.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < picture->rgba.size(); i += 4) {
        picture->rgba[i] = colour.r;
        picture->rgba[i + 1] = colour.g;
        picture->rgba[i + 2] = colour.b;
        picture->rgba[i + 3] = 255;
    }
    return picture;
}

class PictureWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kEmulated);
        shelltest::OpenMainWindow(window);
        if (HasFatalFailure())
            return;
        view = dynamic_cast<CImageRenderUI*>(window->PaintManager().FindControl("ImageRenderView"));
        ASSERT_NE(view, nullptr);
        ASSERT_NE(window->Pictures(), nullptr);
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }

    void openCamera()
    {
        shell::CameraSession& session = *window->Session();
        auto usbGroup = [&] {
            for (size_t g = 0; g < session.Devices().size(); ++g)
                if (session.Devices()[g].type == VIDEO_DEVICE_GROUP_SENSORLINK && !session.Devices()[g].devices.empty())
                    return int(g);
            return -1;
        };
        ASSERT_TRUE(Driver::processEventsUntil([&] { return usbGroup() >= 0; }));
        ASSERT_EQ(session.OpenLocal(usbGroup(), 0), shell::kSessionOpened);
        ASSERT_TRUE(Driver::processEventsUntil(
            [&] { return session.Camera() && session.FramesDelivered() > 3 && view->passesDrawn() > 3; }));
        Driver ui(*window);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return ui.find("MainTabOptMeasure")->IsEnabled(); }));
        ASSERT_TRUE(ui.click("MainTabOptMeasure"));
        Driver::processEvents();
    }
    std::string field(const char* name) { return window->PaintManager().FindControl(name)->GetText(); }
    // The window point that shows image pixel (x, y).
    POINT at(float x, float y) const
    {
        const ViewFit fit = view->currentFit();
        const RECT pos = view->GetPos();
        return POINT{pos.left + int(std::lround(fit.originX + x * fit.zoom)),
                     pos.top + int(std::lround(fit.originY + y * fit.zoom))};
    }
    void drawLine(POINT from, POINT to)
    {
        Driver ui(*window);
        ASSERT_TRUE(ui.click("MeasureBtnLine"));
        ui.mouseMove(from);
        ui.mousePress(from);
        ui.mouseRelease(from);
        ui.mouseMove(to);
        ui.mousePress(to);
        ui.mouseRelease(to);
        Driver::processEvents();
    }
    // The colour the view draws at its centre, from a view snapshot.
    sf::Color centreColour()
    {
        const std::string path = home.root + "/view.png";
        const int served = view->snapshotsServed();
        view->requestSnapshot(path);
        EXPECT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
        sf::Image image;
        if (!image.loadFromFile(path))
            return sf::Color::Transparent;
        return image.getPixel(image.getSize().x / 2, image.getSize().y / 2);
    }
    float firstLength()
    {
        const MeasureData data = view->container().measureData(0);
        return data.lengths.empty() ? -1.0f : data.lengths[0];
    }

    shelltest::TempHome home;
    std::unique_ptr<shell::CMainWnd> window;
    CImageRenderUI* view = nullptr;
};

TEST_F(PictureWindowTest, StillPicturesReplaceTheLiveOneAndKeepTheirOwnMeasurements)
{
    PictureSource& pictures = *window->Pictures();
    EXPECT_EQ(field(PictureSource::kSourceField), "No camera");
    openCamera();
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    drawLine(at(100, 100), at(300, 100));
    ASSERT_EQ(view->container().count(), 1);
    const float liveLength = firstLength();
    EXPECT_NEAR(liveLength, 200.0f, 3.0f);

    // A picture the program made starts without measurements and stays on
    // screen while the camera keeps streaming.
    const sf::Color magenta(255, 0, 255);
    ASSERT_TRUE(pictures.showStill(SourceKind::FocusStack, solidPicture(320, 240, magenta)));
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    EXPECT_EQ(view->container().count(), 0);
    const unsigned long frames = window->Session()->FramesDelivered();
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window->Session()->FramesDelivered() > frames + 10; }));
    EXPECT_EQ(centreColour(), magenta);
    int width = 0, height = 0;
    view->pictureSize(width, height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    drawLine(at(10, 10), at(60, 10));
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), 50.0f, 2.0f);
    pictures.setModeText("Focus 812");
    EXPECT_EQ(field(PictureSource::kModeField), "Focus 812");

    // Live again: its own line, in live pixels, and the camera's picture.
    pictures.showLive();
    EXPECT_EQ(field(PictureSource::kSourceField), "Live");
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), liveLength, 0.01f);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return centreColour() != magenta; }));
    view->pictureSize(width, height);
    EXPECT_EQ(width, 640);

    // A frozen frame starts with a copy of the live set; a change to it does
    // not reach the live set.
    ASSERT_TRUE(pictures.showStill(SourceKind::Frozen, solidPicture(640, 480, sf::Color::Blue)));
    EXPECT_EQ(field(PictureSource::kSourceField), "Frozen");
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), liveLength, 0.01f);
    view->container().clearAll(true);
    pictures.showLive();
    EXPECT_EQ(view->container().count(), 1);

    // A picture file is named by its file name and gets its set back when
    // it is shown again.
    auto file = solidPicture(100, 80, sf::Color::Yellow);
    file->path = home.root + "/slide.tif";
    ASSERT_TRUE(pictures.showStill(SourceKind::File, file));
    EXPECT_EQ(field(PictureSource::kSourceField), "slide.tif");
    EXPECT_EQ(view->container().count(), 0);
    drawLine(at(10, 10), at(10, 50));
    ASSERT_EQ(view->container().count(), 1);
    pictures.showLive();
    ASSERT_TRUE(pictures.showStill(SourceKind::File, file));
    ASSERT_EQ(view->container().count(), 1);
    EXPECT_NEAR(firstLength(), 40.0f, 2.0f);
    EXPECT_FALSE(pictures.showStill(SourceKind::File, std::make_shared<StillPicture>()));
    EXPECT_EQ(field(PictureSource::kSourceField), "slide.tif");
}

} // namespace
