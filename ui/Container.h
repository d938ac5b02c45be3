#pragma once
// Containers: controls that own and lay out child controls.
//   CContainerUI / CVerticalLayoutUI  children top to bottom
//   CHorizontalLayoutUI               children left to right
//   CTabLayoutUI                      one child (page) visible at a time
// A child with a fixed size along the layout direction keeps it; the others
// share the remaining space equally. A container with vscrollbar="true"
// scrolls its children vertically when they need more height than it has
// (at a large interface size), instead of squeezing them over each other.
#include "ui/Control.h"

#include <vector>

class QBoxLayout;

class CContainerUI : public CControlUI {
public:
    CContainerUI();
    ~CContainerUI() override;

    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    // The container takes ownership of added controls.
    virtual bool Add(CControlUI* pControl);
    virtual bool AddAt(CControlUI* pControl, int iIndex);
    // Remove deletes the control.
    virtual bool Remove(CControlUI* pControl);
    virtual bool RemoveAt(int iIndex);
    virtual void RemoveAll();
    int GetCount() const { return static_cast<int>(m_items.size()); }
    CControlUI* GetItemAt(int iIndex) const;
    int GetItemIndex(CControlUI* pControl) const;

    // Inner margins ("inset") and the gap between children, in layout units.
    void SetInset(RECT rc);
    void SetChildPadding(int padding);

    void SetAttribute(const std::string& name, const std::string& value) override;
    void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
    CControlUI* FindSubControl(const std::string& name) override;
    void ReloadText() override;
    void ApplyScale() override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    // Puts a child's widget into the Qt layout at the given position.
    virtual void InsertChildWidget(CControlUI* child, int index);
    virtual void RemoveChildWidget(CControlUI* child);
    virtual bool Horizontal() const { return false; }
    void ApplyLayoutSpacing();
    std::string StyleRules(const std::string& sel) const override;

    std::vector<CControlUI*> m_items;
    // Set before the widget is made (the layout builder reads it first).
    bool m_verticalScroll = false;
    RECT m_inset;
    int m_childPadding = 0;
    QBoxLayout* m_layout = nullptr;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

protected:
    bool Horizontal() const override { return true; }
};

class CTabLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    // Shows page iIndex; false (nothing changes) when there is no such page.
    bool SelectItem(int iIndex);
    int GetCurSel() const { return m_curSel; }
    void SetAttribute(const std::string& name, const std::string& value) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void InsertChildWidget(CControlUI* child, int index) override;
    void RemoveChildWidget(CControlUI* child) override;

private:
    int m_curSel = 0;
};
