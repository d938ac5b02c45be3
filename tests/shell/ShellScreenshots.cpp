// Draws the main window in each of the six languages, the main menu with its
// language sub-menu, the snap and two-circles menus and every dialog layout
// into PNG files of the folder given as argument. Run under Xvfb and look:
//   xvfb-run -a -s "-screen 0 1400x900x24" build/bin/shell_screenshots /tmp/shots
#include "app/shell/AppConfig.h"
#include "app/shell/Language.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "ui/Application.h"
#include "ui/BaseDialog.h"
#include "ui/Controls.h"
#include "ui/MessageDialog.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <cstdio>
#include <string>

using ui::testing::Driver;

namespace {

bool shootDialog(CWindowWnd& owner, const std::string& layout, const std::string& captionId, const std::string& path,
                 int page = -1)
{
    CBaseDialog dialog(layout);
    if (!dialog.Create(owner))
        return false;
    if (CControlUI* caption = dialog.GetPaintManager().FindControl("caption"))
        caption->SetText(CResourceManager::GetInstance()->GetTextOrId(captionId));
    if (auto* tabs = dynamic_cast<CTabLayoutUI*>(dialog.GetPaintManager().FindControl("setting_Tab"));
        tabs && page >= 0)
        tabs->SelectItem(page);
    if (CControlUI* path = dialog.GetPaintManager().FindControl("setting_layImagePath"))
        path->SetVisible(true);
    dialog.CenterWindow();
    dialog.ShowWindow(true);
    Driver::processEvents();
    const bool saved = Driver::saveScreenshot(dialog, path);
    dialog.DestroyWindow();
    Driver::processEvents();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    ui::Application app(argc, argv);
    shell::RegisterSkin();
    shell::Config().MaximizeWindow = 0;
    shell::Config().ExitPrompt = 1;
    shell::CMainWnd window;
    window.Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0);
    Driver::processEvents();
    int failures = 0;
    for (const shell::LanguageEntry& language : shell::kLanguages) {
        shell::ApplyLanguage(language.id);
        window.ApplyToolTips();
        window.OpenDrawerBody("drawerColor", true);
        Driver::processEvents();
        failures += !Driver::saveScreenshot(window, out + "/main_" + language.locale + ".png");
        if (auto* tabs = dynamic_cast<CTabLayoutUI*>(window.PaintManager().FindControl("MainTabList"))) {
            tabs->SelectItem(1);
            Driver::processEvents();
            failures += !Driver::saveScreenshot(window, out + "/measure_" + language.locale + ".png");
            window.PaintManager().FindControl("PageMeasureNormal")->SetVisible(false);
            window.PaintManager().FindControl("PageMeasureCalibration")->SetVisible(true);
            Driver::processEvents();
            failures += !Driver::saveScreenshot(window, out + "/calibration_" + language.locale + ".png");
            window.PaintManager().FindControl("PageMeasureNormal")->SetVisible(true);
            window.PaintManager().FindControl("PageMeasureCalibration")->SetVisible(false);
            tabs->SelectItem(0);
        }
        for (const char* drawer : {"drawerPreviewResolution", "drawerExposure", "drawerWB"}) {
            window.OpenDrawerBody(drawer, true);
            Driver::processEvents();
            failures += !Driver::saveScreenshot(window, out + "/" + drawer + "_" + language.locale + ".png");
        }
        failures += !shootDialog(window, "xmls\\dialog_setting.xml", "STR_SETTING",
                                 out + "/setting_" + language.locale + ".png");
        failures += !shootDialog(window, "xmls\\dialog_setting.xml", "STR_SETTING",
                                 out + "/setting_files_" + language.locale + ".png", 1);
        failures += !shootDialog(window, "xmls\\dialog_wirelesscamera.xml", "STR_CONNECT_WLCAMERA",
                                 out + "/wireless_" + language.locale + ".png");
        failures += !shootDialog(window, "xmls\\dialog_measure_colorset.xml", "STR_COLOR_SETTING",
                                 out + "/colorset_" + language.locale + ".png");
        failures += !shootDialog(window, "xmls\\dialog_about.xml", "DLG_ABOUT_ABOUT",
                                 out + "/about_" + language.locale + ".png");
        CMessageDialog box;
        if (box.Create(window)) {
            CResourceManager& t = *CResourceManager::GetInstance();
            box.Setup(t.GetTextOrId("STR_SURE_TO_EXIT"), t.GetTextOrId("STR_EXIT_APP"), 1, MB_ICONQUESTION);
            box.CenterWindow();
            box.ShowWindow(true);
            failures += !Driver::saveScreenshot(box, out + "/exitbox_" + language.locale + ".png");
            box.DestroyWindow();
            Driver::processEvents();
        }
    }
    // Menus, in the language chosen last.
    Driver ui(window);
    ui.click("Btn_Title_Main_Menu");
    Driver::processEvents();
    failures += !Driver::saveMenuScreenshot(out + "/menu_main.png");
    if (CMenuWnd* menu = Driver::openMenu()) {
        menu->Close();
        Driver::processEvents();
    }
    CMenuWnd snap;
    POINT pt{200, 200};
    snap.Init(nullptr, "xmls\\menus\\menu_snap.xml", pt, &window.PaintManager());
    Driver::processEvents();
    failures += !Driver::saveMenuScreenshot(out + "/menu_snap.png");
    snap.Close();
    CMenuWnd circles;
    circles.Init(nullptr, "xmls\\menus\\menu_measure_twocircles.xml", pt, &window.PaintManager());
    Driver::processEvents();
    failures += !Driver::saveMenuScreenshot(out + "/menu_twocircles.png");
    circles.Close();
    window.DestroyWindow();
    Driver::processEvents();
    std::printf("%d pictures failed\n", failures);
    return failures == 0 ? 0 : 1;
}
