#pragma once
// The standard controls. Each sends the notifications a user's action causes;
// changing a control from code sends none unless stated.
#include "ui/Container.h"

#include <string>
#include <vector>

// Static text. Attributes: align (left|center|right), valign (top|center|
// bottom), wordbreak (true: wraps), textpadding "l,t,r,b", endellipsis.
class CLabelUI : public CControlUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    void SetTextPadding(RECT rc);
    void SetAttribute(const std::string& name, const std::string& value) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void ApplyText() override;
    std::string StyleRules(const std::string& sel) const override;
    void ApplyAlignment();
    RECT m_textPadding;
    bool m_wordBreak = false;
    bool m_endEllipsis = false;
    std::string m_valign;
};

// Text with markup: {a}...{/a} is a link (click sends "link" with wParam =
// the link's number, counting from 0), {b}, {i}, {u} style a span, {n}
// breaks the line. Attribute linkcolor sets the link colour.
class CTextUI : public CLabelUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(const std::string& name, const std::string& value) override;
    // The markup converted to the rich text the widget shows.
    static std::string MarkupToHtml(const std::string& text, DWORD linkColor);

protected:
    void InitWidget() override;
    void ApplyText() override;
    DWORD m_linkColor = 0xFF0A64C8;
};

// Push button: "click" when pressed and released over it. Images by state:
// normalimage, hotimage, pushedimage, disabledimage, focusedimage; colours:
// hottextcolor, pushedtextcolor.
class CButtonUI : public CLabelUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    void SetNormalImage(const std::string& image);
    void SetHotImage(const std::string& image);
    void SetPushedImage(const std::string& image);
    void SetDisabledImage(const std::string& image);
    void SetAttribute(const std::string& name, const std::string& value) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void ApplyText() override;
    std::string StyleRules(const std::string& sel) const override;
    virtual std::string ButtonSelector() const { return "QPushButton"; }
    // Check boxes and radio buttons draw their images on the indicator only.
    virtual bool ImagesOnIndicator() const { return false; }
    virtual void OnClicked();
    std::string m_normalImage, m_hotImage, m_pushedImage, m_disabledImage, m_focusedImage;
    DWORD m_hotTextColor = 0, m_pushedTextColor = 0;
};

// Two-state button. kind = "toggle" (a button that stays down, the default),
// "check" (check box) or "radio". Options with the same group name in one
// window are exclusive: selecting one unselects the others, and clicking the
// selected one keeps it selected. A click sends "click", then the selection
// change sends "selectchanged" (an option unselected by its group notifies
// before the newly selected one). Extra images: selectedimage,
// selectedhotimage, selecteddisabledimage; selectedtextcolor, selectedbkcolor.
class COptionUI : public CButtonUI {
public:
    ~COptionUI() override;
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    bool IsSelected() const { return m_selected; }
    // Changes the selection; with bTriggerEvent a change sends "selectchanged".
    virtual void Selected(bool bSelected, bool bTriggerEvent = true);
    const std::string& GetGroup() const { return m_group; }
    void SetGroup(const std::string& group);
    void SetKind(const std::string& kind);
    void SetSelectedImage(const std::string& image);
    void SetAttribute(const std::string& name, const std::string& value) override;
    void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    std::string StyleRules(const std::string& sel) const override;
    std::string ButtonSelector() const override;
    bool ImagesOnIndicator() const override { return m_kind != "toggle"; }
    void OnClicked() override;
    bool m_selected = false;
    std::string m_group;
    std::string m_kind = "toggle";
    std::string m_selectedImage, m_selectedHotImage, m_selectedDisabledImage;
    DWORD m_selectedTextColor = 0, m_selectedBkColor = 0;
};

// A check box: an option of kind "check".
class CCheckBoxUI : public COptionUI {
public:
    CCheckBoxUI();
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    bool GetCheck() const { return IsSelected(); }
    void SetCheck(bool check, bool bTriggerEvent = true) { Selected(check, bTriggerEvent); }
};

// Horizontal (or vertical="true") slider. While the thumb is dragged every
// new value sends "movevaluechanged"; releasing it, clicking the track or
// using the keyboard sends "valuechanged". SetValue sends nothing.
// Attributes: min, max, value, step, vertical, thumbimage, thumbhotimage,
// thumbpushedimage, thumbdisabledimage, thumbsize "w,h".
class CSliderUI : public CControlUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    int GetMinValue() const { return m_min; }
    int GetMaxValue() const { return m_max; }
    void SetMinValue(int value);
    void SetMaxValue(int value);
    int GetValue() const { return m_value; }
    void SetValue(int value);
    void SetChangeStep(int step);
    void SetAttribute(const std::string& name, const std::string& value) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    std::string StyleRules(const std::string& sel) const override;
    void Push();
    int m_min = 0, m_max = 100, m_value = 0, m_step = 1;
    bool m_vertical = false;
    bool m_quiet = false;
    std::string m_thumbImage, m_thumbHotImage, m_thumbPushedImage, m_thumbDisabledImage;
    SIZE m_thumbSize{10, 10};
};

// Single-line text entry: every edit by the user sends "textchanged";
// SetText sends nothing. Attributes: maxchar, readonly, password, numberonly.
class CEditUI : public CLabelUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    std::string GetText() const override;
    void SetText(const std::string& text) override;
    // Maximum length in characters; longer input is refused.
    void SetMaxChar(int max);
    int GetMaxChar() const { return m_maxChar; }
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_readOnly; }
    void SetAttribute(const std::string& name, const std::string& value) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void ApplyText() override;
    std::string StyleRules(const std::string& sel) const override;
    int m_maxChar = 255;
    bool m_readOnly = false;
    bool m_password = false;
    bool m_numberOnly = false;
};

// One entry of a combo box: text (or a language id with the resource-text
// flag), user data, tag and text padding. It has no widget of its own.
class CListLabelElementUI : public CControlUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;
    void SetText(const std::string& text) override;
    void SetTextPadding(RECT rc) { m_textPadding = rc; }
    RECT GetTextPadding() const { return m_textPadding; }
    void SetAttribute(const std::string& name, const std::string& value) override;
    void ReloadText() override;

protected:
    QWidget* CreateWidget() override { return nullptr; }
    RECT m_textPadding;
};

// Drop-down list of CListLabelElementUI entries. Picking an entry, or
// SelectItem with a different index, sends "itemselect" (wParam = new index,
// lParam = previous index). Entries in a layout: <Item text=".." userdata=".."
// textid=".." textpadding=".."/>.
class CComboUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override;
    void* GetInterface(LPCTSTR pstrName) override;

    int GetCurSel() const { return m_curSel; }
    // False when the index is out of range. Selecting the current entry
    // again does nothing.
    bool SelectItem(int iIndex, bool bTakeFocus = false, bool bTriggerEvent = true);
    // Adds an entry with this text; returns it (owned by the combo).
    CListLabelElementUI* AddString(const std::string& text, const std::string& userData = {},
                                   bool resourceText = false);
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl) override;
    bool RemoveAt(int iIndex) override;
    void RemoveAll() override;
    std::string GetText() const override;
    void ReloadText() override;
    // An entry's text or flag changed.
    void ItemChanged(CListLabelElementUI* item);
    // Shown, dimmed, while no entry is chosen (none selected, or no entries);
    // it is no entry: GetText() stays empty. Attribute "placeholder".
    void SetPlaceholderText(const std::string& text);
    void SetAttribute(const std::string& name, const std::string& value) override;

protected:
    QWidget* CreateWidget() override;
    void InitWidget() override;
    void InsertChildWidget(CControlUI* child, int index) override;
    void RemoveChildWidget(CControlUI* child) override;
    std::string StyleRules(const std::string& sel) const override;
    void RefillWidget();
    int m_curSel = -1;
    bool m_quiet = false;
    std::string m_placeholder;
};
