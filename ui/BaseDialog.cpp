#include "ui/BaseDialog.h"

#include "platform/DebugOutput.h"
#include "ui/Control.h"
#include "ui/DPI.h"
#include "ui/DialogBuilder.h"

CBaseDialog::CBaseDialog(std::string layoutFile) : m_layoutFile(std::move(layoutFile)) {}

CBaseDialog::~CBaseDialog() = default;

HWND CBaseDialog::Create(HWND owner, const std::string& title)
{
    // Hidden until ShowModal; the layout gives the size.
    return CWindowWnd::Create(owner, title.c_str(), UI_WNDSTYLE_DIALOG & ~WS_VISIBLE, WS_EX_WINDOWEDGE);
}

LRESULT CBaseDialog::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    BOOL handled = TRUE;
    switch (uMsg) {
    case WM_CREATE: result = OnCreate(uMsg, wParam, lParam, handled); break;
    case WM_CLOSE: result = OnClose(uMsg, wParam, lParam, handled); break;
    case WM_TIMER: result = OnTimer(uMsg, wParam, lParam, handled); break;
    case WM_KEYDOWN: result = OnKeyDown(uMsg, wParam, lParam, handled); break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            SendMessage(WM_CLOSE, IDCANCEL, 0);
            return 0;
        }
        handled = FALSE;
        break;
    default: handled = FALSE; break;
    }
    if (handled)
        return result;
    handled = FALSE;
    result = HandleCustomMessage(uMsg, wParam, lParam, handled);
    if (handled)
        return result;
    return DefWindowProc(uMsg, wParam, lParam);
}

void CBaseDialog::OnFinalMessage(HWND) { platform::ConsolePrintf("OnFinalMessage\n"); }

LRESULT CBaseDialog::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT CBaseDialog::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = TRUE;
    m_pm.Init(GetHWND());
    CDialogBuilder builder;
    CControlUI* root = builder.Create(m_layoutFile, this, &m_pm);
    if (!root) {
        platform::DebugPrintf("dialog layout %s could not be loaded: %s\n", m_layoutFile.c_str(),
                              builder.GetLastError().c_str());
        return -1;
    }
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    OnInitDialog();
    m_pm.SetDPI(CDPI::GetMainMonitorDPI());
    return 0;
}

LRESULT CBaseDialog::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT CBaseDialog::OnTimer(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT CBaseDialog::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (wParam == VK_RETURN) {
        OnOK();
        return 0;
    }
    if (wParam == VK_ESCAPE) {
        OnCancel();
        return 0;
    }
    bHandled = FALSE;
    return 0;
}

void CBaseDialog::Notify(TNotifyUI& msg)
{
    if (msg.sType == "click") {
        const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
        if (name == "okbtn")
            OnOK();
        else if (name == "cancelbtn" || name == "closebtn")
            OnCancel();
        else
            OnClick(msg);
    } else if (msg.sType == "itemselect") {
        OnItemSelect(msg);
    } else if (msg.sType == "selectchanged") {
        OnSelectChanged(msg);
    }
}

CControlUI* CBaseDialog::CreateControl(LPCTSTR) { return nullptr; }
