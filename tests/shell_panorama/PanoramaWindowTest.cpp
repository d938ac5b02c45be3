// The live panorama on the real window, with the emulated USB3 camera's
// stage moving over the emulated slide: what the user does with F8, what the
// status bar says, the picture that stays, and the file Enter writes.
#include "ShellTestFolders.h"

#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/AppConfig.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using shell::PictureSource;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

constexpr WPARAM kF8 = 0x77;

const bool kEmulated = [] {
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    // Over the slide's centre: the stage micrometer and the cells around it.
    ::setenv("SENSORLINK_EMULATE_STAGE", "serpentine:3x3:4", 1);
    ::setenv("SENSORLINK_EMULATE_NOISE", "3", 1);
    return true;
}();

class PanoramaWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kEmulated);
        control = home.root + "/usb-control";
        // One calibration in force: 0.25 µm per pixel.
        const std::string data = home.root + "/Documents/Pellumo Files/data";
        std::filesystem::create_directories(data);
        std::ofstream(data + "/calibrations.ini") << "[data]\nA = 0.25\n[unit]\nA = 3\n";
        ::setenv("SENSORLINK_EMULATE_CONTROL", control.c_str(), 1);
        shelltest::OpenMainWindow(window);
        if (HasFatalFailure())
            return;
        view = dynamic_cast<CImageRenderUI*>(window->PaintManager().FindControl("ImageRenderView"));
        ASSERT_NE(view, nullptr);
        shelltest::OpenUsbCameraOnMeasurePage(*window, *view);
    }
    void TearDown() override
    {
        shelltest::CloseMainWindow(window);
        ::unsetenv("SENSORLINK_EMULATE_CONTROL");
    }

    std::string field(const char* name) { return window->PaintManager().FindControl(name)->GetText(); }
    std::string status() { return field("StatusBarLabelInfo"); }
    // The frames the mode field says were placed (-1 when it says something else).
    int placed()
    {
        const std::string mode = field(PictureSource::kModeField);
        int n = -1;
        return std::sscanf(mode.c_str(), "Panorama: %d frames placed", &n) == 1 ? n : -1;
    }
    // Starts with F8 and waits until `frames` frames were placed.
    void stitch(int frames)
    {
        Driver ui(*window);
        ASSERT_TRUE(ui.pressKey(kF8));
        EXPECT_TRUE(ui.findAs<COptionUI>("ToolbarBtnPanorama")->IsSelected());
        ASSERT_TRUE(Driver::processEventsUntil([&] { return placed() >= frames; }, 60000))
            << field(PictureSource::kModeField);
        EXPECT_EQ(field(PictureSource::kSourceField), "Panorama");
    }
    std::string savedFile()
    {
        const std::string prefix = "Save to ";
        std::string path;
        Driver::processEventsUntil([&] {
            if (status().rfind(prefix, 0) != 0)
                return false;
            path = status().substr(prefix.size());
            return true;
        });
        return path;
    }

    shelltest::TempHome home;
    std::string control;
    std::unique_ptr<shell::CMainWnd> window;
    CImageRenderUI* view = nullptr;
};

TEST_F(PanoramaWindowTest, F8StitchesAPictureThatIsMeasuredAndSavedWithTheCalibrationInForce)
{
    shell::Config().ImagePath_MyDoc = 1;
    shell::Config().FileType = 0; // TIFF
    shell::Config().FileSave_Rule = 0;
    stitch(15);
    EXPECT_TRUE(view->isShowingStill());

    // F8 again: the panorama is the picture shown, larger than one field.
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(kF8));
    EXPECT_FALSE(ui.findAs<COptionUI>("ToolbarBtnPanorama")->IsSelected());
    const shell::StillPicture* still = window->Pictures()->still();
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(window->Pictures()->kind(), shell::SourceKind::Panorama);
    EXPECT_GT(still->width + still->height, 640 + 480 + 30);
    EXPECT_EQ(field(PictureSource::kModeField), "");
    EXPECT_EQ(status().rfind("Panorama of " + std::to_string(still->width) + " × " + std::to_string(still->height), 0),
              0u)
        << status();
    int width = 0, height = 0;
    view->pictureSize(width, height);
    EXPECT_EQ(width, still->width);
    EXPECT_EQ(height, still->height);
    // Measured in the calibration in force: 200 pixels are 50 µm.
    ASSERT_TRUE(ui.click("MeasureBtnLine"));
    const ViewFit fit = view->currentFit();
    const RECT pos = view->GetPos();
    for (float x : {100.0f, 300.0f}) {
        const POINT p{pos.left + int(std::lround(fit.originX + x * fit.zoom)),
                      pos.top + int(std::lround(fit.originY + 100 * fit.zoom))};
        ui.mouseMove(p);
        ui.mousePress(p);
        ui.mouseRelease(p);
    }
    Driver::processEvents();
    const MeasureData data = view->container().measureData(0);
    ASSERT_FALSE(data.lengths.empty());
    EXPECT_NEAR(data.lengths[0], 200 * 0.25f, 2.0f);

    // Enter writes it as a tiled TIFF with the scale.
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    const std::string saved = savedFile();
    ASSERT_FALSE(saved.empty()) << status();
    TIFF* tiff = TIFFOpen(saved.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t w = 0, h = 0;
    float resolution = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution);
    EXPECT_TRUE(TIFFIsTiled(tiff));
    TIFFClose(tiff);
    EXPECT_EQ(int(w), still->width);
    EXPECT_EQ(int(h), still->height);
    EXPECT_FLOAT_EQ(resolution, 4.0f);
}

TEST_F(PanoramaWindowTest, AnotherFrameSizeOrALostCameraStopsItAndKeepsWhatWasStitched)
{
    shell::CameraSession& session = *window->Session();
    std::vector<_tag_CMSIZE> sizes;
    session.Camera()->GetSupportedPreviewSizes(&sizes);
    int other = -1, first = -1;
    for (size_t i = 0; i < sizes.size(); ++i)
        (sizes[i].width == 640 ? first : other) = int(i);
    ASSERT_GE(other, 0);
    stitch(5);
    // Another preview size: stopped with a message, the panorama kept.
    ASSERT_TRUE(session.SetPreviewSizeIndex(other));
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        return status().rfind("Panorama stopped: the camera changed its picture size.", 0) == 0;
    })) << status();
    EXPECT_EQ(window->Pictures()->kind(), shell::SourceKind::Panorama);
    EXPECT_FALSE(Driver(*window).findAs<COptionUI>("ToolbarBtnPanorama")->IsSelected());
    EXPECT_EQ(session.AutomaticsHolds(), 0);

    // Back to the live picture, stitching again, and the camera goes: the
    // run ends and the hold with it (the status bar then tells of the camera).
    window->Pictures()->showLive();
    ASSERT_TRUE(session.SetPreviewSizeIndex(first));
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(kF8));
    ASSERT_TRUE(ui.findAs<COptionUI>("ToolbarBtnPanorama")->IsSelected());
    EXPECT_EQ(session.AutomaticsHolds(), 1);
    std::ofstream(control) << "unplugged 0\n";
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session.IsLost(); }, 30000));
    Driver::processEvents();
    EXPECT_FALSE(ui.findAs<COptionUI>("ToolbarBtnPanorama")->IsSelected());
    EXPECT_EQ(session.AutomaticsHolds(), 0);
}

} // namespace
