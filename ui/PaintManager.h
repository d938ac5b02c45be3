#pragma once
// CPaintManagerUI: the control tree of one window (find by name, notifiers,
// message filters, fonts, DPI, the frame attributes of its layout) and, as
// statics, the resources of the whole program (skin archive, instance) and
// the message loop.
#include "ui/UIDefs.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CControlUI;
class COptionUI;
class CWindowWnd;
class QFont;

// Frame attributes a layout gives its window (<Window ...>).
struct WindowFrameInfo {
    SIZE initSize{0, 0};    // size="w,h"
    SIZE minSize{0, 0};     // mininfo="w,h"
    SIZE maxSize{0, 0};     // maxinfo="w,h"
    RECT sizeBox;           // sizebox="l,t,r,b": resize borders
    RECT caption;           // caption="l,t,r,b" (or a height): drag area; right/bottom 0 = to the edge
    SIZE roundCorner{0, 0}; // roundcorner="w,h"
    int shadowSize = 0;     // shadowsize="4"
    int shadowDarkness = 0; // shadowdarkness="80" (alpha 0..255 of the shadow's darkest part)
    DWORD bkColor = 0;      // bkcolor of the window's background
};

class CPaintManagerUI {
public:
    CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;
    ~CPaintManagerUI();

    // Binds the manager to a created window (CWindowWnd).
    void Init(HWND hWnd);
    HWND GetPaintWindow() const;
    CWindowWnd* GetWindow() const { return m_window; }

    // Makes `root` the content of the window; the manager owns it.
    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return m_root; }

    // Controls by name ("" finds nothing) or by client position.
    CControlUI* FindControl(const std::string& name) const;
    CControlUI* FindControl(POINT pt) const;
    // Like FindControl but only below `parent`.
    CControlUI* FindSubControlByName(CControlUI* parent, const std::string& name) const;

    void AddNotifier(INotifyUI* notifier);
    void RemoveNotifier(INotifyUI* notifier);
    void AddMessageFilter(IMessageFilterUI* filter);
    void RemoveMessageFilter(IMessageFilterUI* filter);
    // Runs the message filters (keyboard messages pass them before the
    // window procedure); true when one handled the message.
    bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

    // Delivers a notification to every notifier, at once or (bAsync) from
    // the message loop.
    void SendNotify(CControlUI* sender, const char* type, WPARAM wParam = 0, LPARAM lParam = 0, bool bAsync = false);
    void SendNotify(TNotifyUI& msg);

    // Keyboard focus; a change sends "setfocus" from the new control.
    void SetFocus(CControlUI* control);
    CControlUI* GetFocus() const { return m_focus; }

    void NeedUpdate();
    void Invalidate();

    // DPI of this window's controls: sizes and fonts in layouts are for 96.
    void SetDPI(int dpi);
    int GetDPI() const { return m_dpi; }
    int Scale(int value) const;

    // Fonts of the layout (<Font id=.. name=.. size=.. bold=..>), size in
    // pixels at 96 DPI. GetFontFor returns the Qt font for an index (-1 or
    // unknown: the default font).
    void AddFont(int id, const std::string& family, int size, bool bold, bool underline, bool italic, bool isDefault);
    QFont GetFontFor(int id) const;

    WindowFrameInfo& Frame() { return m_frame; }
    const WindowFrameInfo& Frame() const { return m_frame; }

    // Option groups of this window.
    void RegisterOption(COptionUI* option);
    void UnregisterOption(COptionUI* option);
    std::vector<COptionUI*> GetOptionGroup(const std::string& group) const;

    // Every live manager (ReloadText walks them).
    static const std::vector<CPaintManagerUI*>& Managers();

    // --- Program resources ---------------------------------------------
    // The skin archive: a zip held in memory (copied). Paths inside may be
    // written with "\" or "/". Without an archive, files are read from the
    // resource path.
    static bool SetResourceZip(const void* data, unsigned size);
    static void SetResourcePath(const std::string& path);
    static const std::string& GetResourcePath();
    static void SetResourceType(int type) { s_resourceType = type; }
    static int GetResourceType() { return s_resourceType; }
    static void SetInstance(void* instance) { s_instance = instance; }
    static void* GetInstance() { return s_instance; }
    // The program's folder with a trailing "/".
    static std::string GetInstancePath();
    // Reads a skin file (archive first, then the resource path).
    static bool LoadResource(const std::string& path, std::string& data);

    // Runs the message loop until the quit message; returns its exit code.
    static int MessageLoop();
    // Frees a block the framework handed to the program (menu records).
    static void DeletePtr(void* ptr);

private:
    friend class CControlUI;
    void ForgetControl(CControlUI* control);

    CWindowWnd* m_window = nullptr;
    CControlUI* m_root = nullptr;
    CControlUI* m_focus = nullptr;
    std::vector<INotifyUI*> m_notifiers;
    std::vector<IMessageFilterUI*> m_filters;
    std::vector<COptionUI*> m_options;
    struct FontInfo;
    std::map<int, std::shared_ptr<FontInfo>> m_fonts;
    int m_defaultFont = -1;
    int m_dpi = 96;
    WindowFrameInfo m_frame;

    static int s_resourceType;
    static void* s_instance;
};

// Shows the busy cursor over every window until SetWaitCursor(false); calls
// nest.
void SetWaitCursor(bool busy);

// Ends the message loop (and any modal loop) with this exit code once the
// messages already queued are handled.
void PostQuitMessage(int exitCode);
