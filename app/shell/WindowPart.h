#pragma once
// One part of the main window (camera list, adjustment panel, capture
// commands, measure page). CMainWnd builds the parts, hands each notification,
// message, key and menu command to them in turn until one takes it, and tells
// them when the camera or the language changed. Everything here runs on the
// UI thread.
#include "ui/UIDefs.h"

#include <functional>
#include <string>

class CPaintManagerUI;
class CImageRenderUI;
class CMenuWnd;
class DesktopIdleInhibitor;

namespace shell {

class CameraSession;
class CMainWnd;
class PictureSource;

// What every part may use. Owned by CMainWnd; outlives the parts.
struct MainWindowServices {
    CMainWnd& window;
    CPaintManagerUI& paint;
    CameraSession& session;
    // The live picture control; null until the layout made it.
    CImageRenderUI* view = nullptr;
    // Shows a line in the status bar's information label ("StatusBarLabelInfo").
    std::function<void(const std::string&)> setStatus;
    // What the view shows (live, frozen, a file, ...) and the status bar's
    // source and mode fields; null until the view exists.
    PictureSource* pictures = nullptr;
    // Keeps the desktop awake while long work runs; null in windows without it.
    DesktopIdleInhibitor* desktopIdle = nullptr;
    // The user asked for a live picture of width × height (a size chosen in
    // the drawer; `otherCamera`: another camera opened). The measure page
    // sets it and keeps the live measurements on the specimen when the
    // picture arrives at that size; empty in windows without one.
    std::function<void(int width, int height, bool otherCamera)> pictureSizeRequested = nullptr;
};

class WindowPart {
public:
    explicit WindowPart(MainWindowServices& services) : m_services(services) {}
    WindowPart(const WindowPart&) = delete;
    WindowPart& operator=(const WindowPart&) = delete;
    virtual ~WindowPart() = default;

    // The layout exists (creation hook): find and bind controls.
    virtual void Init() {}
    // "windowinit": the window is about to show.
    virtual void OnWindowInit() {}
    // True when the notification was this part's.
    virtual bool Notify(TNotifyUI&) { return false; }
    // True when the message was this part's; `result` is then returned.
    virtual bool HandleMessage(UINT, WPARAM, LPARAM, LRESULT& /*result*/) { return false; }
    // A key the framework did not consume (after its own handling). True when
    // this part acted on it; the key is still never marked handled.
    virtual bool OnKey(WPARAM) { return false; }
    // Asked first, with the key's state (modifiers, whether a text box has
    // the focus: see KeyIsFree). True when this part acted on it.
    virtual bool OnKeyWithState(WPARAM, LPARAM) { return false; }
    // A popup-menu item (case-insensitive names); true when it was this part's.
    virtual bool OnMenuCommand(const std::string&) { return false; }
    // The main menu was just loaded: a part may tick or change its own items.
    virtual void OnMainMenu(CMenuWnd&) {}
    // A camera was opened, switched or closed: session.Camera() says which.
    virtual void OnCameraChanged() {}
    // The language changed: re-apply texts made in code.
    virtual void OnLanguageChanged() {}
    // The window closes: finish what runs (series, recordings, pending saves)
    // before the camera is released.
    virtual void OnClosing() {}

protected:
    MainWindowServices& m_services;
};

} // namespace shell
