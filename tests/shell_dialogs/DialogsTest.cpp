// The about, settings and network camera dialogs on the program's own skin,
// answered as a user answers them; the network camera dialog's scan list
// against the box simulator on loopback.
#include "BoxSimulatorProcess.h"
#include "ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/Language.h"
#include "app/shell/Startup.h"
#include "app/shell/dialogs/Dialogs.h"
#include "app/shell/dialogs/SettingDialog.h"
#include "app/shell/dialogs/WirelessCameraDialog.h"
#include "ui/Container.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using shell::Config;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

std::string textOf(CPaintManagerUI& pm, const char* name)
{
    CControlUI* control = pm.FindControl(name);
    return control ? control->GetText() : "<missing " + std::string(name) + ">";
}

CEditUI* editOf(CPaintManagerUI& pm, const char* name) { return dynamic_cast<CEditUI*>(pm.FindControl(name)); }

bool selected(CPaintManagerUI& pm, const char* option)
{
    auto* control = dynamic_cast<COptionUI*>(pm.FindControl(option));
    return control && control->IsSelected();
}

int pageOf(CPaintManagerUI& pm, const char* tab)
{
    auto* control = dynamic_cast<CTabLayoutUI*>(pm.FindControl(tab));
    return control ? control->GetCurSel() : -1;
}

// The window has the layout's size (at the window's scale).
void expectLayoutSize(CWindowWnd& window, CPaintManagerUI& pm, int width, int height)
{
    RECT rc;
    ASSERT_TRUE(window.GetWindowRect(rc));
    EXPECT_EQ(rc.width(), pm.Scale(width));
    EXPECT_EQ(rc.height(), pm.Scale(height));
}

// A click on a check box's square (a wide box reacts only near its text).
bool tick(Driver& ui, CPaintManagerUI& pm, const char* name)
{
    CControlUI* box = pm.FindControl(name);
    if (!box)
        return false;
    const RECT r = box->GetPos();
    const POINT square{r.left + 8, (r.top + r.bottom) / 2};
    return ui.mousePress(square) && ui.mouseRelease(square);
}

bool retype(Driver& ui, const char* edit, const std::string& text)
{
    return ui.clearText(edit) && ui.typeText(edit, text);
}

std::string text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

class DialogsTest : public testing::Test {
protected:
    void SetUp() override
    {
        // The scan follows the dialog's addresses, not the environment's.
        ::unsetenv("PELLUMO_BOX_SCAN_HOSTS");
        ASSERT_TRUE(shell::RegisterSkin());
        Config().SetDefaults();
        ASSERT_TRUE(Config().Load());
        shell::ApplyLanguage(0);
    }
    void TearDown() override
    {
        EXPECT_EQ(Driver::pendingAnswers(), 0) << "a dialog the test expected did not open";
        Driver::clearAnswers();
        Driver::processEvents();
        CResourceManager::GetInstance()->Release();
    }

    shelltest::TempHome home;
    shelltest::LocaleEnv locale{"en_US.UTF-8"};
};

TEST_F(DialogsTest, SettingsAreWrittenOnOkAndShownAgainOnTheNextOpening)
{
    Config().ExitPrompt = 0;
    Config().MaximizeWindow = 1;
    Config().FileSave_Rule = 0;
    Config().ImagePath_MyDoc = 1;
    Config().ImagePath = home.root + "/pictures";
    Config().ConshotCount = 100;
    Config().ConshotInterval = 3;

    Driver::ModalAnswer ok = Driver::ClickControl("okbtn");
    ok.inspect = [&](CWindowWnd& window, CPaintManagerUI& pm) {
        Driver ui(pm);
        expectLayoutSize(window, pm, 632, 484);
        // The extra shadow follows the shown dialog where windows can be
        // translucent; without a compositor there is none.
        const unsigned shadow = dynamic_cast<shell::CSettingDialog&>(window).Shadow().Status();
        EXPECT_EQ(shadow, CWndShadow::Initialize() ? 7u : 0u);
        EXPECT_EQ(textOf(pm, "caption"), "Setting");
        EXPECT_EQ(textOf(pm, "setting_LabVersion"), "Pellumo 1.4.7.645");
        EXPECT_EQ(textOf(pm, "setting_LabVerDate"), "Mar 28 2018");
        // Opened from the snap menu: the continuous shooting page.
        EXPECT_EQ(pageOf(pm, "setting_Tab"), 3);
        ASSERT_NE(editOf(pm, "setting_EdtPicCount"), nullptr);
        ASSERT_NE(editOf(pm, "setting_EdtIntervalTime"), nullptr);
        EXPECT_EQ(textOf(pm, "setting_EdtPicCount"), "100");
        EXPECT_EQ(textOf(pm, "setting_EdtIntervalTime"), "3");
        EXPECT_TRUE(retype(ui, "setting_EdtPicCount", "abc"));
        EXPECT_TRUE(retype(ui, "setting_EdtIntervalTime", "12345"));
        EXPECT_EQ(textOf(pm, "setting_EdtIntervalTime"), "1234") << "the box takes at most 4 characters";

        EXPECT_TRUE(ui.click("setting_OptConv"));
        EXPECT_EQ(pageOf(pm, "setting_Tab"), 0);
        EXPECT_FALSE(selected(pm, "setting_ChkExitPrompt"));
        EXPECT_TRUE(selected(pm, "setting_ChkMaximizeWindow"));
        EXPECT_TRUE(tick(ui, pm, "setting_ChkExitPrompt"));
        EXPECT_TRUE(tick(ui, pm, "setting_ChkMaximizeWindow"));

        EXPECT_TRUE(ui.click("setting_OptFile"));
        EXPECT_EQ(pageOf(pm, "setting_Tab"), 1);
        EXPECT_TRUE(ui.isShown("setting_layFileRulePreDeine"));
        EXPECT_FALSE(ui.isShown("setting_layImagePath")) << "the documents folder is chosen";
        EXPECT_TRUE(ui.click("setting_OptFileCust"));
        EXPECT_TRUE(ui.isShown("setting_layImagePath"));
        EXPECT_EQ(textOf(pm, "setting_EdtCustImagePath"), home.root + "/pictures");
        EXPECT_TRUE(editOf(pm, "setting_EdtCustImagePath")->IsReadOnly());
        EXPECT_TRUE(ui.click("set_OptFileRuleFiledialog"));
        EXPECT_FALSE(ui.isShown("setting_layFileRulePreDeine"));
    };
    Driver::answerNextModal(ok);
    EXPECT_TRUE(shell::ShowSettings(nullptr, "setting_OptSnap"));

    EXPECT_EQ(Config().ExitPrompt, 1);
    EXPECT_EQ(Config().MaximizeWindow, 0);
    EXPECT_EQ(Config().FileSave_Rule, 1);
    EXPECT_EQ(Config().ImagePath_MyDoc, 0);
    EXPECT_EQ(Config().ConshotCount, 0) << "text that is not a number counts as 0";
    EXPECT_EQ(Config().ConshotInterval, 1234);

    // The next opening shows what was stored, on the first page.
    Driver::ModalAnswer look = Driver::PressKey(VK_ESCAPE);
    look.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        Driver ui(pm);
        EXPECT_EQ(pageOf(pm, "setting_Tab"), 0);
        EXPECT_TRUE(selected(pm, "setting_ChkExitPrompt"));
        EXPECT_FALSE(selected(pm, "setting_ChkMaximizeWindow"));
        EXPECT_TRUE(ui.click("setting_OptFile"));
        EXPECT_TRUE(selected(pm, "set_OptFileRuleFiledialog"));
        EXPECT_FALSE(ui.isShown("setting_layFileRulePreDeine"));
        EXPECT_TRUE(selected(pm, "setting_OptFileCust"));
        EXPECT_EQ(textOf(pm, "setting_EdtPicCount"), "0");
        EXPECT_EQ(textOf(pm, "setting_EdtIntervalTime"), "1234");
    };
    Driver::answerNextModal(look);
    EXPECT_FALSE(shell::ShowSettings(nullptr));
}

TEST_F(DialogsTest, EscapeDiscardsTheSettingsButKeepsAFolderChosenWithTheBrowser)
{
    Config().ExitPrompt = 0;
    Config().ImagePath_MyDoc = 1;
    Config().ImagePath = "/nowhere/old";
    Config().ConshotCount = 100;
    const std::string chosen = home.root + "/chosen";
    std::filesystem::create_directories(chosen);

    Driver::ModalAnswer escape = Driver::PressKey(VK_ESCAPE);
    escape.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        Driver ui(pm);
        EXPECT_TRUE(tick(ui, pm, "setting_ChkExitPrompt"));
        EXPECT_TRUE(selected(pm, "setting_ChkExitPrompt"));
        EXPECT_TRUE(ui.click("setting_OptSnap"));
        EXPECT_TRUE(retype(ui, "setting_EdtPicCount", "55"));
        EXPECT_TRUE(ui.click("setting_OptFile"));
        EXPECT_TRUE(ui.click("setting_OptFileCust"));
        Driver::answerNextModal(Driver::ChooseFile(chosen));
        EXPECT_TRUE(ui.click("setting_BtnBrowseImagePath"));
        EXPECT_EQ(textOf(pm, "setting_EdtCustImagePath"), chosen);
        // The version page's update button explains that there is none.
        Driver::ModalAnswer seen = Driver::ClickControl("okbtn");
        seen.inspect = [](CWindowWnd&, CPaintManagerUI& box) {
            EXPECT_EQ(textOf(box, "Tex_Message"), text("STR_UNSUPPORT_UPDATE"));
        };
        Driver::answerNextModal(seen);
        EXPECT_TRUE(ui.click("setting_OptUpdate"));
        EXPECT_TRUE(ui.click("setting_BtnCheckUpdate"));
    };
    Driver::answerNextModal(escape);
    EXPECT_FALSE(shell::ShowSettings(nullptr));

    EXPECT_EQ(Config().ExitPrompt, 0);
    EXPECT_EQ(Config().ConshotCount, 100);
    EXPECT_EQ(Config().ImagePath_MyDoc, 1);
    EXPECT_EQ(Config().ImagePath, chosen) << "a browsed folder is stored at once";
}

TEST_F(DialogsTest, AboutBoxNamesTheVersionDateAndNotice)
{
    Driver::ModalAnswer close = Driver::ClickControl("closebtn");
    close.inspect = [](CWindowWnd& window, CPaintManagerUI& pm) {
        expectLayoutSize(window, pm, 355, 200);
        EXPECT_EQ(textOf(pm, "caption"), "About");
        EXPECT_EQ(textOf(pm, "textName"), "Pellumo 1.4.7.645");
        EXPECT_EQ(textOf(pm, "textDate"), "Mar 28 2018");
        EXPECT_NE(textOf(pm, "textCopyright").find("Pellumo"), std::string::npos);
        EXPECT_NE(pm.FindControl("TextLayout")->GetBkImage().find("msgboxbg_information.png"), std::string::npos);
    };
    const int before = Driver::modalCount();
    Driver::answerNextModal(close);
    shell::ShowAbout(nullptr);
    EXPECT_EQ(Driver::modalCount() - before, 1);
}

TEST_F(DialogsTest, NetworkCameraDialogChoosesByPageAndAlwaysStoresTheUrl)
{
    Config().rtspURL = "rtsp://127.0.0.1:8554/live0";
    const std::string typed = "rtsp://127.0.0.1:9/typed";

    // Cancelled, yet the URL typed so far is kept.
    Driver::ModalAnswer escape = Driver::PressKey(VK_ESCAPE);
    escape.inspect = [&](CWindowWnd& window, CPaintManagerUI& pm) {
        Driver ui(pm);
        expectLayoutSize(window, pm, 490, 300);
        EXPECT_EQ(textOf(pm, "caption"), "Connect to network camera");
        ASSERT_NE(editOf(pm, "edt_rtsp_url"), nullptr);
        ASSERT_NE(editOf(pm, "edt_wmpbox_ipaddress"), nullptr);
        EXPECT_EQ(editOf(pm, "edt_rtsp_url")->GetMaxChar(), 2083);
        EXPECT_EQ(editOf(pm, "edt_wmpbox_ipaddress")->GetMaxChar(), 64);
        EXPECT_EQ(pageOf(pm, "tablayout"), 0);
        EXPECT_TRUE(ui.click("networkcamera_OptTypeRTSP"));
        EXPECT_EQ(pageOf(pm, "tablayout"), 1);
        EXPECT_EQ(textOf(pm, "edt_rtsp_url"), "rtsp://127.0.0.1:8554/live0");
        EXPECT_TRUE(retype(ui, "edt_rtsp_url", typed));
    };
    Driver::answerNextModal(escape);
    EXPECT_FALSE(shell::ShowNetworkCameraDialog(nullptr).chosen);
    EXPECT_EQ(Config().rtspURL, typed);

    // OK on the RTSP page: the URL with protocol 8.
    Driver::ModalAnswer rtsp = Driver::ClickControl("okbtn");
    rtsp.inspect = [](CWindowWnd&, CPaintManagerUI& pm) { EXPECT_TRUE(Driver(pm).click("networkcamera_OptTypeRTSP")); };
    Driver::answerNextModal(rtsp);
    shell::NetworkCameraChoice choice = shell::ShowNetworkCameraDialog(nullptr);
    EXPECT_TRUE(choice.chosen);
    EXPECT_EQ(choice.protocol, 8);
    EXPECT_EQ(choice.address, typed);

    // OK on the box page without an address counts as cancelled; with one
    // it is protocol 7.
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    EXPECT_FALSE(shell::ShowNetworkCameraDialog(nullptr).chosen);
    Driver::ModalAnswer box = Driver::PressKey(VK_RETURN);
    box.inspect = [](CWindowWnd&, CPaintManagerUI& pm) {
        EXPECT_TRUE(Driver(pm).typeText("edt_wmpbox_ipaddress", "127.0.0.1:5000"));
    };
    Driver::answerNextModal(box);
    choice = shell::ShowNetworkCameraDialog(nullptr);
    EXPECT_TRUE(choice.chosen);
    EXPECT_EQ(choice.protocol, 7);
    EXPECT_EQ(choice.address, "127.0.0.1:5000");
}

TEST_F(DialogsTest, ScanListFollowsARunningBoxAtTheAddressesTheUserEntered)
{
    auto simulator =
        std::make_unique<BoxSimulatorProcess>(std::vector<std::string>{"--name", "Bench 7", "--value", "42"});
    ASSERT_TRUE(simulator->ready());
    const std::string discovery = simulator->discovery();
    const std::string session = simulator->session();

    Driver::ModalAnswer ok = Driver::ClickControl("okbtn");
    ok.inspect = [&](CWindowWnd& window, CPaintManagerUI& pm) {
        auto& dialog = dynamic_cast<shell::CWirelessCameraDialog&>(window);
        Driver ui(pm);
        auto* list = ui.findAs<CListUI>("list_scan_devices");
        ASSERT_NE(list, nullptr);
        // Loopback's standard port has no box: nothing listed.
        EXPECT_TRUE(ui.typeText("edt_box_scan_hosts", discovery));
        EXPECT_TRUE(ui.click("btn_box_scan"));
        EXPECT_EQ(Config().BoxScanHosts, discovery);
        const int start = dialog.ScanRefreshCount();
        Driver::processEventsUntil([&] { return list->GetCount() > 0 || dialog.ScanRefreshCount() >= start + 2; },
                                   15000);
        ASSERT_EQ(list->GetCount(), 1) << "the box is listed by the second refresh";
        EXPECT_EQ(ui.listCellText("list_scan_devices", 0, 0), "42");
        EXPECT_EQ(ui.listCellText("list_scan_devices", 0, 1), "Bench 7");
        EXPECT_EQ(ui.listCellText("list_scan_devices", 0, 2), session);
        EXPECT_TRUE(ui.selectListRow("list_scan_devices", 0));
        EXPECT_EQ(textOf(pm, "edt_wmpbox_ipaddress"), session);

        // The box goes away: the list empties.
        simulator.reset();
        Driver::processEventsUntil([&] { return list->GetCount() == 0; }, 20000);
        EXPECT_EQ(list->GetCount(), 0);

        // Addresses that are not IPv4 are refused with a hint; the stored ones stay.
        Driver::ModalAnswer hint = Driver::ClickControl("okbtn");
        hint.inspect = [](CWindowWnd&, CPaintManagerUI& box) {
            EXPECT_EQ(textOf(box, "Tex_Message"), text("STR_BAD_SCAN_HOSTS"));
        };
        Driver::answerNextModal(hint);
        EXPECT_TRUE(retype(ui, "edt_box_scan_hosts", "camera.local"));
        EXPECT_TRUE(ui.click("btn_box_scan"));
        EXPECT_EQ(Config().BoxScanHosts, discovery);
    };
    Driver::answerNextModal(ok);
    const shell::NetworkCameraChoice choice = shell::ShowNetworkCameraDialog(nullptr);
    EXPECT_TRUE(choice.chosen);
    EXPECT_EQ(choice.protocol, 7);
    EXPECT_EQ(choice.address, session);
}

} // namespace
