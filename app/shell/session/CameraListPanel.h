#pragma once
// CameraListPanel: the camera list (rows of the factory's device list, link
// clicks, the device-change refresh, the network camera dialog), the busy
// state while a camera opens, the frame-rate label, the status lines of a
// lost camera, and the preview format and size chain ("combo_preview_format",
// "combo_preview_size", "combo_capture_size", "option_lock_snap").
// UI thread only.
#include "app/shell/WindowPart.h"

#include <memory>
#include <string>

class CComboUI;
class CListUI;
class COptionUI;

namespace shell {

class DeviceMonitor;

class CameraListPanel : public WindowPart {
public:
    // Timer of the frame-rate label (1000 ms while a camera is open).
    static constexpr UINT kFrameRateTimer = 1001;

    // The processor check: to the first preview size after 2 s, back 1 s later.
    static constexpr UINT kProcessorCheckTimer = 1004;
    static constexpr UINT kProcessorCheckBackTimer = 1005;

    explicit CameraListPanel(MainWindowServices& services);
    ~CameraListPanel() override;

    void Init() override;
    void OnWindowInit() override;
    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnCameraChanged() override;
    void OnLanguageChanged() override;
    void OnClosing() override;

    // Opens the first camera of the USB3 group once it is listed (demo mode).
    void OpenFirstUsbCameraWhenListed() { m_openFirstUsbCamera = true; }

private:
    void FillList();
    void MarkRow(int row);
    void OnLinkClicked(CControlUI* sender);
    void OpenDone(int result, bool reconnect);
    void SetBusy(bool busy);
    // Shows text `id` in the status bar, again in the new language after a switch.
    void SetStatusFromId(const char* id);
    // The listed name of a local camera ("" when not listed).
    std::string DeviceName(int group, int device) const;
    void ShowFrameRate();

    // The format and size chain.
    void FillFormats();
    void FillPreviewSizes();
    void FillCaptureSizes();
    void OnFormatSelected(int index);
    void OnPreviewSizeSelected(int index);
    // Tells the window the picture size the user asked for (the camera's
    // preview size now).
    void TellPictureSizeRequested(bool otherCamera);

    std::unique_ptr<DeviceMonitor> m_deviceMonitor;
    CListUI* m_list = nullptr;
    CComboUI* m_formatCombo = nullptr;
    CComboUI* m_previewSizeCombo = nullptr;
    CComboUI* m_captureSizeCombo = nullptr;
    COptionUI* m_lockSnap = nullptr;
    bool m_busy = false;
    bool m_userOpen = false;              // the running open was a click (a box says when it fails)
    int m_clickedRow = -1;                // the row a running open came from
    std::string m_openingName;            // the camera a running open came from: its name or address
    const char* m_statusTextId = nullptr; // the text this panel last put in the status bar
    std::string m_statusText;
    bool m_openFirstUsbCamera = false;
    bool m_firstListingSeen = false; // the camera used last is looked for in the first listing
    int m_notedPreviewSize = -1;
    bool m_automaticSizeSwitch = false; // the processor check selects the sizes
};

} // namespace shell
