#pragma once
// CListUI: a scrolling list with an optional header of columns. Rows are
// either CListTextElementUI (cells asked from the list's IListCallbackUI each
// time they are drawn) or CListContainerElementUI (a row laid out from
// controls, e.g. built with CDialogBuilder from a row layout file).
// Clicking a row, or SelectItem with a different index, sends "itemselect"
// (wParam = new index, lParam = previous index) from the list.
//
// Layout: <List name=".." itemheight="24" header="true" selectedbkcolor=".."
//           itembkcolor=".." itemtextcolor="..">
//           <Column text=".." textid=".." width="80"/> ...
//         </List>
#include "ui/Container.h"

#include <string>
#include <vector>

class QScrollArea;
class CListUI;

// A row of a list: knows its list and its index.
class CListElementUI {
public:
    virtual ~CListElementUI() = default;
    CListUI* GetOwnerList() const { return m_list; }
    int GetIndex() const { return m_index; }
    bool IsSelected() const { return m_selected; }

protected:
    friend class CListUI;
    virtual void SetListState(CListUI* list, int index, bool selected) = 0;
    CListUI* m_list = nullptr;
    int m_index = -1;
    bool m_selected = false;
};

// A row of text cells; the cells come from the list's text callback.
class CListTextElementUI : public CControlUI, public CListElementUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    // The cell text of column iIndex as drawn now (from the callback, else
    // the texts set with SetText(column, text)).
    std::string GetText(int iIndex) const;
    using CControlUI::GetText;
    void SetText(int iIndex, const std::string& text);
    using CControlUI::SetText;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void SetListState(CListUI* list, int index, bool selected) override;

private:
    friend class ListTextRowWidget;
    std::vector<std::string> m_cells;
};

// A row laid out horizontally from child controls.
class CListContainerElementUI : public CHorizontalLayoutUI, public CListElementUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

protected:
    void InitWidget() override;
    std::string StyleRules(const std::string& sel) const override;
    void SetListState(CListUI* list, int index, bool selected) override;
};

class CListUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    void SetTextCallback(IListCallbackUI* callback);
    IListCallbackUI* GetTextCallback() const { return m_callback; }

    // Rows must be CListTextElementUI or CListContainerElementUI.
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl) override;
    bool RemoveAt(int iIndex) override;
    void RemoveAll() override;

    int GetCurSel() const { return m_curSel; }
    // -1 selects nothing. False when the index is out of range.
    bool SelectItem(int iIndex, bool bTakeFocus = false, bool bTriggerEvent = true);
    // Scrolls so that row iIndex is visible.
    void EnsureVisible(int iIndex);
    // Redraws the text rows (asking the callback again).
    void Refresh();

    // Columns of the header.
    void AddColumn(const std::string& text, int width, bool resourceText = false);
    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }
    int GetColumnWidth(int column) const;
    void SetItemHeight(int height);
    int GetItemHeight() const { return m_itemHeight; }
    DWORD GetSelectedBkColor() const { return m_selectedBkColor; }
    DWORD GetItemBkColor() const { return m_itemBkColor; }
    DWORD GetItemTextColor() const { return m_itemTextColor; }
    void SetAttribute(const std::string& name, const std::string& value) override;
    void ReloadText() override;
    void ApplyScale() override;

    // A row was clicked (called by the rows).
    void RowClicked(int index);

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void InsertChildWidget(CControlUI* child, int index) override;
    void RemoveChildWidget(CControlUI* child) override;
    void Renumber();
    void RebuildHeader();
    // Lays the header over the rows' columns, shifted by the sideways scroll.
    void PlaceHeader();
    // Header and scroll-bar colours from the skin's attributes.
    void ApplyChromeStyle();

    struct Column {
        std::string text;
        int width;
        bool resourceText;
    };
    std::vector<Column> m_columns;
    IListCallbackUI* m_callback = nullptr;
    int m_curSel = -1;
    int m_itemHeight = 24;
    bool m_showHeader = true;
    DWORD m_selectedBkColor = 0xFFCCE4F7;
    DWORD m_itemBkColor = 0;
    DWORD m_itemTextColor = 0xFF202020;
    // Column header and scroll bars ("headerbkcolor", "headertextcolor",
    // "headerbordercolor", "scrollbarbkcolor", "scrollthumbcolor",
    // "scrollthumbhotcolor"); the defaults are a light list's.
    DWORD m_headerBkColor = 0xFFF3F3F3;
    DWORD m_headerTextColor = 0xFF202020;
    DWORD m_headerBorderColor = 0xFFD0D0D0;
    DWORD m_scrollBkColor = 0xFFF0F0F0;
    DWORD m_scrollThumbColor = 0xFFC0C0C0;
    DWORD m_scrollThumbHotColor = 0xFFA0A0A0;
    // The header strip (clips) and the header, as wide as the rows.
    QWidget* m_headerStrip = nullptr;
    QWidget* m_header = nullptr;
    int m_columnsWidth = 0;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_body = nullptr;
};
