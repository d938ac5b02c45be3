// The focus figure and the focus stack as a user works them on the main
// window: the figure in the mode field, over the centre third or a drawn
// rectangle, F7 stacking a sweeping emulated camera with its automatic
// exposure held, the stack measured in the calibration in force and saved
// with it by Enter, and a stack that stops itself when the camera changes
// size, is unplugged or is closed.
#include "ShellTestFolders.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/AppConfig.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "platform/WindowMessages.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"

#include <gtest/gtest.h>
#include <opencv2/core/types.hpp>
#include <tiffio.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>

using shell::PictureSource;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

const bool kEmulated = [] {
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    ::setenv("SENSORLINK_EMULATE_FOCUS", "2", 1);
    ::setenv("SENSORLINK_EMULATE_NOISE", "2", 1);
    return true;
}();

class FocusWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kEmulated);
        control = home.root + "/usb-control";
        ::setenv("SENSORLINK_EMULATE_CONTROL", control.c_str(), 1);
        // One calibration in force: 0.25 µm per pixel.
        const std::string data = home.root + "/Documents/Pellumo Files/data";
        std::filesystem::create_directories(data);
        std::ofstream(data + "/calibrations.ini") << "[data]\nA = 0.25\n[unit]\nA = 3\n";
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
    shell::CameraSession& session() { return *window->Session(); }
    bool automaticExposure()
    {
        bool automatic = false;
        return session().Camera() && session().Camera()->getExposure(automatic) == 0 && automatic;
    }
    // The frames merged, from the mode field ("Stacking: N frames merged").
    int merged()
    {
        const std::string mode = field(PictureSource::kModeField);
        const auto colon = mode.find(": ");
        return mode.rfind("Stacking", 0) == 0 && colon != std::string::npos ? std::atoi(mode.c_str() + colon + 2) : -1;
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

    // Clicks at picture pixels (x, y) of the view, one after the other.
    void clickAt(Driver& ui, std::initializer_list<cv::Point> points)
    {
        const ViewFit fit = view->currentFit();
        const RECT pos = view->GetPos();
        for (const cv::Point& q : points) {
            const POINT p{pos.left + int(std::lround(fit.originX + q.x * fit.zoom)),
                          pos.top + int(std::lround(fit.originY + q.y * fit.zoom))};
            ui.mouseMove(p);
            ui.mousePress(p);
            ui.mouseRelease(p);
        }
        Driver::processEvents();
    }

    shelltest::TempHome home;
    std::string control;
    std::unique_ptr<shell::CMainWnd> window;
    CImageRenderUI* view = nullptr;
};

} // namespace

TEST_F(FocusWindowTest, FigureAndStackFromFocusingToASavedCalibratedPicture)
{
    Driver ui(*window);
    // The figure: the centre's sharpness and the best since the toggle.
    ASSERT_TRUE(ui.click("ToolbarBtnFocus"));
    int figure = 0, best = 0;
    auto read = [&] {
        const std::string mode = field(PictureSource::kModeField);
        const auto at = mode.find("best ");
        return std::sscanf(mode.c_str(), "Focus %d", &figure) == 1 && at != std::string::npos &&
               std::sscanf(mode.c_str() + at, "best %d", &best) == 1;
    };
    // The sweep passes the sharpest place and leaves it: the best stays above.
    ASSERT_TRUE(Driver::processEventsUntil([&] { return read() && best > 2 * figure && figure > 0; }, 20000))
        << field(PictureSource::kModeField);
    // A rectangle drawn over empty glass: the figure covers it alone, its
    // best starts anew and stays at the glass's noise through a whole sweep
    // (the centre third's scale ticks would bring it back within one).
    const int centreBest = best;
    ASSERT_TRUE(ui.click("MeasureBtnRect"));
    clickAt(ui, {{250, 50}, {400, 150}});
    ASSERT_EQ(view->container().count(), 1);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return read() && best < centreBest / 4; }, 5000))
        << field(PictureSource::kModeField) << ", centre third's best " << centreBest;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    Driver::processEventsUntil([&] { return std::chrono::steady_clock::now() > until; }, 4000);
    ASSERT_TRUE(read());
    EXPECT_LT(best, centreBest / 4) << "centre third's best " << centreBest;
    // Deleting it gives the centre third back.
    ASSERT_TRUE(ui.click("MeasureBtnDelete"));
    clickAt(ui, {{250, 100}});
    ASSERT_EQ(view->container().count(), 0);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return read() && best > centreBest / 2; }, 10000))
        << field(PictureSource::kModeField) << ", centre third's best " << centreBest;
    ASSERT_TRUE(ui.click("ToolbarBtnFocus"));
    EXPECT_EQ(field(PictureSource::kModeField), "");

    // F7 stacks: exposure held, the growing stack on the view.
    ASSERT_TRUE(automaticExposure());
    ASSERT_TRUE(ui.pressKey(0x76));
    EXPECT_TRUE(ui.findAs<COptionUI>("ToolbarBtnStack")->IsSelected());
    EXPECT_FALSE(automaticExposure());
    ASSERT_TRUE(Driver::processEventsUntil([&] { return merged() >= 10; }, 30000)) << field(PictureSource::kModeField);
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    EXPECT_TRUE(view->isShowingStill());
    ASSERT_TRUE(ui.pressKey(0x76));
    EXPECT_FALSE(ui.findAs<COptionUI>("ToolbarBtnStack")->IsSelected());
    EXPECT_TRUE(automaticExposure()) << "held only while stacking";
    EXPECT_EQ(status().rfind("Focus stack of ", 0), 0u) << status();
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    EXPECT_EQ(field(PictureSource::kModeField), "");

    // Measured in the calibration in force, saved with it by Enter.
    shell::Config().ImagePath_MyDoc = 1;
    shell::Config().FileType = 0; // TIFF
    shell::Config().FileSave_Rule = 0;
    ASSERT_TRUE(ui.click("MeasureBtnLine"));
    clickAt(ui, {{100, 100}, {300, 100}});
    const MeasureData data = view->container().measureData(0);
    ASSERT_FALSE(data.lengths.empty());
    EXPECT_NEAR(data.lengths[0], 200 * 0.25f, 2.0f);
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    const std::string saved = savedFile();
    ASSERT_FALSE(saved.empty()) << status();
    TIFF* tiff = TIFFOpen(saved.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0;
    float resolution = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution);
    TIFFClose(tiff);
    EXPECT_EQ(width, 640u);
    EXPECT_FLOAT_EQ(resolution, 4.0f);
}

TEST_F(FocusWindowTest, StackStopsAndKeepsWhatItHasWhenTheCameraChangesSizeIsLostOrClosed)
{
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(0x76));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return merged() >= 3; }, 30000));
    // Another preview size: the frames no longer fit the stack.
    std::vector<_tag_CMSIZE> sizes;
    session().Camera()->GetSupportedPreviewSizes(&sizes);
    ASSERT_GT(sizes.size(), 1u);
    int other = -1;
    for (size_t i = 0; i < sizes.size() && other < 0; ++i)
        if (sizes[i].width != 640)
            other = int(i);
    ASSERT_TRUE(session().SetPreviewSizeIndex(other));
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        return status().rfind("Stacking stopped: the camera's picture size", 0) == 0;
    })) << status();
    EXPECT_FALSE(ui.findAs<COptionUI>("ToolbarBtnStack")->IsSelected());
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    int w = 0, h = 0;
    view->pictureSize(w, h);
    EXPECT_EQ(w, 640) << "the stack made so far stays";
    EXPECT_EQ(session().AutomaticsHolds(), 0);

    // Going live again and stacking; then the camera is unplugged.
    ASSERT_TRUE(ui.pressKey(0x75)); // F6
    ASSERT_TRUE(ui.pressKey(0x76));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return merged() >= 2; }, 30000));
    std::ofstream(control) << "unplugged 0\n";
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().IsLost(); }, 30000));
    Driver::processEvents();
    EXPECT_EQ(status().rfind("Stacking stopped: the camera was lost", 0), 0u) << status();
    EXPECT_FALSE(ui.findAs<COptionUI>("ToolbarBtnStack")->IsSelected());
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    EXPECT_EQ(session().AutomaticsHolds(), 0);

    // It comes back; stacking again, and the camera is closed.
    std::ofstream(control) << "";
    window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsLost(); }, 20000));
    ASSERT_TRUE(ui.pressKey(0x75));
    ASSERT_TRUE(ui.pressKey(0x76));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return merged() >= 2; }, 30000));
    session().Close();
    window->CameraChanged();
    EXPECT_EQ(status().rfind("Stacking stopped: the camera was closed", 0), 0u) << status();
    EXPECT_EQ(field(PictureSource::kSourceField), "Focus stack");
    EXPECT_EQ(session().AutomaticsHolds(), 0);
}
