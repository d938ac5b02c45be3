// The main window built from the program's own skin: every named control in
// place, the window sizes, the language menu, full screen and closing.
#include "ShellTestFolders.h"

#include "app/common/AppMessages.h"
#include "app/shell/AppConfig.h"
#include "app/shell/Language.h"
#include "app/shell/MainWnd.h"
#include "app/shell/RegistryKey.h"
#include "app/shell/Startup.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/Menu.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shell::RegisterSkin());
        Config().SetDefaults();
        ASSERT_TRUE(Config().Load());
        Config().MaximizeWindow = 0; // keep the layout size on the test screen
        Config().Language = 0;
        window = std::make_unique<CMainWnd>();
        ASSERT_NE(window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0), nullptr);
        Driver::processEvents();
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }
    CControlUI* find(const char* name) { return window->PaintManager().FindControl(name); }
    std::string textOf(const char* name) { return find(name) ? find(name)->GetText() : "<missing>"; }

    shelltest::TempHome home;
    shelltest::LocaleEnv locale{"en_US.UTF-8"};
    std::unique_ptr<CMainWnd> window;
};

TEST_F(MainWindowTest, EveryNamedControlIsInPlace)
{
    const char* names[] = {
        // title bar, tool bar, picture, output bar, status bar
        "MainWnd",
        "caption",
        "Icon_Titlebar",
        "Btn_Title_Main_Menu",
        "minbtn",
        "maxbtn",
        "restorebtn",
        "closebtn",
        "ToolbarBtnCapture",
        "ToolbarBtnCaptureSet",
        "ToolbarBtnRecord",
        "ToolbarBtnFiles",
        "ImageRenderView",
        "OutputBar",
        "MeasureDataList",
        "CaliDataListUnit",
        "StatusBarLabelInfo",
        "StatusbarLabelRate",
        "StatusbarBtnOutput",
        "StatusbarBtnFullscreen",
        "BtnDPI100",
        "BtnDPI125",
        "BtnDPI150",
        "BtnDPI175",
        "BtnDPI200",
        // side bar and the camera page
        "MainTabOptCamera",
        "MainTabOptMeasure",
        "MainTabOptTest",
        "MainTabList",
        "CameraList",
        "camera_adjust_drawers",
        "combo_preview_format",
        "combo_preview_size",
        "combo_capture_size",
        "option_lock_snap",
        "option_lock_dummy",
        "combo_color_mode",
        "combo_power_freq",
        "AdjustOptionAE",
        "AdjustOptionAWB",
        "AdjustBtnOnceWB",
        "AdjustOptionMirror",
        "AdjustOptionFlip",
        "AdjustBtnReset",
        "AdjustBtnPropertyPage",
        "manual_wb_tab",
        "drawerHeaderSeqPower",
        "drawerHeaderSeqMisc",
        "drawerHeadPreviewResolution",
        "drawerPreviewResolution",
        "drawerHeadExposure",
        "drawerExposure",
        "drawerHeadWB",
        "drawerWB",
        "drawerHeadColor",
        "drawerColor",
        "drawerHeadColorMode",
        "drawerColorMode",
        "drawerHeadFlip",
        "drawerFlip",
        "drawerHeadPower",
        "drawerPower",
        "drawerHeadMisc",
        "drawerMisc",
        "AdjustSldBrightness",
        "AdjustValBrightness",
        "AdjustSldContrast",
        "AdjustValContrast",
        "AdjustSldHue",
        "AdjustValHue",
        "AdjustSldSaturation",
        "AdjustValSaturation",
        "AdjustSldSharpness",
        "AdjustValSharpness",
        "AdjustSldTemperature",
        "AdjustValTemperature",
        "AdjustSldRGain",
        "AdjustValRGain",
        "AdjustSldGGain",
        "AdjustValGGain",
        "AdjustSldBGain",
        "AdjustValBGain",
        "AdjustSldGain",
        "AdjustValGain",
        "AdjustSldExpTarget",
        "AdjustSldExpTime",
        "AdjustValExpTime",
        "AdjustSldGamma",
        "AdjustValGamma",
        "AdjustSldDenoise",
        "AdjustValDenoise",
        // measure page
        "PageMeasureNormal",
        "PageMeasureCalibration",
        "MeasureBtnNone",
        "MeasureBtnMove",
        "MeasureBtnDelete",
        "MeasureBtnPoint",
        "MeasureBtnLine",
        "MeasureBtnLineDistance",
        "MeasureBtnBrokenLine",
        "MeasureBtnRect",
        "MeasureBtnPolygon",
        "MeasureBtnCircle",
        "MeasureBtnCircle2",
        "MeasureBtnCircle3",
        "MeasureBtnArc",
        "MeasureBtnAngle",
        "MeasureBtnText",
        "MeasureBtnPerpendicular",
        "MeasureBtnCrosshair",
        "MeasureBtnCrosshair2",
        "MeasureBtnParallel",
        "MeasureBtnParallels",
        "MeasureBtnConcentrical",
        "MeasureBtnTwoCircles",
        "MeasureBtnDeleteAll",
        "MeasureBtnColorPicker",
        "MeasureBtnCSV",
        "MeasureBtnScreenShot",
        "ComboCaliDataList",
        "MeasureBtnCaliEdit",
        "CaliBtnBack",
        "CaliBtnNew",
        "CaliBtnDel",
        "CaliBtnBackup",
        "CaliBtnRecover",
        "CaliEdtName",
        "CaliEdtPhyLen",
        "CaliEdtPixLen",
        "CaliEdtCaliData",
        "CaliEdtCaliUnit",
        "ComboCaliPhyLenUnit",
        "CaliDataList",
    };
    for (const char* name : names)
        EXPECT_NE(find(name), nullptr) << name;
    // The slider kinds and the list kinds the later handlers cast to.
    EXPECT_NE(dynamic_cast<CSliderUI*>(find("AdjustSldExpTime")), nullptr);
    EXPECT_NE(dynamic_cast<CListUI*>(find("MeasureDataList")), nullptr);
    EXPECT_EQ(dynamic_cast<CListUI*>(find("MeasureDataList"))->GetColumnCount(), 12);
    EXPECT_NE(dynamic_cast<COptionUI*>(find("ToolbarBtnRecord")), nullptr);
    EXPECT_STREQ(find("ImageRenderView")->GetClass(), "ImageRenderUI");
    EXPECT_EQ(find("ImageRenderView")->GetBkColor(), 0xFF000000u);
}

TEST_F(MainWindowTest, WindowSizesOfTheLayout)
{
    const WindowFrameInfo& frame = window->PaintManager().Frame();
    EXPECT_EQ(frame.initSize.cx, 1121);
    EXPECT_EQ(frame.initSize.cy, 728);
    EXPECT_EQ(frame.minSize.cx, 800);
    EXPECT_EQ(frame.minSize.cy, 450);
    EXPECT_EQ(frame.caption.bottom, 26);
    EXPECT_EQ(frame.sizeBox.left, 6);
    EXPECT_EQ(frame.shadowSize, 4);
    EXPECT_EQ(frame.shadowDarkness, 80);
    EXPECT_EQ(frame.roundCorner.cx, 3);
    EXPECT_EQ(textOf("caption"), "Pellumo");
}

TEST_F(MainWindowTest, WithoutCameraTheCameraBoundControlsAreDisabled)
{
    for (const char* name : {"camera_adjust_drawers", "AdjustBtnReset", "ToolbarBtnFiles", "AdjustBtnPropertyPage",
                             "MainTabOptMeasure", "ToolbarBtnCapture", "ToolbarBtnCaptureSet", "ToolbarBtnRecord"})
        EXPECT_FALSE(find(name)->IsEnabled()) << name;
    auto* list = dynamic_cast<CListUI*>(find("CameraList"));
    ASSERT_EQ(list->GetCount(), 1);
    EXPECT_EQ(list->GetItemAt(0)->GetTag(), 0xFFFFu);
}

TEST_F(MainWindowTest, LanguageMenuTicksTheCurrentLanguageAndSwitchesAtOnce)
{
    Driver ui(*window);
    EXPECT_EQ(textOf("MainTabOptCamera"), "Camera");
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    CMenuWnd* menu = Driver::openMenu();
    ASSERT_NE(menu, nullptr);
    CMenuElementUI* languages = menu->GetMenuUI()->GetItemAt(0);
    ASSERT_NE(languages, nullptr);
    EXPECT_EQ(languages->GetName(), "Menu_Language_List");
    EXPECT_EQ(languages->GetText(), "Language");
    ASSERT_EQ(languages->GetCount(), 6);
    const char* captions[] = {"简体中文", "English", "Bahasa Indonesia", "日本語", "한국어", "РУССКИЙ"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(languages->GetItemAt(i)->GetText(), captions[i]);
        EXPECT_EQ(languages->GetItemAt(i)->GetChecked(), i == 1) << i;
    }
    EXPECT_NE(menu->FindMenuItem("Main_Menu_Item_Settings"), nullptr);
    EXPECT_NE(menu->FindMenuItem("Main_Menu_Item_About"), nullptr);
    EXPECT_NE(menu->FindMenuItem("Main_Menu_Item_Update"), nullptr);

    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Ruissan"));
    Driver::processEvents();
    EXPECT_EQ(Config().Language, 5);
    EXPECT_EQ(CResourceManager::GetInstance()->GetLanguage(), "ru_RU");
    EXPECT_EQ(textOf("MainTabOptCamera"), "Камера");
    EXPECT_EQ(textOf("drawerHeadExposure"), "Экспозиция");
    EXPECT_EQ(find("ToolbarBtnCapture")->GetToolTip(), "Снимок (Enter)");
    auto* list = dynamic_cast<CListUI*>(find("CameraList"));
    EXPECT_EQ(list->GetItemAt(0)->FindSubControl("camera_name")->GetText(), "{a}Сетевые камеры{/a}");

    // The next menu ticks Russian only, in the language now shown.
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    menu = Driver::openMenu();
    ASSERT_NE(menu, nullptr);
    languages = menu->GetMenuUI()->GetItemAt(0);
    EXPECT_EQ(languages->GetText(), "Язык");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(languages->GetItemAt(i)->GetChecked(), i == 5) << i;
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Japanese"));
    Driver::processEvents();
    EXPECT_EQ(textOf("MainTabOptMeasure"), "計測");
    EXPECT_EQ(Config().Language, 4);

    // The choice is written at exit and read back at the next start.
    EXPECT_TRUE(Config().Save());
    shell::RegistryKey key;
    ASSERT_TRUE(key.create(home.keyFolder()));
    std::uint32_t stored = 0;
    ASSERT_TRUE(key.queryDword("Language", stored));
    EXPECT_EQ(stored, 4u);
}

TEST_F(MainWindowTest, ApplyLanguageIgnoresIdsOutsideTheTable)
{
    shell::ApplyLanguage(2);
    EXPECT_EQ(textOf("SIB_TAB_CAMERA" /* not a control */), "<missing>");
    EXPECT_EQ(textOf("MainTabOptCamera"), "카메라");
    shell::ApplyLanguage(6);
    shell::ApplyLanguage(-1);
    EXPECT_EQ(Config().Language, 2);
    EXPECT_EQ(textOf("MainTabOptCamera"), "카메라");
    EXPECT_EQ(CResourceManager::GetInstance()->GetLanguage(), "ko_KR");
}

TEST_F(MainWindowTest, UpdateMenuShowsTheTranslatedUnsupportedMessage)
{
    shell::ApplyLanguage(1);
    Driver ui(*window);
    std::string shown;
    Driver::answerNextModal({Driver::ModalAnswer::Kind::Click, "okbtn", 0, [&](CWindowWnd&, CPaintManagerUI& pm) {
                                 shown = pm.FindControl("Tex_Message")->GetText();
                             }});
    ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
    Driver::processEvents();
    ASSERT_TRUE(Driver::pickMenuItem("Main_Menu_Item_Update"));
    EXPECT_TRUE(Driver::processEventsUntil([] { return Driver::pendingAnswers() == 0; }));
    EXPECT_EQ(shown, "此版本的软件不支持自动更新。");
}

TEST_F(MainWindowTest, TabsOutputBarAndDrawers)
{
    Driver ui(*window);
    auto* tabs = dynamic_cast<CTabLayoutUI*>(find("MainTabList"));
    find("MainTabOptMeasure")->SetEnabled(true);
    ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    ASSERT_TRUE(ui.click("MainTabOptCamera"));
    EXPECT_EQ(tabs->GetCurSel(), 0);

    EXPECT_TRUE(ui.isShown("OutputBar"));
    ASSERT_TRUE(ui.click("StatusbarBtnOutput"));
    EXPECT_FALSE(find("OutputBar")->IsVisible());
    ASSERT_TRUE(ui.click("StatusbarBtnOutput"));
    EXPECT_TRUE(find("OutputBar")->IsVisible());

    find("camera_adjust_drawers")->SetEnabled(true);
    ASSERT_TRUE(ui.click("drawerHeadColor"));
    EXPECT_EQ(window->OpenDrawer(), "drawerColor");
    EXPECT_TRUE(find("drawerColor")->IsVisible());
    ASSERT_TRUE(ui.click("drawerHeadExposure"));
    EXPECT_EQ(window->OpenDrawer(), "drawerExposure");
    EXPECT_FALSE(find("drawerColor")->IsVisible());
    ASSERT_TRUE(ui.click("drawerHeadExposure"));
    EXPECT_EQ(window->OpenDrawer(), "");
    EXPECT_FALSE(find("drawerExposure")->IsVisible());
    window->OpenDrawerBody("drawerPreviewResolution", true);
    window->OpenDrawerBody("drawerPreviewResolution", true);
    EXPECT_EQ(window->OpenDrawer(), "drawerPreviewResolution");

    // The interface size buttons scale the icons with everything else, and
    // at 200 % on a screen too low for the side bar every drawer still opens
    // whole: the drawers scroll instead of squeezing over each other.
    // The width of what is drawn on the button (its icon).
    auto iconWidth = [&](const char* name) {
        const QImage image = find(name)->GetWidget()->grab().toImage();
        const QRgb background = image.pixel(0, 0);
        int left = image.width(), right = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left + 1;
    };
    const char* icons[] = {"ToolbarBtnFiles", "Btn_Title_Main_Menu", "StatusbarBtnFullscreen"};
    int before[3];
    for (int i = 0; i < 3; ++i)
        before[i] = iconWidth(icons[i]);
    ASSERT_TRUE(ui.click("BtnDPI200"));
    Driver::processEvents();
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(before[i], 4) << icons[i];
        EXPECT_NEAR(iconWidth(icons[i]), 2 * before[i], 3) << icons[i];
    }

    window->ResizeClient(1600, 1000);
    Driver::processEvents();
    RECT frame;
    ASSERT_TRUE(window->GetWindowRect(frame));
    ASSERT_LE(frame.height(), 1000) << "the window keeps a height the side bar cannot fill at 200 %";
    find("camera_adjust_drawers")->SetEnabled(true);
    const char* drawers[][2] = {{"drawerPreviewResolution", "drawerHeadExposure"},
                                {"drawerExposure", "drawerHeadWB"},
                                {"drawerWB", "drawerHeadColor"},
                                {"drawerColor", "drawerHeadColorMode"},
                                {"drawerColorMode", "drawerHeadFlip"},
                                {"drawerFlip", "drawerHeadPower"}};
    for (const auto& [body, nextHead] : drawers) {
        window->OpenDrawerBody(body, true);
        Driver::processEvents();
        const RECT open = find(body)->GetPos(), next = find(nextHead)->GetPos();
        EXPECT_GE(open.height(), 2 * find(body)->GetFixedHeight() - 1) << body;
        EXPECT_LE(open.bottom, next.top) << nextHead << " lies over " << body;
    }
}

TEST_F(MainWindowTest, FullScreenByKeyButtonAndViewMessage)
{
    Driver ui(*window);
    ASSERT_TRUE(ui.pressKey(VK_ESCAPE));
    EXPECT_FALSE(window->IsFullscreen()) << "Escape outside full screen does nothing";
    ASSERT_TRUE(ui.pressKey(VK_F11));
    EXPECT_TRUE(window->IsFullscreen());
    EXPECT_FALSE(find("SideBar")->IsVisible());
    EXPECT_FALSE(find("OutputBar")->IsVisible());
    EXPECT_EQ(window->PaintManager().Frame().caption.bottom, 0);
    ASSERT_TRUE(ui.pressKey(VK_ESCAPE));
    EXPECT_FALSE(window->IsFullscreen());
    EXPECT_TRUE(find("SideBar")->IsVisible());
    EXPECT_EQ(window->PaintManager().Frame().caption.bottom, 26);
    ASSERT_TRUE(ui.click("StatusbarBtnFullscreen"));
    EXPECT_TRUE(window->IsFullscreen());
    window->SendMessage(WM_RENDER_TOGGLE_FULLSCREEN);
    EXPECT_FALSE(window->IsFullscreen());
}

TEST_F(MainWindowTest, ClosingAsksUnlessExitPromptIsSet)
{
    Driver ui(*window);
    std::string question;
    Driver::answerNextModal({Driver::ModalAnswer::Kind::Click, "cancelbtn", 0, [&](CWindowWnd&, CPaintManagerUI& pm) {
                                 question = pm.FindControl("Tex_Message")->GetText();
                             }});
    ASSERT_TRUE(ui.click("closebtn"));
    Driver::processEventsUntil([] { return Driver::pendingAnswers() == 0; });
    Driver::processEvents();
    EXPECT_EQ(question, "Are you sure you want to exit this application ?");
    EXPECT_TRUE(window->IsWindow()) << "Cancel keeps the window open";

    Config().ExitPrompt = 1;
    const int modals = Driver::modalCount();
    ASSERT_TRUE(ui.click("closebtn"));
    Driver::processEventsUntil([&] { return !window->IsWindow(); });
    EXPECT_FALSE(window->IsWindow());
    EXPECT_EQ(Driver::modalCount(), modals) << "no question with ExitPrompt set";
}

} // namespace
