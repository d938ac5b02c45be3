#pragma once
// CBaseDialog: the base of every modal dialog. It builds its content from a
// layout file and gives each dialog the same frame behaviour: caption
// dragging, sizing borders, round corners, "okbtn" → OnOK (closes with 1),
// "cancelbtn"/"closebtn" → OnCancel (closes with 2), Enter → OnOK,
// Escape → OnCancel, SC_CLOSE (window manager close) → WM_CLOSE.
//
// Use: construct with the layout, Create(owner, title), set up controls,
// CenterWindow(), ShowModal(); destroy the object after ShowModal returns.
// Derived dialogs override OnInitDialog, OnClick, OnItemSelect,
// OnSelectChanged and, where they store settings, OnOK.
#include "ui/Window.h"

#include <string>

class CBaseDialog : public CWindowWnd, public INotifyUI, public IDialogBuilderCallback {
public:
    explicit CBaseDialog(std::string layoutFile);
    ~CBaseDialog() override;

    // Creates the dialog window owned by `owner` (style UI_WNDSTYLE_DIALOG,
    // the layout's size, hidden until ShowModal).
    HWND Create(HWND owner, const std::string& title = {});
    using CWindowWnd::Create;

    LPCTSTR GetWindowClassName() const override { return "UIBaseDialog"; }
    LPCTSTR GetSuperClassName() const override { return nullptr; }
    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    // Writes "OnFinalMessage" to standard output.
    void OnFinalMessage(HWND hWnd) override;

    virtual void OnOK() { Close(IDOK); }
    virtual void OnCancel() { Close(IDCANCEL); }
    // Messages not handled by the base; set bHandled to keep them.
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual void OnInitDialog() {}
    virtual void OnClick(TNotifyUI& msg) { (void)msg; }
    virtual void OnItemSelect(TNotifyUI& msg) { (void)msg; }
    virtual void OnSelectChanged(TNotifyUI& msg) { (void)msg; }

    void Notify(TNotifyUI& msg) override;
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    CPaintManagerUI* GetFrameManager() override { return &m_pm; }
    CPaintManagerUI& GetPaintManager() { return m_pm; }
    const std::string& GetLayoutFile() const { return m_layoutFile; }

protected:
    CPaintManagerUI m_pm;
    std::string m_layoutFile;
};
