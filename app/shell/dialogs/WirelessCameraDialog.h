#pragma once
// CWirelessCameraDialog: connecting a network camera. Page 0: a wireless
// camera box, typed in or picked from the scan list (refreshed every 2000 ms
// while the dialog is open); page 1: an RTSP URL. The box scan runs from the
// dialog's creation until it closes; every close stores the typed URL in
// "rtspURL". Layout "xmls\dialog_wirelesscamera.xml". UI thread only.
#include "camera/CMTypes.h"
#include "ui/BaseDialog.h"

#include <string>
#include <vector>

namespace shell {

class CWirelessCameraDialog : public CBaseDialog, public IListCallbackUI {
public:
    static constexpr UINT kScanTimerId = 1000;
    static constexpr UINT kScanIntervalMs = 2000;

    CWirelessCameraDialog();
    ~CWirelessCameraDialog() override;

    // What was entered when the dialog closed: the page shown (0 box,
    // 1 RTSP) and the box address and URL texts.
    int ClosedPage() const { return m_closedPage; }
    const std::string& ClosedAddress() const { return m_closedAddress; }
    const std::string& ClosedUrl() const { return m_closedUrl; }

    // How often the scan list was refreshed so far.
    int ScanRefreshCount() const { return m_refreshCount; }

    // Cells of "list_scan_devices": 0 the scan value, 1 the name, 2 the address.
    LPCTSTR GetItemText(CControlUI* pList, int iItem, int iSubItem) override;

protected:
    void OnInitDialog() override;
    void OnClick(TNotifyUI& msg) override;
    void OnItemSelect(TNotifyUI& msg) override;
    void OnSelectChanged(TNotifyUI& msg) override;
    LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

private:
    void StartScan();
    void StopScan();
    void RefreshScanList();
    void SearchAtTypedHosts();
    std::string TextOf(const char* name) const;

    std::vector<_tag_VideoDeviceInfo> m_devices;
    std::string m_cell; // the last cell handed to the list
    bool m_scanning = false;
    int m_refreshCount = 0;
    int m_closedPage = 0;
    std::string m_closedAddress;
    std::string m_closedUrl;
};

} // namespace shell
