// Draws the test window with every control kind, the message box with each
// picture, the error box and a menu, and saves them as PNG files in the
// folder given as argument. Run under a display (Xvfb) and look at them:
//   xvfb-run -a build/bin/ui_screenshots /tmp/shots
#include "UiTestSupport.h"

#include "ui/DialogBuilder.h"
#include "ui/MessageDialog.h"

#include <cstdio>

namespace {

class Cells : public IListCallbackUI {
public:
    LPCTSTR GetItemText(CControlUI*, int row, int column) override
    {
        static const char* names[] = {"Line", "Circle", "Angle"};
        if (column == 0)
            text = std::to_string(row);
        else if (column == 1)
            text = names[row % 3];
        else
            text = std::to_string(12.5 * (row + 1)) + " px";
        return text.c_str();
    }
    std::string text;
};

bool shootBox(CWindowWnd& owner, const std::string& path, const std::string& text, const std::string& title,
              int buttons, int icon)
{
    CMessageDialog box;
    if (!box.Create(owner))
        return false;
    box.Setup(text, title, buttons, icon);
    box.CenterWindow();
    box.ShowWindow(true);
    const bool saved = Driver::saveScreenshot(box, path);
    box.DestroyWindow();
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
    const ui::EmbeddedResource skin = pellumo_test_skin();
    CPaintManagerUI::SetResourceZip(skin.data, skin.size);
    CResourceManager::GetInstance()->LoadLanguage("xmls\\lang\\strings_en_US.xml");

    TestWindow window;
    window.Create(nullptr, "Controls", UI_WNDSTYLE_FRAME, 0);
    Driver::processEvents();
    Driver ui(window);
    Cells cells;
    auto* list = window.find<CListUI>("list_text");
    list->SetTextCallback(&cells);
    for (int i = 0; i < 4; ++i)
        list->Add(new CListTextElementUI);
    list->SelectItem(1);
    auto* rows = window.find<CListUI>("list_rows");
    CDialogBuilder builder;
    for (int i = 0; i < 3; ++i) {
        CControlUI* row = builder.Create("xmls\\listrow_test.xml", nullptr, &window.pm());
        rows->Add(row);
        row->FindSubControl("row_name")->SetText("{a}USB camera " + std::to_string(i) + "{/a}");
    }
    window.find<CComboUI>("combo")->SelectItem(1);
    ui.click("opt_toggle");
    ui.click("chk_box");
    ui.click("tab_b");
    window.find<CTabLayoutUI>("tabs")->SelectItem(1);
    ui.typeText("edit_name", "Pellumo");
    ui.moveSlider("slider", {70});
    int failures = 0;
    failures += !Driver::saveScreenshot(window, out + "/window_controls.png");

    CMenuWnd menu;
    POINT at{40, 60};
    window.ClientToScreen(at);
    menu.Init(nullptr, "xmls\\menus\\menu_test.xml", at, &window.pm());
    failures += !Driver::saveMenuScreenshot(out + "/menu.png");
    menu.Close();

    const std::pair<int, const char*> icons[] = {{MB_ICONERROR, "error"},
                                                 {MB_ICONQUESTION, "question"},
                                                 {MB_ICONWARNING, "warning"},
                                                 {MB_ICONINFORMATION, "information"}};
    for (const auto& [icon, name] : icons)
        failures += !shootBox(window, out + "/messagebox_" + name + ".png",
                              "Are you sure you want to remove all tools ?", "Delete", icon == MB_ICONQUESTION, icon);
    failures += !shootBox(window, out + "/errorbox.png", ErrorCodeMessage(-7), "Error", 0, MB_ICONWARNING);

    CResourceManager::GetInstance()->LoadLanguage("xmls\\lang\\strings_ru_RU.xml");
    CResourceManager::GetInstance()->ReloadText();
    failures += !Driver::saveScreenshot(window, out + "/window_controls_ru.png");
    list->SetTextCallback(nullptr);
    window.DestroyWindow();
    Driver::processEvents();
    std::printf("screenshots in %s (%d failed)\n", out.c_str(), failures);
    return failures == 0 ? 0 : 1;
}
