#pragma once
// Popup menus. A menu file of the skin:
//   <Menu width="180">
//     <MenuElement name="Main_Menu_Item_Settings" textid="MENU_SETTINGS"
//                  icon="ui\menu\settings.png" iconsize="16,16"/>
//     <Separator/>
//     <MenuElement name="Group" text="Format" expand="true">
//       <MenuElement name="Cap_Menu_Item_Tif" text="TIF" checkitem="true"/>
//     </MenuElement>
//   </Menu>
// Item attributes: name, text, textid (language id), icon, iconsize "w,h",
// checkitem (the icon, or a check mark without one, shows only while
// checked), checked, expand (shows the arrow; sub-items open a sub-menu),
// enabled, visible, userdata, width.
//
// A click closes the menu and posts WM_MENUCLICK (WM_USER + 121) to the paint
// manager's window; wParam points to a MenuCmd the receiver frees with
// CPaintManagerUI::DeletePtr.
#include "ui/UIDefs.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct MenuCmd {
    char szName[256];
    char szUserData[1024];
    char szText[1024];
    BOOL bChecked;
};

// Name → pointer map handed to menus; a menu records the checked state of
// its check items here (non-null = checked) and starts from it.
class CStdStringPtrMap {
public:
    explicit CStdStringPtrMap(int buckets = 83) : m_map(static_cast<size_t>(buckets)) {}
    void* Find(const std::string& key) const;
    void Set(const std::string& key, void* value) { m_map[key] = value; }
    bool Remove(const std::string& key) { return m_map.erase(key) > 0; }
    int GetSize() const { return static_cast<int>(m_map.size()); }
    void RemoveAll() { m_map.clear(); }

private:
    std::unordered_map<std::string, void*> m_map;
};

class CMenuElementUI {
public:
    CMenuElementUI() = default;
    virtual ~CMenuElementUI() = default;

    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    // The shown text (translated when it is a language id).
    std::string GetText() const;
    void SetText(const std::string& text) { m_text = text; }
    void SetResourceText(bool resourceText) { m_resourceText = resourceText; }
    void SetIcon(const std::string& skinImage) { m_icon = skinImage; }
    const std::string& GetIcon() const { return m_icon; }
    void SetIconSize(int cx, int cy) { m_iconSize = {cx, cy}; }
    SIZE GetIconSize() const { return m_iconSize; }
    void SetCheckItem(bool checkItem) { m_checkItem = checkItem; }
    bool IsCheckItem() const { return m_checkItem; }
    // Checking an item also makes it a check item.
    void SetChecked(bool checked);
    bool GetChecked() const { return m_checked; }
    void SetShowExpandIcon(bool show) { m_expand = show; }
    bool GetShowExpandIcon() const { return m_expand; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    bool IsEnabled() const { return m_enabled; }
    void SetVisible(bool visible) { m_visible = visible; }
    bool IsVisible() const { return m_visible; }
    void SetUserData(const std::string& data) { m_userData = data; }
    const std::string& GetUserData() const { return m_userData; }
    void SetFixedWidth(int width) { m_width = width; }
    int GetFixedWidth() const { return m_width; }
    void SetSeparator(bool separator) { m_separator = separator; }
    bool IsSeparator() const { return m_separator; }
    void SetAttribute(const std::string& name, const std::string& value);

    // Sub-items (the element takes ownership).
    bool Add(CMenuElementUI* item);
    bool AddAt(CMenuElementUI* item, int index);
    bool RemoveAt(int index);
    void RemoveAll() { m_items.clear(); }
    int GetCount() const { return static_cast<int>(m_items.size()); }
    CMenuElementUI* GetItemAt(int index) const;
    // Finds an item by name among all descendants.
    CMenuElementUI* FindMenuItem(const std::string& name);

private:
    std::string m_name, m_text, m_icon, m_userData;
    bool m_resourceText = false;
    SIZE m_iconSize{16, 16};
    bool m_checkItem = false, m_checked = false, m_expand = false;
    bool m_enabled = true, m_visible = true, m_separator = false;
    int m_width = 0;
    std::vector<std::unique_ptr<CMenuElementUI>> m_items;
};

// The root of a menu: its items are the top level.
class CMenuUI : public CMenuElementUI {};

class QWidget;
namespace ui::detail {
class MenuPopup;
}

enum MenuAlignment {
    eMenuAlignment_Left = 1 << 1,   // the menu's left edge at the point
    eMenuAlignment_Top = 1 << 2,    // the menu's top edge at the point
    eMenuAlignment_Right = 1 << 3,  // the menu's right edge at the point
    eMenuAlignment_Bottom = 1 << 4, // the menu's bottom edge at the point
};

// A popup menu. Init loads the menu file and opens the menu at the screen
// point from the message loop, so items changed or added right after Init
// are shown. The object belongs to the caller; destroying it closes the menu.
class CMenuWnd {
public:
    CMenuWnd();
    ~CMenuWnd();
    CMenuWnd(const CMenuWnd&) = delete;
    CMenuWnd& operator=(const CMenuWnd&) = delete;

    // Owner is unused (sub-menus are made from expand items). False when the
    // menu file cannot be read.
    bool Init(CMenuElementUI* pOwner, const std::string& xmlFile, POINT point, CPaintManagerUI* pMainPaintManager,
              CStdStringPtrMap* pMenuCheckInfo = nullptr, DWORD dwAlignment = eMenuAlignment_Left | eMenuAlignment_Top);
    CMenuUI* GetMenuUI() { return &m_root; }
    CMenuElementUI* FindMenuItem(const std::string& name) { return m_root.FindMenuItem(name); }
    // Opens it now (Init does so from the loop); re-opening rebuilds it.
    void Show();
    void Close();
    bool IsOpen() const;

    // The most recently opened menu that is still open (test driver).
    static CMenuWnd* GetActiveMenu();
    // Acts as if the user clicked the named item; false if it is not there
    // or disabled.
    bool ClickItem(const std::string& name);
    // The Qt widget of the open menu (test driver); null when closed.
    QWidget* GetWidget() const;

private:
    friend class ui::detail::MenuPopup;
    void ItemClicked(CMenuElementUI* item);
    CMenuUI m_root;
    POINT m_point;
    DWORD m_alignment = 0;
    CPaintManagerUI* m_manager = nullptr;
    CStdStringPtrMap* m_checkInfo = nullptr;
    std::unique_ptr<ui::detail::MenuPopup> m_popup;
};
