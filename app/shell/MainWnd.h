#pragma once
// CMainWnd: the program's only top-level window, built from
// "xmls\mainwnd.xml": title bar with the main menu, tool bar, live picture,
// output bar with the results list, side bar with the camera and measure
// pages, status bar.
#include "app/shell/WindowPart.h"
#include "ui/Menu.h"
#include "ui/Window.h"

#include <memory>
#include <string>
#include <vector>

class CListUI;
class CTabLayoutUI;

namespace shell {

class CameraSession;
class FocusCommands;
class PictureCommands;
class PictureSource;

// The composition root: frame chrome (menus, languages, DPI, full screen,
// closing) and the dispatch of every notification, message, key and menu
// command to the part of the window that owns the control.
class CMainWnd : public WindowImplBase, public IQueryControlText {
public:
    CMainWnd();
    ~CMainWnd() override;

    LPCTSTR GetWindowClassName() const override { return "MainWnd"; }
    std::string GetSkinFile() override { return "xmls\\mainwnd.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    LPCTSTR QueryControlText(LPCTSTR, LPCTSTR) override { return nullptr; }

    CPaintManagerUI& PaintManager() { return m_PaintManager; }
    bool IsFullscreen() const { return m_fullscreen; }
    // The open popup menu, null when none was opened.
    CMenuWnd* Menu() const { return m_menu.get(); }
    const std::string& OpenDrawer() const { return m_openDrawer; }
    // The camera session; null before the creation hook ran.
    CameraSession* Session() const { return m_session.get(); }
    // Demo mode: open the first USB3 camera once the list is there. Before Create().
    void OpenFirstCameraAtStart(bool open) { m_openFirstCamera = open; }
    // A picture file to show once the window is up ("" for none). Before Create().
    void OpenPictureAtStart(const std::string& path) { m_startPicture = path; }
    // Freezing, opening and saving pictures; null before the creation hook ran.
    PictureCommands* PictureCommandsPart() const { return m_pictureCommands; }
    // The focus figure and the focus stack; null before the creation hook ran.
    FocusCommands* FocusCommandsPart() const { return m_focusCommands; }
    // Tells every part that the camera was opened, switched or closed.
    void CameraChanged();
    // Ends recordings, detaches the view and releases the camera; runs once
    // (the close handler, or a termination signal without the question).
    void ShutDown();
    // Shows `text` in the status bar's information label.
    void SetStatusText(const std::string& text);
    // What the view shows; null when the layout has no view.
    PictureSource* Pictures() const { return m_pictures.get(); }

    // Opens the drawer named `body`, or closes it when it is open already
    // (force: open it without toggling).
    void OpenDrawerBody(const std::string& body, bool force);
    // Re-applies the tool tips of the current language.
    void ApplyToolTips();

private:
    void ShowMainMenu();
    void OnMenuCommand(const std::string& item);
    void ToggleFullscreen();
    void SetCameraControlsEnabled(bool enabled);

    // Built in the creation hook; the parts are destroyed before the session.
    std::unique_ptr<DesktopIdleInhibitor> m_desktopIdle;
    std::unique_ptr<CameraSession> m_session;
    std::unique_ptr<MainWindowServices> m_services;
    std::unique_ptr<PictureSource> m_pictures;
    std::vector<std::unique_ptr<WindowPart>> m_parts;

    bool m_fullscreen = false;
    bool m_firstFocusSeen = false;
    bool m_shutDown = false;
    bool m_fullscreenByWindowManager = false;
    bool m_openFirstCamera = false;
    std::string m_startPicture;
    PictureCommands* m_pictureCommands = nullptr;
    FocusCommands* m_focusCommands = nullptr;
    std::string m_openDrawer;
    WINDOWPLACEMENT m_savedPlacement{};
    std::unique_ptr<CMenuWnd> m_menu;
    CStdStringPtrMap m_menuCheckInfo{83};
    CTabLayoutUI* m_mainTab = nullptr;
};

} // namespace shell
