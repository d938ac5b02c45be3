#pragma once
// CControlUI: the base of every control. A control is a Qt widget underneath;
// the program sees only this interface. Controls are created by the layout
// builder (or with new and added to a container) and owned by their parent
// container; the root is owned by the paint manager.
#include "ui/UIDefs.h"

#include <memory>
#include <string>

class QWidget;
class CContainerUI;

namespace ui::detail {
class ControlRelay;
}

class CControlUI {
public:
    CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;
    virtual ~CControlUI();

    // Class name ("ControlUI", "ButtonUI", ...) and interface query by the
    // short kind name ("Control", "Button", ...): returns this or null.
    virtual LPCTSTR GetClass() const;
    virtual void* GetInterface(LPCTSTR pstrName);

    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name);

    // Text shown by the control. With the resource-text flag set, the stored
    // text is a language id and the control shows the current language's
    // text for it (GetText returns the shown text, GetTextId the id).
    virtual std::string GetText() const;
    virtual void SetText(const std::string& text);
    const std::string& GetTextId() const { return m_text; }
    bool IsResourceText() const { return m_resourceText; }
    void SetResourceText(bool resourceText);
    void SetToolTip(const std::string& tip);
    std::string GetToolTip() const;

    virtual bool IsVisible() const { return m_visible; }
    // Shown on screen: this control and every parent visible.
    bool IsShown() const;
    virtual void SetVisible(bool visible = true);
    // The framework calls this when the control becomes shown or hidden on
    // screen because it or a parent changed.
    virtual void SetInternVisible(bool visible = true);
    virtual bool IsEnabled() const { return m_enabled; }
    virtual void SetEnabled(bool enabled = true);

    // Background image as an attribute string: "file='ui\x.png'" with
    // optional "corner='l,t,r,b'" (border kept unscaled), "dest='l,t,r,b'"
    // (drawn into that rectangle) and "source='l,t,r,b'" (part of the file).
    // A bare path is accepted too.
    const std::string& GetBkImage() const { return m_bkImage; }
    void SetBkImage(const std::string& image);
    DWORD GetBkColor() const { return m_bkColor; }
    void SetBkColor(DWORD argb);
    DWORD GetTextColor() const { return m_textColor; }
    void SetTextColor(DWORD argb);
    DWORD GetDisabledTextColor() const { return m_disabledTextColor; }
    void SetDisabledTextColor(DWORD argb);
    void SetBorderColor(DWORD argb);
    void SetBorderSize(int size);
    void SetBorderRound(int radius);
    // Index into the window's font table (<Font id=...> in the layout).
    int GetFont() const { return m_font; }
    void SetFont(int index);

    UINT_PTR GetTag() const { return m_tag; }
    void SetTag(UINT_PTR tag) { m_tag = tag; }
    const std::string& GetUserData() const { return m_userData; }
    void SetUserData(const std::string& data) { m_userData = data; }

    // Fixed size in layout units (scaled by the window's DPI); 0 = share the
    // free space.
    int GetFixedWidth() const { return m_fixedWidth; }
    int GetFixedHeight() const { return m_fixedHeight; }
    void SetFixedWidth(int width);
    void SetFixedHeight(int height);
    void SetMinWidth(int width);
    void SetMinHeight(int height);
    void SetMaxWidth(int width);
    void SetMaxHeight(int height);

    // Position in the client area of the window. The framework calls SetPos
    // after every layout change of the control; overrides must call the base.
    virtual RECT GetPos() const;
    virtual void SetPos(RECT rc, bool bNeedInvalidate = true);
    int GetWidth() const;
    int GetHeight() const;

    // Mouse events over the control (see UIEVENT_TYPE). The base ignores them.
    virtual void DoEvent(TEventUI& event);

    // Sets one attribute as written in a layout file; unknown names are
    // ignored. ApplyAttributeList takes `name="value" name2="value2"`.
    virtual void SetAttribute(const std::string& name, const std::string& value);
    void ApplyAttributeList(const std::string& list);

    void SetFocus();
    bool IsFocused() const;
    void Invalidate();
    void NeedUpdate();

    CPaintManagerUI* GetManager() const { return m_manager; }
    CControlUI* GetParent() const { return m_parent; }
    // Called by containers when the control joins a tree.
    virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent);
    // Finds a control by name in this control's subtree (itself included).
    virtual CControlUI* FindSubControl(const std::string& name);

    // Re-resolves language texts (called by CResourceManager::ReloadText).
    virtual void ReloadText();
    // Re-applies sizes and fonts after a DPI change.
    virtual void ApplyScale();

    // The Qt widget underneath (created on first use; null for item-only
    // controls such as combo entries). Only ui/ and custom controls use it.
    QWidget* GetWidget();

protected:
    // Creates the widget; the base makes a plain widget that receives mouse
    // events for DoEvent.
    virtual QWidget* CreateWidget();
    // Called once after the widget exists.
    virtual void InitWidget();
    // Shows the (translated) text in the widget.
    virtual void ApplyText();
    // Style sheet rules for the widget; `sel` is its selector.
    virtual std::string StyleRules(const std::string& sel) const;
    void UpdateStyle();
    std::string ImageRule(const std::string& attribute) const;
    std::string ResolvedText() const;
    int Scaled(int value) const;
    QWidget* WidgetIfCreated() const;
    void SendNotify(const char* type, WPARAM wParam = 0, LPARAM lParam = 0);
    ui::detail::ControlRelay* Relay();

    std::string m_name;
    std::string m_text;
    std::string m_toolTip;
    bool m_resourceText = false;
    bool m_visible = true;
    bool m_enabled = true;
    std::string m_bkImage;
    DWORD m_bkColor = 0;
    DWORD m_textColor = 0;
    DWORD m_disabledTextColor = 0;
    DWORD m_borderColor = 0;
    int m_borderSize = 0;
    int m_borderRound = 0;
    int m_font = -1;
    UINT_PTR m_tag = 0;
    std::string m_userData;
    int m_fixedWidth = 0;
    int m_fixedHeight = 0;
    int m_minWidth = 0;
    int m_minHeight = 0;
    int m_maxWidth = 0;
    int m_maxHeight = 0;
    std::string m_align;
    std::string m_extraStyle;
    // False for controls that draw the background image on a part of
    // themselves (the slider's track).
    bool m_bkImageOnWidget = true;
    CPaintManagerUI* m_manager = nullptr;
    CControlUI* m_parent = nullptr;

private:
    friend class ui::detail::ControlRelay;
    void EnsureWidget() const;
    void ApplyGeometry();
    std::unique_ptr<ui::detail::ControlRelay> m_relay;
    QWidget* m_widget = nullptr;
    bool m_widgetMade = false;
    int m_styleId = 0;
};
