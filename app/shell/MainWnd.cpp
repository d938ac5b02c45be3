#include "app/shell/MainWnd.h"

#include "app/common/AppMessages.h"
#include "app/shell/AppConfig.h"
#include "app/shell/Language.h"
#include "app/shell/PictureSource.h"
#include "app/shell/Startup.h"
#include "app/shell/capture/CaptureCommands.h"
#include "app/shell/capture/DesktopIdleInhibitor.h"
#include "app/shell/capture/TimeLapseCommands.h"
#include "app/shell/dialogs/Dialogs.h"
#include "app/shell/focus/FocusCommands.h"
#include "app/shell/measure_page/MeasurePage.h"
#include "app/shell/panel/AdjustPanel.h"
#include "app/shell/panorama/PanoramaCommands.h"
#include "app/shell/picture/PictureCommands.h"
#include "app/shell/session/CameraListPanel.h"
#include "app/shell/session/CameraSession.h"
#include "app/shell/shading/ShadingCommands.h"
#include "app/view/ImageRenderUI.h"
#include "app/view/RenderCapability.h"
#include "camera/CMCameraBase.h"
#include "platform/DebugOutput.h"
#include "platform/Tick.h"
#include "ui/Container.h"
#include "ui/Controls.h"
#include "ui/DPI.h"
#include "ui/DialogBuilder.h"
#include "ui/List.h"
#include "ui/MessageDialog.h"
#include "ui/ModalWindows.h"
#include "ui/ResourceManager.h"

#include <algorithm>
#include <cstdlib>
#include <strings.h>

namespace shell {
namespace {

struct ToolTip {
    const char* control;
    const char* textId;
};

// Controls that show only an icon explain themselves in a tool tip.
constexpr ToolTip kToolTips[] = {
    {"Btn_Title_Main_Menu", "TB_TIP_MAINMENU"},
    {"minbtn", "TB_TIP_MINIMIZE"},
    {"maxbtn", "TB_TIP_MAXIMIZE"},
    {"restorebtn", "TB_TIP_RESTORE"},
    {"closebtn", "TB_TIP_CLOSE"},
    {"ToolbarBtnCapture", "TB_CAPTURE"},
    {"ToolbarBtnCaptureSet", "TB_CAPTURE_SET"},
    {"ToolbarBtnRecord", "TB_RECORD"},
    {"ToolbarBtnFiles", "TB_FILES"},
    {"ToolbarBtnOpen", "TB_OPEN"},
    {"ToolbarBtnFreeze", "TB_FREEZE"},
    {"ToolbarBtnFocus", "TB_FOCUS"},
    {"ToolbarBtnStack", "TB_STACK"},
    {"ToolbarBtnPanorama", "TB_PANORAMA"},
    {"ToolbarBtnShading", "TB_SHADING"},
    {"MeasureBtnNone", "SIB_TOOL_NONE"},
    {"MeasureBtnMove", "SIB_TOOL_MOVE"},
    {"MeasureBtnDelete", "SIB_TOOL_DELETE"},
    {"MeasureBtnPoint", "SIB_TOOL_POINT"},
    {"MeasureBtnLine", "SIB_TOOL_LINE"},
    {"MeasureBtnLineDistance", "SIB_TOOL_LINE_DISTANCE"},
    {"MeasureBtnBrokenLine", "SIB_TOOL_BROKEN_LINE"},
    {"MeasureBtnRect", "SIB_TOOL_RECT"},
    {"MeasureBtnPolygon", "SIB_TOOL_POLYGON"},
    {"MeasureBtnCircle", "SIB_TOOL_CIRCLE"},
    {"MeasureBtnCircle2", "SIB_TOOL_CIRCLE2"},
    {"MeasureBtnCircle3", "SIB_TOOL_CIRCLE3"},
    {"MeasureBtnArc", "SIB_TOOL_ARC"},
    {"MeasureBtnAngle", "SIB_TOOL_ANGLE"},
    {"MeasureBtnText", "SIB_TOOL_TEXT"},
    {"MeasureBtnPerpendicular", "SIB_TOOL_PERPENDICULAR"},
    {"MeasureBtnCrosshair", "SIB_TOOL_CROSSHAIR"},
    {"MeasureBtnCrosshair2", "SIB_TOOL_CROSSHAIR2"},
    {"MeasureBtnParallel", "SIB_TOOL_PARALLEL"},
    {"MeasureBtnParallels", "SIB_TOOL_PARALLELS"},
    {"MeasureBtnConcentrical", "SIB_TOOL_CONCENTRIC"},
    {"MeasureBtnTwoCircles", "SIB_TOOL_TWO_CIRCLES"},
    {"MeasureBtnDeleteAll", "SIB_DELETE_ALL"},
    {"MeasureBtnColorPicker", "SIB_COLOR_PICKER"},
    {"MeasureBtnCSV", "SIB_EXPORT_CSV"},
    {"MeasureBtnScreenShot", "SIB_SCREENSHOT"},
    {"StatusbarBtnOutput", "SB_OUTPUT"},
    {"StatusbarBtnFullscreen", "SB_FULLSCREEN"},
    // They scale the whole window, not the picture.
    {"BtnDPI100", "TB_TIP_INTERFACE_SIZE"},
    {"BtnDPI125", "TB_TIP_INTERFACE_SIZE"},
    {"BtnDPI150", "TB_TIP_INTERFACE_SIZE"},
    {"BtnDPI175", "TB_TIP_INTERFACE_SIZE"},
    {"BtnDPI200", "TB_TIP_INTERFACE_SIZE"},
};

struct Drawer {
    const char* head;
    const char* body;
};

constexpr Drawer kDrawers[] = {
    {"drawerHeadPreviewResolution", "drawerPreviewResolution"},
    {"drawerHeadExposure", "drawerExposure"},
    {"drawerHeadWB", "drawerWB"},
    {"drawerHeadColor", "drawerColor"},
    {"drawerHeadColorMode", "drawerColorMode"},
    {"drawerHeadFlip", "drawerFlip"},
    {"drawerHeadPower", "drawerPower"},
    {"drawerHeadMisc", "drawerMisc"},
};

// F8 starts and stops the panorama; not while typing into a box.
constexpr WPARAM kPanoramaKey = 0x77;

// F7 starts and stops the focus stack; not while typing into a box.
constexpr WPARAM kFocusStackKey = 0x76;

// Controls that need an open camera.
constexpr const char* kCameraControls[] = {
    "camera_adjust_drawers", "AdjustBtnReset",       "ToolbarBtnFiles",   "AdjustBtnPropertyPage", "MainTabOptMeasure",
    "ToolbarBtnCapture",     "ToolbarBtnCaptureSet", "ToolbarBtnRecord",  "ToolbarBtnFreeze",      "ToolbarBtnFocus",
    "ToolbarBtnStack",       "ToolbarBtnPanorama",   "ToolbarBtnShading",
};

struct DpiButton {
    const char* name;
    int dpi;
};

constexpr DpiButton kDpiButtons[] = {
    {"BtnDPI100", 96}, {"BtnDPI125", 120}, {"BtnDPI150", 144}, {"BtnDPI175", 168}, {"BtnDPI200", 192},
};

} // namespace

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd()
{
    CResourceManager::GetInstance()->ForgetTextQueryInterface(this);
    m_parts.clear();
    m_pictures.reset();
    m_session.reset();
}

CControlUI* CMainWnd::CreateControl(LPCTSTR pstrClass)
{
    if (pstrClass && ::strcasecmp(pstrClass, "ImageRender") == 0)
        return new CImageRenderUI;
    return nullptr;
}

void CMainWnd::InitWindow()
{
    CResourceManager::GetInstance()->SetTextQueryInterface(this);
    if (Config().Language >= 0)
        ApplyLanguage(Config().Language);
    m_PaintManager.SetDPI(CDPI::GetMainMonitorDPI());
    CenterWindow();
    SetIcon("ui\\logo\\app_icon.png");
    if (CControlUI* caption = m_PaintManager.FindControl("caption"))
        caption->SetText(AppConfig::kProductName);
    m_mainTab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("MainTabList"));
    ApplyToolTips();

    m_session = std::make_unique<CameraSession>(GetHWND());
    m_services = std::make_unique<MainWindowServices>(MainWindowServices{
        *this, m_PaintManager, *m_session, nullptr, [this](const std::string& text) { SetStatusText(text); }});
    m_desktopIdle = std::make_unique<DesktopIdleInhibitor>();
    m_desktopIdle->setStateListener([this](DesktopIdleInhibitor::State state) {
        if (state == DesktopIdleInhibitor::State::Inhibited || state == DesktopIdleInhibitor::State::Unavailable)
            SetStatusText(CResourceManager::GetInstance()->GetTextOrId(
                state == DesktopIdleInhibitor::State::Inhibited ? "STR_IDLE_INHIBITED" : "STR_IDLE_UNAVAILABLE"));
    });
    m_services->desktopIdle = m_desktopIdle.get();
    auto cameraList = std::make_unique<CameraListPanel>(*m_services);
    if (m_openFirstCamera)
        cameraList->OpenFirstUsbCameraWhenListed();
    m_parts.push_back(std::move(cameraList));
    m_parts.push_back(std::make_unique<AdjustPanel>(*m_services));
    // Before the capture commands: Enter saves a still picture when one is shown.
    auto pictureCommands = std::make_unique<PictureCommands>(*m_services);
    m_pictureCommands = pictureCommands.get();
    m_parts.push_back(std::move(pictureCommands));
    // Before the capture commands: with the settings' time-lapse on, the
    // series' start and the capture button are its own.
    m_parts.push_back(std::make_unique<TimeLapseCommands>(*m_services));
    m_parts.push_back(std::make_unique<CaptureCommands>(*m_services));
    m_parts.push_back(std::make_unique<MeasurePage>(*m_services));
    m_parts.push_back(std::make_unique<ShadingCommands>(*m_services));
    m_parts.push_back(std::make_unique<PanoramaCommands>(*m_services));
    auto focusCommands = std::make_unique<FocusCommands>(*m_services);
    m_focusCommands = focusCommands.get();
    m_parts.push_back(std::move(focusCommands));
    for (auto& part : m_parts)
        part->Init();

    // The live picture; without it nothing is shown (-8), with a graphics
    // driver too weak for the largest frames it says so (-7).
    int renderCode = -8;
    if (auto* view = dynamic_cast<CImageRenderUI*>(m_PaintManager.FindControl("ImageRenderView"))) {
        m_session->SetView(view);
        m_services->view = view;
        m_pictures = std::make_unique<PictureSource>(m_PaintManager, *view, m_session->Pipeline());
        m_services->pictures = m_pictures.get();
        view->loadOverlayResources();
        view->setFirstPictureObserver([] {
            if (ProgramStartTick() != 0)
                platform::DebugPrintf("first frame drawn %u ms after start\n",
                                      static_cast<unsigned>(platform::GetTickCount() - ProgramStartTick()));
        });
        const char* display = std::getenv("DISPLAY");
        renderCode = display && *display ? checkRenderCapability() : 0;
    }
    ShowErrorCode(renderCode, GetHWND());
}

void CMainWnd::CameraChanged()
{
    SetCameraControlsEnabled(m_session && m_session->Camera());
    // A camera without a settings dialog of its own has nothing to show there.
    if (CControlUI* properties = m_PaintManager.FindControl("AdjustBtnPropertyPage"))
        properties->SetEnabled(m_session && m_session->Camera() && m_session->Camera()->HasPropertyPages());
    if (m_pictures)
        m_pictures->setCameraPresent(m_session && m_session->Camera());
    for (auto& part : m_parts)
        part->OnCameraChanged();
}

void CMainWnd::SetStatusText(const std::string& text)
{
    if (CControlUI* label = m_PaintManager.FindControl("StatusBarLabelInfo"))
        label->SetText(text);
}

void CMainWnd::ApplyToolTips()
{
    CResourceManager& texts = *CResourceManager::GetInstance();
    for (const ToolTip& tip : kToolTips)
        if (CControlUI* control = m_PaintManager.FindControl(tip.control))
            control->SetToolTip(texts.GetTextOrId(tip.textId));
}

void CMainWnd::SetCameraControlsEnabled(bool enabled)
{
    for (const char* name : kCameraControls)
        if (CControlUI* control = m_PaintManager.FindControl(name))
            control->SetEnabled(enabled);
}

void CMainWnd::OpenDrawerBody(const std::string& body, bool force)
{
    const std::string previous = m_openDrawer;
    m_openDrawer = (!force && previous == body) ? std::string() : body;
    for (const Drawer& drawer : kDrawers) {
        const bool open = m_openDrawer == drawer.body;
        if (CControlUI* control = m_PaintManager.FindControl(drawer.body))
            control->SetVisible(open);
        if (auto* head = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(drawer.head)))
            head->Selected(open, false);
    }
}

void CMainWnd::Notify(TNotifyUI& msg)
{
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    if (msg.sType == "windowinit")
        for (auto& part : m_parts)
            part->OnWindowInit();
    for (auto& part : m_parts)
        if (part->Notify(msg)) {
            WindowImplBase::Notify(msg);
            return;
        }
    if (msg.sType == "windowinit") {
        SetCameraControlsEnabled(false);
        if (m_pictures)
            m_pictures->refreshTexts();
        if (ProgramStartTick() != 0)
            platform::DebugPrintf("main window shown %u ms after start\n",
                                  static_cast<unsigned>(platform::GetTickCount() - ProgramStartTick()));
    } else if (msg.sType == "setfocus" && !m_firstFocusSeen) {
        m_firstFocusSeen = true;
        // The render view draws into a child window of its own from now on.
        if (m_services && m_services->view)
            m_services->view->attachWindow(GetHWND());
        if (Config().MaximizeWindow != 0)
            SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        if (!m_startPicture.empty() && m_pictureCommands)
            m_pictureCommands->Open(m_startPicture);
    } else if (msg.sType == "click") {
        if (name == "Btn_Title_Main_Menu") {
            ShowMainMenu();
            return;
        }
        if (name == "StatusbarBtnFullscreen") {
            ToggleFullscreen();
            return;
        }
        for (const DpiButton& button : kDpiButtons)
            if (name == button.name) {
                m_PaintManager.SetDPI(button.dpi);
                CenterWindow();
                return;
            }
        for (const Drawer& drawer : kDrawers)
            if (name == drawer.head) {
                OpenDrawerBody(drawer.body, false);
                return;
            }
    } else if (msg.sType == "selectchanged") {
        auto* option = dynamic_cast<COptionUI*>(msg.pSender);
        if (name == "MainTabOptCamera" || name == "MainTabOptMeasure" || name == "MainTabOptTest") {
            if (option && option->IsSelected() && m_mainTab)
                m_mainTab->SelectItem(name == "MainTabOptCamera" ? 0 : name == "MainTabOptMeasure" ? 1 : 2);
        } else if (name == "StatusbarBtnOutput") {
            if (CControlUI* bar = m_PaintManager.FindControl("OutputBar"))
                bar->SetVisible(option && option->IsSelected());
        }
    }
    WindowImplBase::Notify(msg);
}

void CMainWnd::ShowMainMenu()
{
    CControlUI* button = m_PaintManager.FindControl("Btn_Title_Main_Menu");
    if (!button)
        return;
    const RECT pos = button->GetPos();
    POINT pt{pos.left, pos.bottom};
    ClientToScreen(pt);
    m_menu.reset(); // a new menu replaces the open one
    auto menu = std::make_unique<CMenuWnd>();
    if (!menu->Init(nullptr, "xmls\\menus\\menu_main.xml", pt, &m_PaintManager, &m_menuCheckInfo,
                    eMenuAlignment_Left | eMenuAlignment_Top))
        return;
    auto* languages = new CMenuElementUI;
    languages->SetName("Menu_Language_List");
    languages->SetText("MENU_MAIN_LANGUAGE");
    languages->SetResourceText(true);
    languages->SetShowExpandIcon(true);
    for (const LanguageEntry& entry : kLanguages) {
        auto* item = new CMenuElementUI;
        item->SetText(entry.caption);
        item->SetName(entry.menuItem);
        item->SetIcon("ui\\menu\\ic_menu_checked.png");
        item->SetIconSize(23, 23);
        item->SetCheckItem(true);
        item->SetChecked(entry.id == Config().Language);
        m_menuCheckInfo.Set(entry.menuItem, entry.id == Config().Language ? item : nullptr);
        languages->Add(item);
    }
    menu->GetMenuUI()->AddAt(languages, 0);
    for (auto& part : m_parts)
        part->OnMainMenu(*menu);
    m_menu = std::move(menu);
}

void CMainWnd::OnMenuCommand(const std::string& item)
{
    if (const LanguageEntry* language = FindLanguageByMenuItem(item)) {
        ApplyLanguage(language->id);
        ApplyToolTips();
        if (m_pictures)
            m_pictures->refreshTexts();
        for (auto& part : m_parts)
            part->OnLanguageChanged();
        m_PaintManager.Invalidate();
        m_PaintManager.NeedUpdate();
    } else if (::strcasecmp(item.c_str(), "Main_Menu_Item_Update") == 0) {
        ShowErrorCode(-6, GetHWND());
    } else if (::strcasecmp(item.c_str(), "Main_Menu_Item_Settings") == 0) {
        ShowSettings(GetHWND());
    } else if (::strcasecmp(item.c_str(), "Main_Menu_Item_About") == 0) {
        ShowAbout(GetHWND());
    } else {
        for (auto& part : m_parts)
            if (part->OnMenuCommand(item))
                return;
    }
}

LRESULT CMainWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (uMsg == WM_MENUCLICK) {
        auto* cmd = reinterpret_cast<MenuCmd*>(wParam);
        if (cmd) {
            const std::string item = cmd->szName;
            CPaintManagerUI::DeletePtr(cmd);
            OnMenuCommand(item);
        }
        bHandled = TRUE;
        return 0;
    }
    if (uMsg == WM_APP_TERMINATE) {
        // A logout or Ctrl+C: close as the close button does, without asking.
        // Open dialogs and questions end as cancelled first; the shutdown
        // runs once their loops have returned, never inside one of them.
        if (ui::ModalWindowCount() > 0) {
            ui::CloseModalWindows();
            PostMessage(WM_APP_TERMINATE, wParam, lParam);
            bHandled = TRUE;
            return 0;
        }
        ShutDown();
        DestroyWindow();
        bHandled = TRUE;
        return 0;
    }
    if (uMsg == WM_KEYUP && m_services && m_services->view)
        m_services->view->handleKey(wParam, lParam, false);
    if (uMsg == WM_RENDER_TOGGLE_FULLSCREEN) {
        ToggleFullscreen();
        bHandled = TRUE;
        return 0;
    }
    for (auto& part : m_parts) {
        LRESULT result = 0;
        if (part->HandleMessage(uMsg, wParam, lParam, result)) {
            bHandled = TRUE;
            return result;
        }
    }
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CMainWnd::ToggleFullscreen()
{
    m_fullscreen = !m_fullscreen;
    auto show = [this](const char* name, bool visible) {
        if (CControlUI* control = m_PaintManager.FindControl(name))
            control->SetVisible(visible);
    };
    show("TitleBar", !m_fullscreen);
    show("ToolBar", !m_fullscreen);
    show("StatusBar", !m_fullscreen);
    show("SideBar", !m_fullscreen);
    auto* output = dynamic_cast<COptionUI*>(m_PaintManager.FindControl("StatusbarBtnOutput"));
    show("OutputBar", !m_fullscreen && (!output || output->IsSelected()));
    WindowFrameInfo& frame = m_PaintManager.Frame();
    const int caption = m_fullscreen ? 0 : 26;
    const int border = m_fullscreen ? 0 : 6;
    frame.caption = RECT{0, 0, 0, caption};
    frame.sizeBox = RECT{border, border, border, border};
    UpdateFrame();
    if (m_fullscreen) {
        // The window manager covers the screen and restores the placement
        // later; without one the window is moved onto the monitor.
        m_fullscreenByWindowManager = SetFullScreen(true);
        if (m_fullscreenByWindowManager || !GetWindowPlacement(m_savedPlacement))
            return;
        MoveWindow(GetPrimaryMonitorRect());
    } else if (m_fullscreenByWindowManager) {
        m_fullscreenByWindowManager = false;
        SetFullScreen(false);
    } else {
        SetWindowPlacement(m_savedPlacement);
    }
}

LRESULT CMainWnd::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    if (Config().ExitPrompt == 0) {
        CResourceManager& texts = *CResourceManager::GetInstance();
        // Measurements changed since their last export or save go with the program.
        const bool losing = m_pictures && m_pictures->hasMeasurementsToLose();
        if (ShowMessage(GetHWND(),
                        texts.GetTextOrId(losing ? "STR_SURE_TO_EXIT_LOSING_MEASUREMENTS" : "STR_SURE_TO_EXIT"),
                        texts.GetTextOrId("STR_EXIT_APP"), 1, MB_ICONQUESTION) != IDOK) {
            bHandled = TRUE;
            return 0;
        }
    }
    m_menu.reset();
    ShutDown();
    bHandled = FALSE;
    return 0;
}

void CMainWnd::ShutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    // Recordings and series end first, then the view lets go of its window,
    // then the camera is released (on the session's worker).
    for (auto& part : m_parts)
        part->OnClosing();
    if (m_services && m_services->view)
        m_services->view->detachWindow();
    if (m_session)
        m_session->Close();
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    PostQuitMessage(0);
    bHandled = FALSE;
    return 0;
}

LRESULT CMainWnd::OnKeyDown(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // Enter typed into a text box (a calibration name, a length) is that
    // box's, not a snapshot.
    CControlUI* focus = m_PaintManager.GetFocus();
    const bool typing = focus && focus->IsShown() && (focus->GetInterface("Edit") || focus->GetInterface("RichEdit"));
    if (wParam == VK_F11)
        ToggleFullscreen();
    else if (wParam == 'O' && KeyModifiers(lParam) == KEYSTATE_CONTROL && !typing && m_pictureCommands)
        m_pictureCommands->ChooseAndOpen();
    else if (m_services && m_services->view && m_services->view->handleKey(wParam, lParam, true))
        ; // zoom and pan keys
    else if (std::any_of(m_parts.begin(), m_parts.end(),
                         [&](const auto& part) { return part->OnKeyWithState(wParam, lParam); }))
        ; // a part's own key
    else if (!(typing && wParam == VK_RETURN) &&
             !((wParam == kFocusStackKey || wParam == kPanoramaKey) && !KeyIsFree(lParam)))
        for (auto& part : m_parts)
            if (part->OnKey(wParam))
                break;
    bHandled = FALSE;
    return 0;
}

LRESULT CMainWnd::ResponseDefaultKeyEvent(WPARAM wParam)
{
    if (wParam == VK_ESCAPE && m_fullscreen)
        ToggleFullscreen();
    return FALSE;
}

} // namespace shell
