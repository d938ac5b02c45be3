#include "app/shell/dialogs/WirelessCameraDialog.h"

#include "app/shell/AppConfig.h"
#include "camera/factory/CMFactory.h"
#include "ui/Container.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/MessageDialog.h"
#include "ui/ResourceManager.h"

#include <cstring>

namespace shell {
namespace {
// A fixed-size text field of a device record, up to its first zero.
std::string fieldText(const char* field, std::size_t size) { return std::string(field, ::strnlen(field, size)); }
} // namespace

CWirelessCameraDialog::CWirelessCameraDialog() : CBaseDialog("xmls\\dialog_wirelesscamera.xml") {}

CWirelessCameraDialog::~CWirelessCameraDialog() { StopScan(); }

std::string CWirelessCameraDialog::TextOf(const char* name) const
{
    CControlUI* control = m_pm.FindControl(name);
    return control ? control->GetText() : std::string();
}

void CWirelessCameraDialog::OnInitDialog()
{
    CResourceManager* texts = CResourceManager::GetInstance();
    if (CControlUI* caption = m_pm.FindControl("caption"))
        caption->SetText(texts->GetTextOrId("STR_CONNECT_WLCAMERA"));
    if (CControlUI* url = m_pm.FindControl("edt_rtsp_url"))
        url->SetText(Config().rtspURL);
    if (CControlUI* hosts = m_pm.FindControl("edt_box_scan_hosts")) {
        hosts->SetText(Config().BoxScanHosts);
        hosts->SetToolTip(texts->GetTextOrId("DLG_NETCAM_SCAN_HOSTS_TIP"));
    }
    if (auto* list = dynamic_cast<CListUI*>(m_pm.FindControl("list_scan_devices")))
        list->SetTextCallback(this);
    // Hosts the user saved that the library no longer accepts leave the
    // previous ones (loopback at first) in place.
    CMFactory::SetScanHosts(Config().BoxScanHosts.c_str());
    StartScan();
}

void CWirelessCameraDialog::StartScan()
{
    m_scanning = CMFactory::StartDeviceScan(1);
    SetTimer(kScanTimerId, kScanIntervalMs);
    if (CControlUI* state = m_pm.FindControl("lbl_scan_state"))
        state->SetText(m_scanning ? CResourceManager::GetInstance()->GetTextOrId("STR_SEARCHING") : std::string());
}

void CWirelessCameraDialog::StopScan()
{
    if (IsWindow())
        KillTimer(kScanTimerId);
    if (m_scanning) {
        CMFactory::StopDeviceScan();
        m_scanning = false;
    }
}

LRESULT CWirelessCameraDialog::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (wParam != kScanTimerId) {
        bHandled = FALSE;
        return 0;
    }
    RefreshScanList();
    return 0;
}

void CWirelessCameraDialog::RefreshScanList()
{
    auto* list = dynamic_cast<CListUI*>(m_pm.FindControl("list_scan_devices"));
    m_devices.clear();
    if (list)
        list->RemoveAll();
    CMFactory::GetDevicesList(&m_devices);
    ++m_refreshCount;
    // The search goes on while the dialog is open; until it finds a box the
    // empty list says so.
    if (CControlUI* state = m_pm.FindControl("lbl_scan_state"))
        state->SetText(m_scanning && m_devices.empty() ? CResourceManager::GetInstance()->GetTextOrId("STR_SEARCHING")
                                                       : std::string());
    if (!list)
        return;
    for (std::size_t i = 0; i < m_devices.size(); ++i)
        list->Add(new CListTextElementUI);
}

LPCTSTR CWirelessCameraDialog::GetItemText(CControlUI*, int iItem, int iSubItem)
{
    if (iItem < 0 || static_cast<std::size_t>(iItem) >= m_devices.size())
        return nullptr;
    const _tag_VideoDeviceInfo& device = m_devices[static_cast<std::size_t>(iItem)];
    switch (iSubItem) {
    case 0: m_cell = std::to_string(device.boxValue); break;
    case 1: m_cell = fieldText(device.name, sizeof device.name); break;
    case 2: m_cell = fieldText(device.address, sizeof device.address); break;
    default: return nullptr;
    }
    return m_cell.c_str();
}

void CWirelessCameraDialog::OnItemSelect(TNotifyUI& msg)
{
    if (!msg.pSender || msg.pSender->GetName() != "list_scan_devices")
        return;
    const int row = static_cast<int>(msg.wParam);
    if (row < 0 || static_cast<std::size_t>(row) >= m_devices.size())
        return;
    const _tag_VideoDeviceInfo& device = m_devices[static_cast<std::size_t>(row)];
    if (CControlUI* address = m_pm.FindControl("edt_wmpbox_ipaddress"))
        address->SetText(fieldText(device.address, sizeof device.address));
}

void CWirelessCameraDialog::OnSelectChanged(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const std::string name = msg.pSender->GetName();
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    auto* pages = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("tablayout"));
    if (!option || !option->IsSelected() || !pages)
        return;
    if (name == "networkcamera_OptTypeWMPBOX")
        pages->SelectItem(0);
    else if (name == "networkcamera_OptTypeRTSP")
        pages->SelectItem(1);
}

void CWirelessCameraDialog::OnClick(TNotifyUI& msg)
{
    if (msg.pSender && msg.pSender->GetName() == "btn_box_scan")
        SearchAtTypedHosts();
}

LRESULT CWirelessCameraDialog::OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // Enter in the scan addresses box starts that search instead of connecting.
    CControlUI* focus = m_pm.GetFocus();
    if (wParam == VK_RETURN && focus && focus->GetName() == "edt_box_scan_hosts") {
        SearchAtTypedHosts();
        return 0;
    }
    return CBaseDialog::OnKeyDown(uMsg, wParam, lParam, bHandled);
}

void CWirelessCameraDialog::SearchAtTypedHosts()
{
    const std::string hosts = TextOf("edt_box_scan_hosts");
    if (!CMFactory::SetScanHosts(hosts.c_str())) {
        ShowMessage(GetHWND(), CResourceManager::GetInstance()->GetTextOrId("STR_BAD_SCAN_HOSTS"),
                    CResourceManager::GetInstance()->GetTextOrId("STR_MESSAGE"), 0, MB_ICONWARNING);
        return;
    }
    Config().BoxScanHosts = hosts;
    StopScan();
    StartScan();
    RefreshScanList(); // empty now: the boxes of the old hosts go at once
}

LRESULT CWirelessCameraDialog::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    // Every way of closing ends here (OK, Cancel, Escape, the close buttons).
    StopScan();
    Config().rtspURL = TextOf("edt_rtsp_url");
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl("tablayout")))
        m_closedPage = pages->GetCurSel();
    m_closedAddress = TextOf("edt_wmpbox_ipaddress");
    m_closedUrl = TextOf("edt_rtsp_url");
    bHandled = FALSE;
    return 0;
}

} // namespace shell
