// Shading correction as the user takes it on the real main window: an
// emulated USB3 camera over empty glass with 35 % tinted corner shading, the
// reference from the main menu, the toolbar toggle, and a recording decoded
// from its file.
#include "../shell/ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"
#include "ui/Menu.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

using shell::Config;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

const bool kEmulated = [] {
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "640x480", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    ::setenv("SENSORLINK_EMULATE_STAGE", "glass", 1);
    ::setenv("SENSORLINK_EMULATE_SHADING", "35", 1);
    ::setenv("SENSORLINK_EMULATE_NOISE", "2", 1);
    return true;
}();

// The corner patch furthest from the centre's level, over the centre's
// level, per channel (patches of a twentieth of the picture's width).
cv::Vec3d worstCornerRatio(const cv::Mat& bgr)
{
    const int side = std::max(4, bgr.cols / 20);
    const cv::Scalar centre = cv::mean(bgr(cv::Rect(bgr.cols / 2 - side / 2, bgr.rows / 2 - side / 2, side, side)));
    cv::Vec3d worst(1, 1, 1);
    for (const cv::Point corner : {cv::Point(0, 0), cv::Point(bgr.cols - side, 0), cv::Point(0, bgr.rows - side),
                                   cv::Point(bgr.cols - side, bgr.rows - side)}) {
        const cv::Scalar level = cv::mean(bgr(cv::Rect(corner, cv::Size(side, side))));
        for (int c = 0; c < 3; ++c)
            if (std::abs(level[c] / centre[c] - 1) > std::abs(worst[c] - 1))
                worst[c] = level[c] / centre[c];
    }
    return worst;
}

double worstDeviation(const cv::Mat& bgr)
{
    const cv::Vec3d ratio = worstCornerRatio(bgr);
    return std::max({std::abs(ratio[0] - 1), std::abs(ratio[1] - 1), std::abs(ratio[2] - 1)});
}

class ShadingWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kEmulated);
        shelltest::OpenMainWindow(window);
        if (HasFatalFailure())
            return;
        Config().ImagePath_MyDoc = 1;
        view = dynamic_cast<CImageRenderUI*>(window->PaintManager().FindControl("ImageRenderView"));
        ASSERT_NE(view, nullptr);
        shell::CameraSession& session = *window->Session();
        int group = -1;
        ASSERT_TRUE(Driver::processEventsUntil([&] {
            const std::vector<_tag_VideoDeviceList> listed = session.Devices();
            for (size_t g = 0; g < listed.size(); ++g)
                if (listed[g].type == VIDEO_DEVICE_GROUP_SENSORLINK && !listed[g].devices.empty())
                    group = int(g);
            return group >= 0;
        }));
        ASSERT_EQ(session.OpenLocal(group, 0), shell::kSessionOpened);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return session.Camera() && view->passesDrawn() > 3; }));
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }

    CControlUI* find(const char* name) { return window->PaintManager().FindControl(name); }
    COptionUI* button() { return dynamic_cast<COptionUI*>(find("ToolbarBtnShading")); }
    std::string mode() { return find("StatusBarLabelMode")->GetText(); }
    std::string status() { return find("StatusBarLabelInfo")->GetText(); }
    std::string text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

    // What the view draws now, read back from a view snapshot (BGR).
    cv::Mat viewPicture()
    {
        const std::string path = home.root + "/view.png";
        const int served = view->snapshotsServed();
        view->requestSnapshot(path);
        EXPECT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
        const cv::Mat drawn = cv::imread(path, cv::IMREAD_COLOR);
        // The picture's part of the control, without the letterbox.
        const ViewFit fit = view->currentFit();
        const cv::Rect picture = cv::Rect(int(std::ceil(fit.originX)) + 1, int(std::ceil(fit.originY)) + 1,
                                          int(640 * fit.zoom) - 2, int(480 * fit.zoom) - 2) &
                                 cv::Rect(0, 0, drawn.cols, drawn.rows);
        EXPECT_GT(picture.area(), 100 * 100);
        return drawn.empty() || picture.area() == 0 ? cv::Mat() : drawn(picture).clone();
    }
    // The view once frames drawn after now have reached it.
    cv::Mat nextViewPicture()
    {
        const auto passes = view->passesDrawn();
        EXPECT_TRUE(Driver::processEventsUntil([&] { return view->passesDrawn() > passes + 3; }));
        return viewPicture();
    }
    // Opens the main menu; the toggle item's check mark.
    bool menuTicksTheToggle()
    {
        Driver ui(*window);
        EXPECT_TRUE(ui.click("Btn_Title_Main_Menu"));
        Driver::processEvents();
        CMenuWnd* menu = Driver::openMenu();
        EXPECT_NE(menu, nullptr);
        CMenuElementUI* item = menu ? menu->FindMenuItem("Main_Menu_Item_Shading_Toggle") : nullptr;
        EXPECT_NE(item, nullptr);
        const bool ticked = item && item->GetChecked();
        menu->Close();
        Driver::processEvents();
        return ticked;
    }

    shelltest::TempHome home;
    std::unique_ptr<shell::CMainWnd> window;
    CImageRenderUI* view = nullptr;
};

TEST_F(ShadingWindowTest, AReferenceFromTheMenuEvensTheViewAndTheRecordingAndTheToolbarSwitchesIt)
{
    Driver ui(*window);
    const cv::Mat before = nextViewPicture();
    ASSERT_FALSE(before.empty());
    EXPECT_GT(worstDeviation(before), 0.2) << "the emulated corners are dark";
    EXPECT_FALSE(button()->IsSelected());
    EXPECT_FALSE(menuTicksTheToggle());

    // Menu → "Correct shading…" → OK on the question.
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Shading"));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return status() == text("STR_SHADING_DONE"); })) << status();
    EXPECT_EQ(mode(), "") << "the taking line is gone, the result is in the status bar";
    EXPECT_TRUE(button()->IsSelected());
    EXPECT_TRUE(menuTicksTheToggle());
    const cv::Mat after = nextViewPicture();
    EXPECT_LT(worstDeviation(after), 0.03) << worstCornerRatio(after);

    // The toolbar toggle switches it off and on; the button follows.
    ASSERT_TRUE(ui.click("ToolbarBtnShading"));
    EXPECT_FALSE(button()->IsSelected());
    EXPECT_EQ(status(), text("STR_SHADING_OFF"));
    EXPECT_GT(worstDeviation(nextViewPicture()), 0.2);
    EXPECT_FALSE(menuTicksTheToggle());
    ASSERT_TRUE(ui.click("ToolbarBtnShading"));
    EXPECT_TRUE(button()->IsSelected());
    EXPECT_LT(worstDeviation(nextViewPicture()), 0.03);

    // A recording holds the corrected picture.
    ASSERT_TRUE(ui.click("ToolbarBtnRecord"));
    const unsigned long start = window->Session()->FramesDelivered();
    Driver::processEventsUntil([&] { return window->Session()->FramesDelivered() > start + 30; });
    ASSERT_TRUE(ui.click("ToolbarBtnRecord"));
    const std::string prefix = text("STR_SAVED_TO") + " ";
    std::string video;
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        const std::string line = find("StatusBarLabelInfo")->GetText();
        if (line.rfind(prefix, 0) != 0)
            return false;
        video = line.substr(prefix.size());
        return true;
    }));
    const std::string still = home.root + "/frame.png";
    const std::string command =
        "ffmpeg -v error -y -i '" + video + "' -vf 'select=eq(n\\,20)' -frames:v 1 '" + still + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const cv::Mat decoded = cv::imread(still, cv::IMREAD_COLOR);
    ASSERT_FALSE(decoded.empty());
    EXPECT_LT(worstDeviation(decoded), 0.03) << worstCornerRatio(decoded);

    // Clear leaves nothing to switch on: the button then asks for a reference.
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Shading_Clear"));
    Driver::processEvents();
    EXPECT_FALSE(button()->IsSelected());
    Driver::answerNextModal(Driver::ClickControl("cancelbtn"));
    ASSERT_TRUE(ui.click("ToolbarBtnShading"));
    EXPECT_EQ(Driver::pendingAnswers(), 0) << "the question was asked";
    EXPECT_FALSE(button()->IsSelected());
    EXPECT_GT(worstDeviation(nextViewPicture()), 0.2);

    // The menu's switch without a reference asks for one as well, and the
    // reference it takes is in use at once.
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Shading_Toggle"));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return status() == text("STR_SHADING_DONE"); })) << status();
    EXPECT_EQ(Driver::pendingAnswers(), 0) << "the question was asked";
    EXPECT_TRUE(button()->IsSelected());

    // Switched off, a new reference switches the correction on again.
    ASSERT_TRUE(ui.click("ToolbarBtnShading"));
    EXPECT_FALSE(button()->IsSelected());
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Shading"));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return status() == text("STR_SHADING_DONE"); })) << status();
    EXPECT_TRUE(button()->IsSelected());
    EXPECT_LT(worstDeviation(nextViewPicture()), 0.03);
}

} // namespace
